#include "timeline/MessageGroupCell.h"

#include "timeline/AvatarButton.h"
#include "timeline/WBTextView.h"

#include <QPainter>

#include <algorithm>

namespace {
// The row's layout: as a status row, 400 by 70.
constexpr int kDesignWidth = 400;
constexpr int kDesignHeight = 70;
} // namespace

MessageGroupCell::MessageGroupCell(QWidget* parent)
    : TimelineRowView(QString::fromLatin1(kIdentifier), QSize(kDesignWidth, kDesignHeight), new WBTextView2)
{
    setParent(parent);
    layoutSubviews();
}

void MessageGroupCell::layoutSubviews()
{
    button()->setGeometry(10, 10, 48, 48);
    textView()->setGeometry(66, 10, std::max(0, width() - 76), std::max(0, height() - 22));
}

void MessageGroupCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawBackground(painter);
    drawDate(painter);
}
