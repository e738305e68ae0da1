#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVector>

#include <optional>

// What a hot text points at: an address to open in the browser, or the pair
// ("screen_name", name) of a user whose statuses to show.
struct LinkValue {
    enum Kind { None, Url, ScreenName };

    Kind kind = None;
    QUrl url;           // kind Url
    QString screenName; // kind ScreenName

    static LinkValue fromUrl(const QUrl& url);
    static LinkValue fromScreenName(const QString& name);

    bool isNull() const { return kind == None; }
    // The value as the link attribute holds it: a QUrl, or the QStringList
    // {"screen_name", name}; an invalid QVariant for no link.
    QVariant toVariant() const;
    static LinkValue fromVariant(const QVariant& value);

    bool operator==(const LinkValue& other) const;
    bool operator!=(const LinkValue& other) const { return !(*this == other); }
};

// An inline picture. Emotions and emoji carry the code they stand for in `fileName` and
// have type 0; clickable pictures (thumbnails, video stills, toolbar icons) carry their
// attachment type and no file name.
struct TextAttachment {
    int type = 0;
    QString fileName;          // what plainString gives back: "[哈哈]", the emoji itself, or nothing
    QString preferredFileName; // name of the picture file: "哈哈.png", "ee8081.png"
    QString imagePath;         // the picture file, or the resource name of an icon
    QByteArray imageData;      // the bytes of a downloaded picture
    double baselineOffset = 0; // points, negative below the baseline; 0 keeps the default

    // A clickable picture of `type`, at the baseline offset its type prescribes.
    static TextAttachment ofType(int type);

    bool operator==(const TextAttachment& other) const;
    bool operator!=(const TextAttachment& other) const { return !(*this == other); }
};

// One stretch of text with the same link, or one attachment. An attachment run holds the
// single object replacement character U+FFFC, as QTextDocument stores an inline object,
// so positions agree between this model and a document made from it.
struct TextRun {
    QString text;
    LinkValue link;
    std::optional<TextAttachment> attachment;

    bool operator==(const TextRun& other) const;
    bool operator!=(const TextRun& other) const { return !(*this == other); }
};

// Toolkit-free attributed text: the runs of an item's text in order. Plain runs next to
// each other are kept as one run; link and attachment runs are never merged.
class RichText {
public:
    RichText() = default;

    static RichText fromPlain(const QString& text);
    static RichText fromLink(const QString& text, const LinkValue& link);
    static RichText fromAttachment(const TextAttachment& attachment);

    // Appends a non-empty plain text with no attributes; an empty one changes nothing.
    void appendString(const QString& text);
    // Appends `text` carrying `link`; an empty text changes nothing.
    void appendLink(const QString& text, const LinkValue& link);
    void appendAttachment(const TextAttachment& attachment);
    void append(const RichText& other);

    const QVector<TextRun>& runs() const { return m_runs; }
    bool isEmpty() const { return m_runs.isEmpty(); }
    // In UTF-16 units, one per attachment.
    qsizetype length() const;
    // The characters, with U+FFFC for each attachment.
    QString string() const;
    // Back to plain text: an attachment contributes its file name (the emotion code in
    // brackets, the emoji character), or nothing when it has none.
    QString plainString() const;

    bool operator==(const RichText& other) const { return m_runs == other.m_runs; }
    bool operator!=(const RichText& other) const { return !(*this == other); }

private:
    QVector<TextRun> m_runs;
};
