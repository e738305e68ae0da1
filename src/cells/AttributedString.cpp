#include "cells/AttributedString.h"

#include "cells/CellContext.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextOption>

#include <algorithm>
#include <atomic>

namespace {

const QChar kObjectCharacter(QChar::ObjectReplacementCharacter);

// The part of a character format that decides where glyphs go.
QTextCharFormat layoutFormat(const QTextCharFormat& format)
{
    static const int fontProperties[] = {QTextFormat::FontFamily, QTextFormat::FontFamilies,
                                         QTextFormat::FontStyleName, QTextFormat::FontPointSize,
                                         QTextFormat::FontPixelSize, QTextFormat::FontSizeAdjustment,
                                         QTextFormat::FontWeight, QTextFormat::FontItalic,
                                         QTextFormat::FontStretch, QTextFormat::FontLetterSpacing,
                                         QTextFormat::FontWordSpacing, QTextFormat::FontCapitalization,
                                         QTextFormat::FontFixedPitch, QTextFormat::TextVerticalAlignment};
    QTextCharFormat layout;
    if (format.propertyCount() == 0)
        return layout;
    for (int property : fontProperties) {
        if (format.hasProperty(property))
            layout.setProperty(property, format.property(property));
    }
    return layout;
}

int nextRunSerial()
{
    static std::atomic<int> serial{0};
    return ++serial;
}

// Kept as flags of the run: reading them from the format is a search through its properties.
bool isAttachmentRun(const AttributedString::Run& run)
{
    return run.isAttachment;
}

bool isLinkRun(const AttributedString::Run& run)
{
    return run.isLink;
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
    AttributedString s;
    s.runs_.append(attachmentRun(cell));
    return s;
}

AttributedString::Run AttributedString::attachmentRun(const MyTextAttachmentCell& original)
{
    // Emotions, emoji and controls follow the body font: at 16 points they are a third larger than at 12.
    MyTextAttachmentCell cell = original;
    const double points = documentDefaultFont().pointSizeF();
    if (attachmentScalesWithFont(cell.type()) && points > 0)
        cell.setScale(std::clamp(points / Appearance::kDefaultFontSize, 0.75, 3.0));
    Run run;
    run.isAttachment = true;
    run.text = QString(kObjectCharacter);
    run.format.setObjectType(kAttachmentObjectType);
    run.format.setProperty(AttachmentCellProperty, QVariant::fromValue(cell));
    run.format.setProperty(RunSerialProperty, nextRunSerial());
    const QSizeF size = cell.cellSize();
    run.format.setProperty(AttachmentWidthProperty, size.width());
    run.format.setProperty(AttachmentAscentProperty, size.height());
    return run;
}

AttributedString AttributedString::fromRichText(const RichText& text)
{
    AttributedString s;
    s.runs_.reserve(text.runs().size());
    for (const TextRun& run : text.runs()) {
        if (run.attachment)
            s.runs_.append(attachmentRun(MyTextAttachmentCell::fromTextAttachment(*run.attachment)));
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
            && last.hasParagraph == run.hasParagraph && last.hasFont == run.hasFont && last.shadow == run.shadow
            && last.color == run.color && last.format == run.format
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
    run.isLink = true;
    run.text = text;
    // The value is the link; views find it with linkAtDocumentPosition. No href: writing every address out
    // as text again would cost more than the scan that found it.
    run.format.setAnchor(true);
    run.format.setProperty(LinkValueProperty, link.toVariant());
    run.format.setProperty(RunSerialProperty, nextRunSerial());
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
    // Documents are made with the body font as their default, so text in the body font carries no font at
    // all: the layout then finds its font engines once per text instead of once per stretch.
    if (font == documentDefaultFont()) {
        static const int fontProperties[] = {QTextFormat::FontFamily, QTextFormat::FontFamilies,
                                             QTextFormat::FontStyleName, QTextFormat::FontPointSize,
                                             QTextFormat::FontPixelSize, QTextFormat::FontSizeAdjustment,
                                             QTextFormat::FontWeight, QTextFormat::FontItalic,
                                             QTextFormat::FontStretch};
        for (Run& run : runs_) {
            if (!run.hasFont)
                continue;
            for (int property : fontProperties) {
                if (run.format.hasProperty(property))
                    run.format.clearProperty(property);
            }
            run.hasFont = false;
        }
        return;
    }
    // Only what the cells' fonts vary in: every property a format carries is looked up again and again by
    // the layout.
    QTextCharFormat format;
    format.setFontFamilies(font.families().isEmpty() ? QStringList{font.family()} : font.families());
    format.setFontPointSize(font.pointSizeF());
    format.setFontWeight(font.weight());
    if (font.italic())
        format.setFontItalic(true);
    addCharFormat(format);
    for (Run& run : runs_)
        run.hasFont = true;
}

void AttributedString::setForegroundColor(const QColor& color)
{
    for (Run& run : runs_)
        run.color = color;
}

void AttributedString::setSharedShadow()
{
    for (Run& run : runs_)
        run.shadow = true;
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

std::unique_ptr<QTextDocument> AttributedString::toDocument(double textWidth) const
{
    return makeDocument(textWidth, true, false);
}

std::unique_ptr<QTextDocument> AttributedString::toLayoutDocument(double textWidth) const
{
    return makeDocument(textWidth, true, true);
}

std::unique_ptr<QTextDocument> AttributedString::makeDocument(double textWidth, bool padded, bool layoutOnly) const
{
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(documentDefaultFont());
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    // No margin but the line-end padding (the document's own margin is 4 on every side).
    QTextFrameFormat frame = document->rootFrame()->frameFormat();
    frame.setTopMargin(0);
    frame.setBottomMargin(0);
    frame.setLeftMargin(padded ? kLineFragmentPadding : 0);
    frame.setRightMargin(padded ? kLineFragmentPadding : 0);
    document->rootFrame()->setFrameFormat(frame);

    // The layout lays the text out as soon as it exists and again on every change of width, and laying out
    // a whole text at once costs more than following the edit: so the width goes first, then the layout with
    // the attachments' handler (on the empty document), then the text in one edit.
    document->setTextWidth(textWidth);
    AttachmentObjectHandler::registerWith(document.get());

    const QColor linkColor = layoutOnly ? QColor() : CellContext::current().appearance().linkColor();
    bool hasParagraphs = false;
    QTextCursor cursor(document.get());
    cursor.beginEditBlock();
    if (layoutOnly) {
        // Only what takes room: fonts and pictures. Colours, links and shadows do not move a glyph, and every
        // change of format splits the text into one more stretch to shape, so neighbouring runs that differ
        // only in those are laid out as one.
        QString pending;
        QTextCharFormat pendingFormat;
        for (const Run& run : runs_) {
            hasParagraphs = hasParagraphs || run.hasParagraph;
            if (isAttachmentRun(run)) {
                if (!pending.isEmpty())
                    cursor.insertText(pending, pendingFormat);
                pending.clear();
                // Its room alone: pictures of one size share one format.
                QTextCharFormat object;
                object.setObjectType(kAttachmentObjectType);
                object.setProperty(AttachmentWidthProperty, run.format.property(AttachmentWidthProperty));
                object.setProperty(AttachmentAscentProperty, run.format.property(AttachmentAscentProperty));
                cursor.insertText(run.text, object);
                continue;
            }
            const QTextCharFormat format = run.hasFont ? layoutFormat(run.format) : QTextCharFormat();
            if (!pending.isEmpty() && format != pendingFormat) {
                cursor.insertText(pending, pendingFormat);
                pending.clear();
            }
            pendingFormat = format;
            pending += run.text;
        }
        if (!pending.isEmpty())
            cursor.insertText(pending, pendingFormat);
    } else {
        for (const Run& run : runs_) {
            if (isLinkRun(run) || run.color.isValid() || run.shadow) {
                QTextCharFormat format = run.format;
                if (isLinkRun(run)) {
                    format.setForeground(linkColor);
                    format.setFontUnderline(false);
                } else if (run.color.isValid()) {
                    format.setForeground(run.color);
                }
                if (run.shadow)
                    format.setProperty(TextShadowProperty, true);
                cursor.insertText(run.text, format);
            } else {
                cursor.insertText(run.text, run.format);
            }
            hasParagraphs = hasParagraphs || run.hasParagraph;
        }
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
    cursor.endEditBlock();

    return document;
}

QFont AttributedString::documentDefaultFont()
{
    return CellContext::current().appearance().bodyFont();
}

double AttributedString::heightOfDocument(QTextDocument& document, double width)
{
    if (document.isEmpty())
        return 0;
    // Setting a width lays the whole text out again, even the same width.
    if (document.textWidth() != width)
        document.setTextWidth(width);
    return document.documentLayout()->documentSize().height();
}

double AttributedString::heightForWidth(double width) const
{
    if (runs_.isEmpty())
        return 0;
    auto document = toLayoutDocument(width);
    return heightOfDocument(*document, width);
}

QSizeF AttributedString::size() const
{
    if (runs_.isEmpty())
        return {0, 0};
    auto document = makeDocument(-1, false, true);
    return document->documentLayout()->documentSize();
}

bool AttributedString::operator==(const AttributedString& other) const
{
    if (runs_.size() != other.runs_.size())
        return false;
    for (int i = 0; i < runs_.size(); ++i) {
        const Run& a = runs_[i];
        const Run& b = other.runs_[i];
        if (a.text != b.text || a.hasParagraph != b.hasParagraph || (a.hasParagraph && a.paragraph != b.paragraph)
            || a.color != b.color || a.shadow != b.shadow)
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
