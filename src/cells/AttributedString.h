#pragma once

#include "cells/MyTextAttachmentCell.h"
#include "cells/RichText.h"

#include <QColor>
#include <QFont>
#include <QSizeF>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QVector>

#include <memory>
#include <optional>

class QTextCursor;
class QTextDocument;

// Item text as the cells build it: runs of characters with their character format (font, colour, link,
// shadow, or an inline attachment) and the paragraph style of the run. Appending is cheap; the Qt document for
// layout and display is made at the end. The style of a paragraph is the style of its first character.
class AttributedString {
public:
    struct Run {
        QString text; // one U+FFFC for an attachment
        QTextCharFormat format;
        QTextBlockFormat paragraph;
        bool hasParagraph = false;
        bool hasFont = false; // the format names a font (other than the document's default)
        bool isLink = false;
        bool isAttachment = false;
        // Drawing-only attributes, kept out of the format until a document for display is made: they do not
        // take room, and heights are computed far more often than texts are shown.
        QColor color;        // invalid: none
        bool shadow = false; // TextShadow::shared()
    };

    // The room left at each end of a line (the document frame's side margins when padded).
    static constexpr double kLineFragmentPadding = 5.0;

    AttributedString() = default;
    // A plain text with no attributes (an empty text gives an empty string).
    explicit AttributedString(const QString& plain);

    static AttributedString fromLink(const QString& text, const LinkValue& link);
    static AttributedString fromAttachment(const MyTextAttachmentCell& cell);
    // The scanned text: links keep their values, attachments become attachment cells.
    static AttributedString fromRichText(const RichText& text);

    // Appends a non-empty plain text with no attributes; an empty text changes nothing.
    void appendString(const QString& text);
    void appendLink(const QString& text, const LinkValue& link);
    void append(const AttributedString& other);

    // Attributes over the whole string, replacing the same attribute where a run had it.
    void addCharFormat(const QTextCharFormat& format);
    void setFont(const QFont& font);
    void setForegroundColor(const QColor& color);
    // Gives the whole string the shared shadow (TextShadow::shared()).
    void setSharedShadow();
    void setParagraphStyle(const QTextBlockFormat& style);

    bool isEmpty() const { return runs_.isEmpty(); }
    int length() const;
    QString string() const;
    const QVector<Run>& runs() const { return runs_; }
    // Back to plain text: an attachment gives its file name (the emotion code, the emoji), or nothing.
    QString plainString() const;

    // The link and the attachment at a character position (none when there is none).
    LinkValue linkAt(int position) const;
    std::optional<MyTextAttachmentCell> attachmentAt(int position) const;

    // A document holding the text, ready for display: links drawn in the link colour without underline,
    // attachments drawn by the shared handler, the line-end padding on both sides, no other margin. It is laid
    // out at `textWidth` (padding included; negative for no limit): pass the width it will be shown at, so that
    // it is laid out once.
    std::unique_ptr<QTextDocument> toDocument(double textWidth = -1) const;
    // The same text with only what takes room (fonts, pictures, paragraph styles), for heights and positions:
    // it lays out exactly like toDocument's and markedly faster.
    std::unique_ptr<QTextDocument> toLayoutDocument(double textWidth = -1) const;

    // The height of the text laid out at `width` (padding included in the width); 0 for an empty text.
    double heightForWidth(double width) const;
    // The size of the text laid out without any width limit and without padding.
    QSizeF size() const;

    // Lays an existing document out at `width` and answers its height (0 for an empty document).
    static double heightOfDocument(QTextDocument& document, double width);
    // The font of text that carries none: the body font of the current appearance.
    static QFont documentDefaultFont();

    bool operator==(const AttributedString& other) const;
    bool operator!=(const AttributedString& other) const { return !(*this == other); }

private:
    static Run attachmentRun(const MyTextAttachmentCell& cell);
    void appendRun(Run run);
    std::unique_ptr<QTextDocument> makeDocument(double textWidth, bool padded, bool layoutOnly) const;
    // The runs into an empty document: only what takes room, or everything as drawn. Answer whether any run has
    // a paragraph style.
    bool insertLayoutRuns(QTextCursor& cursor) const;
    bool insertDrawnRuns(QTextCursor& cursor) const;
    void applyParagraphStyles(QTextDocument& document) const;

    QVector<Run> runs_;
};

// Back to plain text from a document made by AttributedString::toDocument or typed into an editor: attachment
// characters give their file names, paragraph breaks give "\n".
QString plainStringOfDocument(const QTextDocument& document);
// The link and attachment at a position of such a document.
LinkValue linkAtDocumentPosition(const QTextDocument& document, int position);
MyTextAttachmentCell attachmentAtDocumentPosition(const QTextDocument& document, int position);
