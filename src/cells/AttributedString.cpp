#include "cells/AttributedString.h"

#include "cells/CellContext.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextOption>

namespace {

const QChar kObjectCharacter(QChar::ObjectReplacementCharacter);

bool isAttachmentRun(const AttributedString::Run& run)
{
    return run.format.objectType() == kAttachmentObjectType;
}

bool isLinkRun(const AttributedString::Run& run)
{
    return run.format.hasProperty(LinkValueProperty);
}

// The href a document's anchors carry, so that the layout's anchorAt finds every link; the link property holds
// the value itself.
QString hrefOf(const LinkValue& link)
{
    switch (link.kind) {
    case LinkValue::Url:
        return link.url.toString(QUrl::FullyEncoded);
    case LinkValue::ScreenName:
        return QStringLiteral("screen_name:") + link.screenName;
    case LinkValue::None:
        break;
    }
    return {};
}

QFont defaultDocumentFont()
{
    // Text without a font attribute, as the platform draws it: 12 points.
    static const QFont font = Appearance::systemFont(12);
    return font;
}

} // namespace

AttributedString::AttributedString(const QString& plain)
{
    appendString(plain);
}

AttributedString AttributedString::fromLink(const QString& text, const LinkValue& link)
{
    AttributedString s;
    s.appendLink(text, link);
    return s;
}

AttributedString AttributedString::fromAttachment(const MyTextAttachmentCell& cell)
{
    Run run;
    run.text = QString(kObjectCharacter);
    run.format.setObjectType(kAttachmentObjectType);
    run.format.setProperty(AttachmentCellProperty, QVariant::fromValue(cell));
    AttributedString s;
    s.runs_.append(std::move(run));
    return s;
}

AttributedString AttributedString::fromRichText(const RichText& text)
{
    AttributedString s;
    s.runs_.reserve(text.runs().size());
    for (const TextRun& run : text.runs()) {
        if (run.attachment)
            s.append(fromAttachment(MyTextAttachmentCell::fromTextAttachment(*run.attachment)));
        else if (!run.link.isNull())
            s.appendLink(run.text, run.link);
        else
            s.appendString(run.text);
    }
    return s;
}

void AttributedString::appendRun(Run run)
{
    if (run.text.isEmpty())
        return;
    if (!runs_.isEmpty()) {
        Run& last = runs_.last();
        // Plain stretches with the same attributes are one run; links and attachments stay apart, so that two
        // neighbouring names remain two links.
        if (!isAttachmentRun(last) && !isAttachmentRun(run) && !isLinkRun(last) && !isLinkRun(run)
            && last.hasParagraph == run.hasParagraph && last.format == run.format
            && (!run.hasParagraph || last.paragraph == run.paragraph)) {
            last.text += run.text;
            return;
        }
    }
    runs_.append(std::move(run));
}

void AttributedString::appendString(const QString& text)
{
    Run run;
    run.text = text;
    appendRun(std::move(run));
}

void AttributedString::appendLink(const QString& text, const LinkValue& link)
{
    if (link.isNull()) {
        appendString(text);
        return;
    }
    Run run;
    run.text = text;
    run.format.setAnchor(true);
    run.format.setAnchorHref(hrefOf(link));
    run.format.setProperty(LinkValueProperty, link.toVariant());
    appendRun(std::move(run));
}

void AttributedString::append(const AttributedString& other)
{
    if (runs_.isEmpty()) {
        runs_ = other.runs_;
        return;
    }
    runs_.reserve(runs_.size() + other.runs_.size());
    for (const Run& run : other.runs_)
        appendRun(run);
}

void AttributedString::addCharFormat(const QTextCharFormat& format)
{
    for (Run& run : runs_)
        run.format.merge(format);
}

void AttributedString::setFont(const QFont& font)
{
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    addCharFormat(format);
}

void AttributedString::setForegroundColor(const QColor& color)
{
    QTextCharFormat format;
    format.setForeground(color);
    addCharFormat(format);
}

void AttributedString::setShadow(const TextShadow& shadow)
{
    QTextCharFormat format;
    format.setProperty(TextShadowProperty, QVariant::fromValue(shadow));
    addCharFormat(format);
}

void AttributedString::setParagraphStyle(const QTextBlockFormat& style)
{
    for (Run& run : runs_) {
        run.paragraph = style;
        run.hasParagraph = true;
    }
}

int AttributedString::length() const
{
    int n = 0;
    for (const Run& run : runs_)
        n += int(run.text.size());
    return n;
}

QString AttributedString::string() const
{
    QString s;
    s.reserve(length());
    for (const Run& run : runs_)
        s += run.text;
    return s;
}

QString AttributedString::plainString() const
{
    QString s;
    for (const Run& run : runs_) {
        if (isAttachmentRun(run))
            s += run.format.property(AttachmentCellProperty).value<MyTextAttachmentCell>().fileName();
        else
            s += run.text;
    }
    return s;
}

LinkValue AttributedString::linkAt(int position) const
{
    int start = 0;
    for (const Run& run : runs_) {
        const int end = start + int(run.text.size());
        if (position >= start && position < end)
            return LinkValue::fromVariant(run.format.property(LinkValueProperty));
        start = end;
    }
    return {};
}

