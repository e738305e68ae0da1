#include "cells/StringAddition.h"

#include "cells/ScriptTables.h"

#include <QHash>
#include <QStringEncoder>

namespace {

// Built once; the first occurrence of a Traditional character wins, as a search from
// the start of the table would find it.
const QHash<char16_t, char16_t>& simplifiedPartners()
{
    static const QHash<char16_t, char16_t> table = [] {
        QHash<char16_t, char16_t> t;
        t.reserve(int(scripttables::kTableLength));
        for (std::size_t i = 0; i < scripttables::kTableLength; ++i) {
            if (!t.contains(scripttables::kTraditional[i]))
                t.insert(scripttables::kTraditional[i], scripttables::kSimplified[i]);
        }
        return t;
    }();
    return table;
}

bool hasUnpairedSurrogate(const QString& text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 < n && text.at(i + 1).isLowSurrogate()) {
                ++i;
                continue;
            }
            return true;
        }
        if (c.isLowSurrogate())
            return true;
    }
    return false;
}

// Used only when the Qt build has no GB 18030 codec: exact for ASCII, two-byte
// characters and supplementary characters, short for CJK extension A and the like.
qsizetype approximateGb18030Length(const QString& text)
{
    qsizetype bytes = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            bytes += 1;
        } else if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            bytes += 4;
            ++i;
        } else if (c.isSurrogate()) {
            bytes += 1;
        } else {
            bytes += 2;
        }
    }
    return bytes;
}

} // namespace

QString traditional2Simplified(const QString& text)
{
    const auto& partners = simplifiedPartners();
    QString copy = text;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto it = partners.constFind(text.at(i).unicode());
        if (it != partners.constEnd())
            copy[i] = QChar(it.value());
    }
    return copy;
}

qsizetype lengthOfBytesUsingGBKEncoding(const QString& text)
{
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return text.size();

    // The encoder is stateful and costly to open; one per thread is enough.
    thread_local QStringEncoder encoder("GB18030", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return approximateGb18030Length(text);

    // The encoder drops a trailing unpaired high surrogate instead of substituting it;
    // give every unpaired surrogate the one substitution byte so the count is stable.
    if (hasUnpairedSurrogate(text)) {
        QString cleaned;
        cleaned.reserve(text.size());
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n; ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
                cleaned.append(c);
                cleaned.append(text.at(++i));
            } else {
                cleaned.append(c.isSurrogate() ? QChar(u'?') : c);
            }
        }
        return QByteArray(encoder.encode(cleaned)).size();
    }
    return QByteArray(encoder.encode(text)).size();
}
