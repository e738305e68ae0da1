#include "timeline/TimelineRowView.h"

#include "cells/CellContext.h"
#include "timeline/AvatarButton.h"
#include "timeline/ChatCell.h"
#include "timeline/MessageGroupCell.h"
#include "timeline/TimelineCell.h"
#include "timeline/TimelineHost.h"
#include "timeline/WBTextView.h"

#include <QPainter>

TimelineRowView* TimelineRowView::create(const QString& nibName)
{
    if (nibName == QLatin1String(MessageGroupCell::kIdentifier))
        return new MessageGroupCell;
    if (nibName == QLatin1String(ChatCell::kIdentifier))
        return new ChatCell;
    return new TimelineCell;
}

TimelineRowView::TimelineRowView(const QString& identifier, const QSize& designSize, WBTextView* textView)
    : PXListViewCell(identifier), designSize_(designSize), button_(new AvatarButton(this)), textView_(textView)
{
    textView_->setParent(this);
    connect(button_, &AvatarButton::clicked, this, [this] {
        if (host_)
            host_->profileButtonClicked(button_->name());
    });
    connect(button_, &AvatarButton::contextMenuRequested, this, [this](const QPoint& globalPos) {
        if (host_)
            host_->profileButtonMenuRequested(button_->name(), textView_->cellData(), globalPos);
    });
    // Subclasses lay their children out once constructed.
    resize(designSize);
}

void TimelineRowView::setFrameSize(const QSize& size)
{
    resize(size);
    layoutSubviews();
}

void TimelineRowView::resizeEvent(QResizeEvent* event)
{
    PXListViewCell::resizeEvent(event);
    layoutSubviews();
}

void TimelineRowView::setDecorativeRect(const QRectF& rect)
{
    if (rect == decorativeRect_)
        return;
    decorativeRect_ = rect;
    update();
}

void TimelineRowView::setDate(const QString& date)
{
    if (date == date_)
        return;
    date_ = date;
    update();
}

void TimelineRowView::prepareForReuse()
{
    textView_->clear();
    textView_->setDelegate(nullptr);
    button_->setImage(QImage());
    button_->setTitle(QString());
    button_->setUnreadCount(0);
    button_->setName(QString());
    decorativeRect_ = QRectF();
    date_.clear();
}

QRectF TimelineRowView::decorativeRectInView() const
{
    if (decorativeRect_.isEmpty())
        return {};
    return decorativeRect_.translated(textView_->pos());
}

void TimelineRowView::drawBackground(QPainter& painter) const
{
    const Appearance& appearance = CellContext::current().appearance();
    const QRectF bounds = rect();
    painter.fillRect(bounds, Appearance::linearGradient(appearance.backgroundGradient(), bounds, 90));
    if (isSelected())
        painter.fillRect(bounds, Appearance::linearGradient(appearance.selectedCellGradient(), bounds, 270));
}

void TimelineRowView::drawDate(QPainter& painter) const
{
    if (date_.isEmpty())
        return;
    const DateAttributes& attributes = CellContext::current().appearance().dateDic();
    painter.setFont(attributes.font);
    painter.setPen(attributes.foregroundColor);
    // The bounds shrunk by 12 in width and 8 in height, kept at the bottom edge: the text starts 8 below the
    // top and ends 12 before the right edge.
    const QRectF box(0, 8, width() - 12, height() - 8);
    painter.drawText(box, int(attributes.alignment | Qt::AlignTop), date_);
}
