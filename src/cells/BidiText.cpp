#include "cells/BidiText.h"

#include <QList>

namespace {

bool isDirectionControl(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isRightToLeft(char32_t c)
{
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
        return true;
    default:
        return false;
    }
}

} // namespace

QString neutralizeBidiControls(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && !isDirectionControl(text.at(first).unicode()))
        ++first;
    if (first == text.size())
        return text;
    QString out = text.left(first);
    out.reserve(text.size());
    for (qsizetype i = first; i < text.size(); ++i)
        if (!isDirectionControl(text.at(i).unicode()))
            out.append(text.at(i));
    return out;
}

QString displayName(const QString& name)
{
    const QString clean = neutralizeBidiControls(name);
    for (const char32_t c : clean.toUcs4()) {
        if (isRightToLeft(c))
            return QChar(0x2068) + clean + QChar(0x2069);
    }
    return clean;
}
