#include "cells/RichText.h"

#include "cells/AttachmentTypes.h"

namespace {
const QString kScreenNameKey = QStringLiteral("screen_name");
}

LinkValue LinkValue::fromUrl(const QUrl& url)
{
    LinkValue v;
    v.kind = Url;
    v.url = url;
    return v;
}

LinkValue LinkValue::fromScreenName(const QString& name)
{
    LinkValue v;
    v.kind = ScreenName;
    v.screenName = name;
    return v;
}

QVariant LinkValue::toVariant() const
{
    switch (kind) {
    case Url:
        return QVariant(url);
    case ScreenName:
        return QVariant(QStringList{kScreenNameKey, screenName});
    case None:
        break;
    }
    return {};
}

LinkValue LinkValue::fromVariant(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QUrl>())
        return fromUrl(value.toUrl());
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        const QStringList pair = value.toStringList();
        if (pair.size() == 2 && pair[0] == kScreenNameKey)
            return fromScreenName(pair[1]);
    }
    return {};
}

bool LinkValue::operator==(const LinkValue& other) const
{
    if (kind != other.kind)
        return false;
    switch (kind) {
    case Url:
        return url == other.url;
    case ScreenName:
        return screenName == other.screenName;
    case None:
        break;
    }
    return true;
}

TextAttachment TextAttachment::ofType(int type)
{
    TextAttachment a;
    a.type = type;
    a.baselineOffset = attachmentBaselineOffset(type);
    return a;
}

bool TextAttachment::operator==(const TextAttachment& other) const
{
    return type == other.type && fileName == other.fileName
        && preferredFileName == other.preferredFileName && imagePath == other.imagePath
        && imageData == other.imageData && baselineOffset == other.baselineOffset;
}

bool TextRun::operator==(const TextRun& other) const
{
    return text == other.text && link == other.link && attachment == other.attachment;
}

RichText RichText::fromPlain(const QString& text)
{
    RichText r;
    r.appendString(text);
    return r;
}

RichText RichText::fromLink(const QString& text, const LinkValue& link)
{
    RichText r;
    r.appendLink(text, link);
    return r;
}

RichText RichText::fromAttachment(const TextAttachment& attachment)
{
    RichText r;
    r.appendAttachment(attachment);
    return r;
}

void RichText::appendString(const QString& text)
{
    if (text.isEmpty())
        return;
    if (!m_runs.isEmpty()) {
        TextRun& last = m_runs.last();
        if (last.link.isNull() && !last.attachment) {
            last.text += text;
            return;
        }
    }
    m_runs.append(TextRun{text, LinkValue(), std::nullopt});
}

void RichText::appendLink(const QString& text, const LinkValue& link)
{
    if (text.isEmpty())
        return;
    if (link.isNull()) {
        appendString(text);
        return;
    }
    m_runs.append(TextRun{text, link, std::nullopt});
}

void RichText::appendAttachment(const TextAttachment& attachment)
{
    m_runs.append(TextRun{QString(QChar::ObjectReplacementCharacter), LinkValue(), attachment});
}

void RichText::append(const RichText& other)
{
    m_runs.reserve(m_runs.size() + other.m_runs.size());
    for (const TextRun& run : other.m_runs) {
        if (run.attachment)
            m_runs.append(run);
        else
            appendLink(run.text, run.link);
    }
}

qsizetype RichText::length() const
{
    qsizetype n = 0;
    for (const TextRun& run : m_runs)
        n += run.text.size();
    return n;
}

QString RichText::string() const
{
    QString s;
    s.reserve(length());
    for (const TextRun& run : m_runs)
        s += run.text;
    return s;
}

QString RichText::plainString() const
{
    QString s;
    s.reserve(length());
    for (const TextRun& run : m_runs)
        s += run.attachment ? run.attachment->fileName : run.text;
    return s;
}
