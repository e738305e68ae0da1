#pragma once
// The ring that shows where the keyboard is. The custom-drawn controls draw it around themselves when they have
// the focus, and a list draws it around its current row; the toolkit's own controls draw their style's.
#include <QColor>
#include <QRectF>

class QPainter;

namespace focusmark {

// A dark blue that stands out 3:1 or more from every background of the window, the selected row's included.
QColor color();
// A ring two pixels wide just inside `rect`, with a light line inside it.
void draw(QPainter& painter, const QRectF& rect, double radius = 4.0);

} // namespace focusmark
