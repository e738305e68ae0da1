#include "timeline/ChatCell.h"

#include "timeline/AvatarButton.h"
#include "timeline/TimelineHost.h"
#include "timeline/WBTextView.h"
#include "widgets/PXThinScroller.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {
// The row's layout: a 400 by 60 row, the two avatar slots 40 square 6 from the top and
// 6 from either side, the text between them 6 from the top and the bottom, its text inset 5 above and below.
constexpr int kDesignWidth = 400;
constexpr int kDesignHeight = 60;
const QColor kBubbleGrey = QColor::fromRgbF(0.88f, 0.88f, 0.88f);
} // namespace

ChatCell::ChatCell(QWidget* parent)
    : TimelineRowView(QString::fromLatin1(kIdentifier), QSize(kDesignWidth, kDesignHeight), new WBTextView),
      selfUserBtn_(new AvatarButton(this))
{
    setParent(parent);
    textView()->setTextContainerInset(QSizeF(0, 5));
    selfUserBtn_->setName(QStringLiteral(""));
    connect(selfUserBtn_, &AvatarButton::clicked, this, [this] {
        if (host())
            host()->profileButtonClicked(selfUserBtn_->name());
    });
    layoutSubviews();
}

void ChatCell::setSentFromMe(bool sent)
{
    if (sent == sentFromMe_)
        return;
    sentFromMe_ = sent;
    update();
}

void ChatCell::layoutSubviews()
{
    // The right-hand slot keeps clear of the list's scroller, which lies over the rows' right edge when a
    // conversation is long enough to scroll: the own avatars and the dates stay whole.
    const int right = 6 + PXThinScroller::scrollerWidth();
    button()->setGeometry(6, 6, 40, 40);
    if (selfUserBtn_)
        selfUserBtn_->setGeometry(std::max(0, width() - right - 40), 6, 40, 40);
    textView()->setGeometry(52, 6, std::max(0, width() - 58 - right - 40), std::max(0, height() - 12));
}

void ChatCell::prepareForReuse()
{
    TimelineRowView::prepareForReuse();
    selfUserBtn_->setImage(QImage());
    selfUserBtn_->setTitle(QString());
    sentFromMe_ = false;
}

void ChatCell::paintEvent(QPaintEvent*)
{
    const QRectF bubble = decorativeRectInView();
    if (bubble.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(bubble, 6, 6);
    // The pointer leaves the bubble near its top, on the side of the sender's avatar.
    const double x0 = sentFromMe_ ? bubble.right() : bubble.left();
    const double tip = sentFromMe_ ? x0 + 10 : x0 - 10;
    const double top = bubble.top();
    QPainterPath pointer;
    pointer.moveTo(tip, top + 10);
    pointer.lineTo(x0, top + 8);
    pointer.lineTo(x0, top + 16);
    pointer.closeSubpath();
    painter.fillPath(shape.united(pointer), kBubbleGrey);
}
