#include "cells/HotTextScanner.h"

#include "cells/StringAddition.h"

#include <QFileInfo>

namespace {

constexpr double kEmotionBaselineOffset = -6;
constexpr double kEmojiBaselineOffset = -5;

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Unreserved and reserved characters of a URL; anything else (blanks, quotes, angle
// brackets, non-ASCII) means no URL can be formed from the text.
bool isURLCharacter(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    switch (c) {
    case u'-': case u'.': case u'_': case u'~':
    case u':': case u'/': case u'?': case u'#': case u'[': case u']': case u'@':
    case u'!': case u'$': case u'&': case u'\'': case u'(': case u')':
    case u'*': case u'+': case u',': case u';': case u'=':
        return true;
    default:
        return false;
    }
}

// Finds `mark` from `from` on; -1 at the end of the input.
qsizetype indexOfMark(const QString& text, qsizetype from, char16_t mark)
{
    return text.indexOf(QChar(mark), from);
}

class Scanner {
public:
    Scanner(const QString& text, int type, const HotTextResources& resources, QStringList* linkedPaths)
        : m_text(text), m_n(text.size()), m_preview(type == HotTextPreview),
          m_resources(resources), m_linkedPaths(linkedPaths)
    {
    }

    RichText run()
    {
        for (;;) {
            const qsizetype start = m_pos;
            while (m_pos < m_n && !isStop(m_text.at(m_pos).unicode()))
                ++m_pos;
            if (m_pos > start)
                m_result.appendString(m_text.mid(start, m_pos - start));
            if (m_pos >= m_n)
                return std::move(m_result);

            switch (m_text.at(m_pos).unicode()) {
            case u'#':
                scanTopic();
                break;
            case u'[':
                scanEmotion();
                break;
            case u'@':
                scanName();
                break;
            case u'h':
                scanAddress();
                break;
            default:
                scanEmoji();
                break;
            }
        }
    }

private:
    bool isStop(char16_t c) const
    {
        if (c == u'[' || isHotTextEmoji(c))
            return true;
        return !m_preview && (c == u'#' || c == u'@' || c == u'h');
    }

    // At an opening mark: consumes it and the text up to the closing mark into `inner`.
    // Without a closing mark only the opening mark is consumed and `inner` is empty.
    bool scanMarked(char16_t close, QString& inner)
    {
        ++m_pos;
        const qsizetype end = indexOfMark(m_text, m_pos, close);
        if (end < 0) {
            inner.clear();
            return false;
        }
        inner = m_text.mid(m_pos, end - m_pos);
        m_pos = end + 1;
        return true;
    }

    void scanTopic()
    {
        QString topic;
        const bool closed = scanMarked(u'#', topic);
        if (topic.isEmpty()) {
            m_result.appendString(closed ? QStringLiteral("##") : QStringLiteral("#"));
            return;
        }
        const QString shown = u'#' + topic + u'#';
        const QUrl url = urlFromAddress(m_resources.topicPageAddress()
                                        + QString::fromLatin1(QUrl::toPercentEncoding(topic)));
        if (url.isValid())
            m_result.appendLink(shown, LinkValue::fromUrl(url));
        else
            m_result.appendString(shown);
    }

    void scanEmotion()
    {
        QString name;
        const bool closed = scanMarked(u']', name);
        if (name.isEmpty()) {
            m_result.appendString(closed ? QStringLiteral("[]") : QStringLiteral("["));
            return;
        }
        // 乾 is itself a Simplified character (乾坤), so the character table cannot
        // carry it; the toast is known to the catalogue only as 干杯.
        if (name == QStringLiteral("乾杯"))
            name = QStringLiteral("干杯");
        RichText picture = makeAttachmentWithEmotionName(name, kEmotionBaselineOffset, m_resources);
        if (picture.isEmpty()) {
            const QString simplified = traditional2Simplified(name);
            if (simplified != name)
                picture = makeAttachmentWithEmotionName(simplified, kEmotionBaselineOffset, m_resources);
        }
        if (picture.isEmpty())
            m_result.appendString(u'[' + name + u']');
        else
            m_result.append(picture);
    }

    void scanName()
    {
        ++m_pos;
        const qsizetype start = m_pos;
        while (m_pos < m_n) {
            char32_t c = m_text.at(m_pos).unicode();
            qsizetype width = 1;
            if (QChar::isHighSurrogate(c) && m_pos + 1 < m_n && m_text.at(m_pos + 1).isLowSurrogate()) {
                c = QChar::surrogateToUcs4(m_text.at(m_pos), m_text.at(m_pos + 1));
                width = 2;
            }
            if (isNameEndingCharacter(c))
                break;
            m_pos += width;
        }
        QString name = m_text.mid(start, m_pos - start);
        // An address written right after a name: give the "http" back to the scan.
        if (name.endsWith(QLatin1String("http"))) {
            name.chop(4);
            m_pos -= 4;
        }
        if (name.isEmpty())
            m_result.appendString(QStringLiteral("@"));
        else
            m_result.appendLink(u'@' + name, LinkValue::fromScreenName(name));
    }

    void scanAddress()
    {
        static const QString kScheme = QStringLiteral("http://");
        if (QStringView(m_text).mid(m_pos, kScheme.size()).compare(kScheme, Qt::CaseInsensitive) != 0) {
            ++m_pos;
            m_result.appendString(QStringLiteral("h"));
            return;
        }
        // Kept as written, so that the text reads as the author typed it.
        const QString scheme = m_text.mid(m_pos, kScheme.size());
        m_pos += kScheme.size();
        const qsizetype slash = indexOfMark(m_text, m_pos, u'/');
        if (slash < 0) {
            m_result.appendString(scheme);
            return;
        }
        const QString host = m_text.mid(m_pos, slash - m_pos);
        m_pos = slash + 1;
        if (host.isEmpty()) {
            m_result.appendString(scheme + u'/');
            return;
        }
        const qsizetype pathStart = m_pos;
        while (m_pos < m_n && isURLPathCharacter(m_text.at(m_pos).unicode()))
            ++m_pos;
        const QString path = m_text.mid(pathStart, m_pos - pathStart);
        const QString address = scheme + host + u'/' + path;
        if (path.isEmpty()) {
            m_result.appendString(address);
            return;
        }
        const QUrl url = urlFromAddress(address);
        if (!url.isValid()) {
            m_result.appendString(address);
            return;
        }
        m_result.appendLink(address, LinkValue::fromUrl(url));
        if (m_linkedPaths)
            m_linkedPaths->append(path);
    }

    void scanEmoji()
    {
        const QString emoji(m_text.at(m_pos));
        ++m_pos;
        const RichText picture = makeAttachmentWithEmoji(emoji, kEmojiBaselineOffset, m_resources);
        if (picture.isEmpty())
            m_result.appendString(emoji);
        else
            m_result.append(picture);
    }

    const QString& m_text;
    const qsizetype m_n;
    const bool m_preview;
    const HotTextResources& m_resources;
    QStringList* m_linkedPaths;
    qsizetype m_pos = 0;
    RichText m_result;
};

} // namespace

QString HotTextResources::pathForEmotionName(const QString& name) const
{
    const auto it = m_emotionFiles.constFind(name);
    if (it == m_emotionFiles.constEnd() || it.value().isEmpty() || !QFileInfo::exists(it.value()))
        return {};
    return it.value();
}

QString HotTextResources::pathForEmoji(char16_t emoji) const
{
    if (m_emojiFolder.isEmpty())
        return {};
    const QString path = m_emojiFolder + u'/' + emojiResourceName(emoji);
    return QFileInfo::exists(path) ? path : QString();
}

bool isHotTextEmoji(char16_t c)
{
    return (c >= 0xE001 && c <= 0xE05A) || (c >= 0xE101 && c <= 0xE15A)
        || (c >= 0xE201 && c <= 0xE253) || (c >= 0xE301 && c <= 0xE34D)
        || (c >= 0xE401 && c <= 0xE44C) || (c >= 0xE501 && c <= 0xE537);
}

QString emojiResourceName(char16_t emoji)
{
    const unsigned u = emoji;
    return QString::number((u >> 12) + 0xE0, 16) + QString::number(((u >> 6) & 0x3F) + 0x80, 16)
        + QString::number((u & 0x3F) + 0x80, 16) + QStringLiteral(".png");
}

bool isNameEndingCharacter(char32_t c)
{
    if (c == U'_' || c == U'-')
        return false;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return false;
    default:
        return true;
    }
}

