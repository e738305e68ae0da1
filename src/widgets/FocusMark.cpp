#include "widgets/FocusMark.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

namespace focusmark {

QColor color() { return QColor(21, 67, 150); }

void draw(QPainter& painter, const QRectF& rect, double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color(), 2.0));
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), radius, radius);
    // A light line inside keeps the ring visible on dark fills too.
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1.0));
    painter.drawRoundedRect(rect.adjusted(2.5, 2.5, -2.5, -2.5), std::max(0.0, radius - 1.5), std::max(0.0, radius - 1.5));
    painter.restore();
}

} // namespace focusmark
