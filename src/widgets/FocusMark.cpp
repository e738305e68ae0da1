#include "widgets/FocusMark.h"

#include <QPainter>
#include <QPen>

namespace focusmark {

QColor color() { return QColor(21, 67, 150); }

void draw(QPainter& painter, const QRectF& rect, double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color(), 2.0));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    painter.restore();
}

} // namespace focusmark
