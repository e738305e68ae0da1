#include "timeline/WBTextView.h"

#include "widgets/PXListView.h"
#include "widgets/PXListViewCell.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// Item text to assistive technology: static text that reads as it is shown (pictures have no text of their own).
class WBTextViewAccessible : public QAccessibleWidget {
public:
    explicit WBTextViewAccessible(WBTextView* view) : QAccessibleWidget(view, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override
    {
        const auto* view = static_cast<const WBTextView*>(widget());
        if (t != QAccessible::Name || !view->accessibleName().isEmpty() || !view->document())
            return QAccessibleWidget::text(t);
        return view->document()->toPlainText().remove(QChar::ObjectReplacementCharacter).trimmed();
    }
};

QAccessibleInterface* textViewFactory(const QString& className, QObject* object)
{
    if ((className == QLatin1String("WBTextView") || className == QLatin1String("WBTextView2")) && object &&
        object->isWidgetType())
        return new WBTextViewAccessible(static_cast<WBTextView*>(object));
    return nullptr;
}

} // namespace

WBTextView::WBTextView(QWidget* parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(textViewFactory);
        return true;
    }();
    (void)installed;
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

WBTextView::~WBTextView() = default;

void WBTextView::setAttributedString(const AttributedString& text)
{
    document_ = text.isEmpty() ? nullptr : text.toDocument();
    laidOutWidth_ = -1;
    pressedIndex_ = -1;
    layoutText();
    update();
}

void WBTextView::clear()
{
    document_.reset();
    cellData_.reset();
    pressedIndex_ = -1;
    laidOutWidth_ = -1;
    unsetCursor();
    update();
}

void WBTextView::setTextContainerInset(const QSizeF& inset)
{
    inset_ = inset;
    laidOutWidth_ = -1;
    layoutText();
}

void WBTextView::layoutText()
{
    if (!document_)
        return;
    const double width = std::max(0.0, double(this->width()) - 2 * inset_.width());
    if (width == laidOutWidth_)
        return;
    laidOutWidth_ = width;
    document_->setTextWidth(width);
}

void WBTextView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutText();
}

void WBTextView::paintEvent(QPaintEvent* event)
{
    if (!document_)
        return;
    layoutText();
    QPainter painter(this);
    painter.translate(inset_.width(), inset_.height());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(event->rect()).translated(-inset_.width(), -inset_.height());
    context.palette = palette();
    document_->documentLayout()->draw(&painter, context);
}

int WBTextView::characterIndexForPoint(const QPointF& point, bool exact) const
{
    if (!document_)
        return -1;
    return document_->documentLayout()->hitTest(point - QPointF(inset_.width(), inset_.height()),
                                                exact ? Qt::ExactHit : Qt::FuzzyHit);
}

QRectF WBTextView::rectForCharacter(int index) const
{
    if (!document_ || index < 0)
        return {};
    const QTextBlock block = document_->findBlock(index);
    if (!block.isValid() || !block.layout())
        return {};
    const QTextLayout* layout = block.layout();
    const int offset = index - block.position();
    const QTextLine line = layout->lineForTextPosition(offset);
    if (!line.isValid())
        return {};
    const QRectF blockRect = document_->documentLayout()->blockBoundingRect(block);
    const double left = line.cursorToX(offset);
    const double right = line.cursorToX(offset + 1);
    return QRectF(std::min(left, right), line.y(), std::abs(right - left), line.height())
        .translated(blockRect.topLeft() + layout->position() + QPointF(inset_.width(), inset_.height()));
}

bool WBTextView::isActiveAt(int index) const
{
    if (!document_ || index < 0)
        return false;
    if (!linkAtDocumentPosition(*document_, index).isNull())
        return true;
    return attachmentAtDocumentPosition(*document_, index).type() != 0;
}

void WBTextView::mousePressEvent(QMouseEvent* event)
{
    const int index = event->button() == Qt::LeftButton ? characterIndexForPoint(event->position()) : -1;
    if (isActiveAt(index)) {
        pressedIndex_ = index;
        event->accept();
        return;
    }
    pressedIndex_ = -1;
    plainClick(event);
}

void WBTextView::plainClick(QMouseEvent* event) { event->ignore(); }

void WBTextView::mouseReleaseEvent(QMouseEvent* event)
{
    const int pressed = pressedIndex_;
    pressedIndex_ = -1;
    if (pressed < 0 || !document_) {
        event->ignore();
        return;
    }
    event->accept();
    // A click counts when it ends on what it started on.
    if (characterIndexForPoint(event->position()) != pressed || !delegate_)
        return;
    const LinkValue link = linkAtDocumentPosition(*document_, pressed);
    if (!link.isNull()) {
        delegate_->textViewClickedOnLink(this, link, pressed);
        return;
    }
    const MyTextAttachmentCell cell = attachmentAtDocumentPosition(*document_, pressed);
    if (cell.type() != 0)
        delegate_->textViewClickedOnCell(this, cell, rectForCharacter(pressed), pressed);
}

void WBTextView::mouseMoveEvent(QMouseEvent* event)
{
    if (isActiveAt(characterIndexForPoint(event->position())))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    event->ignore();
}

void WBTextView::wheelEvent(QWheelEvent* event) { event->ignore(); }

void WBTextView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = delegate_ ? delegate_->textViewMenuForEvent(this, event, characterIndexForPoint(event->pos(), false))
                            : nullptr;
    if (menu)
        menu->popup(event->globalPos());
    event->accept();
}

void WBTextView2::plainClick(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The row view is this view's parent; the list is the row's.
    auto* row = qobject_cast<PXListViewCell*>(parentWidget());
    PXListView* list = row ? row->listView() : nullptr;
    if (!list || row->row() < 0) {
        event->ignore();
        return;
    }
    event->accept();
    if (list->isRowSelected(row->row()))
        list->deselectRow(row->row());
    else
        list->selectRow(row->row());
}
