#pragma once

#include "cells/RichText.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

// The scan that turns the plain text of a status, comment or message into rich text:
// web addresses, @names and #topics# become links, [emotion] codes and emoji become
// inline pictures.

// What the text is, for `parseText`.
enum HotTextType : int {
    HotTextPlain = 0,   // a comment or message text
    HotTextStatus = 1,  // a status's own text
    HotTextRetweet = 2, // the text of a reposted status
    HotTextPreview = 3, // a conversation preview: only emotions and emoji are interpreted
};

// Where the scan finds its pictures and pages. The application fills the emotion table
// from the emotion catalogue and points the emoji folder at the emoji pictures. Fill it
// before handing it to the scan, on the thread that scans (the main thread).
class HotTextResources {
public:
    static QString defaultTopicPageAddress() { return QStringLiteral("http://127.0.0.1:8470/k/"); }

    // The topic page: a topic's page address is this text followed by the topic,
    // percent-escaped in UTF-8.
    QString topicPageAddress() const { return m_topicPageAddress; }
    void setTopicPageAddress(const QString& address) { m_topicPageAddress = address; }

    // Emotion phrase (the code without brackets) to its picture file.
    void setEmotionFiles(const QHash<QString, QString>& files) { m_emotionFiles = files; }
    void setEmotionFile(const QString& phrase, const QString& path) { m_emotionFiles.insert(phrase, path); }
    const QHash<QString, QString>& emotionFiles() const { return m_emotionFiles; }
    // The picture file of an emotion, or an empty text when the phrase is not in the
    // table or its file does not exist (the scan's fallbacks rest on that).
    QString pathForEmotionName(const QString& name) const;

    // The folder holding one picture per emoji, named by `emojiResourceName`.
    QString emojiFolder() const { return m_emojiFolder; }
    void setEmojiFolder(const QString& folder) { m_emojiFolder = folder; }
    // The picture file of an emoji, or an empty text when there is none.
    QString pathForEmoji(char16_t emoji) const;

private:
    QString m_topicPageAddress = defaultTopicPageAddress();
    QHash<QString, QString> m_emotionFiles;
    QString m_emojiFolder;
};

// The private-use code points that stand for emoji: U+E001-E05A, U+E101-E15A,
// U+E201-E253, U+E301-E34D, U+E401-E44C and U+E501-E537.
bool isHotTextEmoji(char16_t c);

// The picture file name of an emoji: the three bytes of its UTF-8 form in lower-case
// hexadecimal, then ".png" (U+E001 gives "ee8081.png").
QString emojiResourceName(char16_t emoji);

// A name ends at any character that is not a letter, mark or digit of any script and
// not "_" or "-".
bool isNameEndingCharacter(char32_t c);

// The characters an address path may hold: ASCII letters, decimal digits and "_-/".
bool isURLPathCharacter(char16_t c);

// The URL an address text forms, or an invalid QUrl when none can be formed (characters
// outside the URL character set, a malformed escape, no valid URL structure).
QUrl urlFromAddress(const QString& address);

// A one-attachment text for the emotion `name` (file name "[name]", so that plainString
// gives the code back), or empty text when there is no picture for it. A non-zero
// offset moves it off the baseline.
RichText makeAttachmentWithEmotionName(const QString& name, double baselineOffset,
                                       const HotTextResources& resources);

// A one-attachment text for the emoji that `emoji` starts with (file name the emoji
// itself), or empty text when there is no picture for it.
RichText makeAttachmentWithEmoji(const QString& emoji, double baselineOffset,
                                 const HotTextResources& resources);

// The rich text of one status, comment or message body (`type`, a HotTextType). When
// `linkedPaths` is given, the path of every address that became a link is appended to
// it in order, for the short-address video lookup of status cells.
RichText parseText(const QString& text, int type, const HotTextResources& resources,
                   QStringList* linkedPaths = nullptr);