std::optional<MyTextAttachmentCell> AttributedString::attachmentAt(int position) const
{
    int start = 0;
    for (const Run& run : runs_) {
        const int end = start + int(run.text.size());
        if (position >= start && position < end) {
            if (!isAttachmentRun(run))
                return std::nullopt;
            return run.format.property(AttachmentCellProperty).value<MyTextAttachmentCell>();
        }
        start = end;
    }
    return std::nullopt;
}

std::unique_ptr<QTextDocument> AttributedString::toDocument(bool padded) const
{
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->setDocumentMargin(0);
    document->setDefaultFont(defaultDocumentFont());
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    if (padded) {
        QTextFrameFormat frame = document->rootFrame()->frameFormat();
        frame.setLeftMargin(kLineFragmentPadding);
        frame.setRightMargin(kLineFragmentPadding);
        document->rootFrame()->setFrameFormat(frame);
    }

    const QColor linkColor = CellContext::current().appearance().linkColor();
    bool hasAttachment = false, hasParagraphs = false;
    QTextCursor cursor(document.get());
    for (const Run& run : runs_) {
        if (isLinkRun(run)) {
            QTextCharFormat format = run.format;
            format.setForeground(linkColor);
            format.setFontUnderline(false);
            cursor.insertText(run.text, format);
        } else {
            hasAttachment = hasAttachment || isAttachmentRun(run);
            cursor.insertText(run.text, run.format);
        }
        hasParagraphs = hasParagraphs || run.hasParagraph;
    }

    if (hasParagraphs) {
        // Each paragraph takes the style of its first character; a last, empty paragraph (after a final line
        // break) that of the last character.
        int runIndex = 0, runStart = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            const int position = block.position();
            while (runIndex < runs_.size() && runStart + runs_[runIndex].text.size() <= position) {
                runStart += int(runs_[runIndex].text.size());
                ++runIndex;
            }
            const Run* run = runIndex < runs_.size() ? &runs_[runIndex] : (runs_.isEmpty() ? nullptr : &runs_.last());
            if (run && run->hasParagraph)
                QTextCursor(block).setBlockFormat(run->paragraph);
        }
    }
    if (hasAttachment)
        AttachmentObjectHandler::registerWith(document.get());
    return document;
}

double AttributedString::heightOfDocument(QTextDocument& document, double width)
{
    if (document.isEmpty())
        return 0;
    document.setTextWidth(width);
    return document.documentLayout()->documentSize().height();
}

double AttributedString::heightForWidth(double width) const
{
    if (runs_.isEmpty())
        return 0;
    auto document = toDocument();
    return heightOfDocument(*document, width);
}

QSizeF AttributedString::size() const
{
    if (runs_.isEmpty())
        return {0, 0};
    auto document = toDocument(false);
    document->setTextWidth(-1);
    return document->documentLayout()->documentSize();
}

bool AttributedString::operator==(const AttributedString& other) const
{
    if (runs_.size() != other.runs_.size())
        return false;
    for (int i = 0; i < runs_.size(); ++i) {
        const Run& a = runs_[i];
        const Run& b = other.runs_[i];
        if (a.text != b.text || a.hasParagraph != b.hasParagraph || (a.hasParagraph && a.paragraph != b.paragraph))
            return false;
        if (isAttachmentRun(a) != isAttachmentRun(b))
            return false;
        if (isAttachmentRun(a)) {
            const auto ca = a.format.property(AttachmentCellProperty).value<MyTextAttachmentCell>();
            const auto cb = b.format.property(AttachmentCellProperty).value<MyTextAttachmentCell>();
            if (ca.type() != cb.type() || ca.fileName() != cb.fileName() || ca.image() != cb.image())
                return false;
        } else if (a.format != b.format) {
            return false;
        }
    }
    return true;
}

QString plainStringOfDocument(const QTextDocument& document)
{
    QString s;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            s += u'\n';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.objectType() == kAttachmentObjectType) {
                // One fragment may hold several neighbouring pictures of the same format.
                const QString name = format.property(AttachmentCellProperty).value<MyTextAttachmentCell>().fileName();
                for (int i = 0; i < fragment.length(); ++i)
                    s += name;
            } else {
                s += fragment.text();
            }
        }
    }
    return s;
}

namespace {

// The format of the character at `position`; an invalid format past the end of a paragraph.
QTextCharFormat formatAtDocumentPosition(const QTextDocument& document, int position)
{
    const QTextBlock block = document.findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.isValid() && position >= fragment.position()
            && position < fragment.position() + fragment.length())
            return fragment.charFormat();
    }
    return {};
}

} // namespace

LinkValue linkAtDocumentPosition(const QTextDocument& document, int position)
{
    return LinkValue::fromVariant(formatAtDocumentPosition(document, position).property(LinkValueProperty));
}

MyTextAttachmentCell attachmentAtDocumentPosition(const QTextDocument& document, int position)
{
    const QTextCharFormat format = formatAtDocumentPosition(document, position);
    if (format.objectType() != kAttachmentObjectType)
        return {};
    return format.property(AttachmentCellProperty).value<MyTextAttachmentCell>();
}
