#include "timeline/TimelineCell.h"

#include "cells/CellContext.h"
#include "timeline/AvatarButton.h"
#include "timeline/WBTextView.h"

#include <QPainter>
#include <QPainterPath>

namespace {
// The row's layout: a 400 by 70 row, the avatar 48 square at (10, 10), the text from
// x 66 to 10 before the right edge, 10 below the top and 12 above the bottom.
constexpr int kDesignWidth = 400;
constexpr int kDesignHeight = 70;
const QColor kLineGrey = QColor::fromRgbF(0.835f, 0.835f, 0.835f);
} // namespace

TimelineCell::TimelineCell(QWidget* parent)
    : TimelineRowView(QString::fromLatin1(kIdentifier), QSize(kDesignWidth, kDesignHeight), new WBTextView)
{
    setParent(parent);
    layoutSubviews();
}

void TimelineCell::layoutSubviews()
{
    button()->setGeometry(10, 10, 48, 48);
    textView()->setGeometry(66, 10, std::max(0, width() - 76), std::max(0, height() - 22));
}

void TimelineCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawBackground(painter);
    painter.fillRect(QRectF(0, height() - 1, width(), 1), kLineGrey);
    drawDate(painter);

    const QRectF box = decorativeRectInView();
    if (box.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    // The notch on the top edge, 22 in from the left, points up at the reposting text above the box.
    QPainterPath notch;
    notch.moveTo(box.left() + 22, box.top() + 0.5);
    notch.lineTo(box.left() + 34, box.top() - 11);
    notch.lineTo(box.left() + 46, box.top() + 0.5);
    notch.closeSubpath();
    painter.fillPath(shape.united(notch), CellContext::current().appearance().boxColor());
}