bool isURLPathCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || c == u'_' || c == u'-' || c == u'/';
}

QUrl urlFromAddress(const QString& address)
{
    if (address.isEmpty())
        return {};
    const qsizetype n = address.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = address.at(i).unicode();
        if (c == u'%') {
            if (i + 2 >= n || !isHexDigit(address.at(i + 1).unicode())
                || !isHexDigit(address.at(i + 2).unicode()))
                return {};
            i += 2;
        } else if (!isURLCharacter(c)) {
            return {};
        }
    }
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return {};
    return url;
}

RichText makeAttachmentWithEmotionName(const QString& name, double baselineOffset,
                                       const HotTextResources& resources)
{
    const QString path = resources.pathForEmotionName(name);
    if (path.isEmpty())
        return {};
    TextAttachment a;
    a.fileName = u'[' + name + u']';
    a.preferredFileName = name + QStringLiteral(".png");
    a.imagePath = path;
    a.baselineOffset = baselineOffset;
    return RichText::fromAttachment(a);
}

RichText makeAttachmentWithEmoji(const QString& emoji, double baselineOffset,
                                 const HotTextResources& resources)
{
    if (emoji.isEmpty())
        return {};
    const char16_t u = emoji.at(0).unicode();
    const QString path = resources.pathForEmoji(u);
    if (path.isEmpty())
        return {};
    TextAttachment a;
    a.fileName = QString(QChar(u));
    a.preferredFileName = emojiResourceName(u);
    a.imagePath = path;
    a.baselineOffset = baselineOffset;
    return RichText::fromAttachment(a);
}

RichText parseText(const QString& text, int type, const HotTextResources& resources,
                   QStringList* linkedPaths)
{
    return Scanner(text, type, resources, linkedPaths).run();
}
