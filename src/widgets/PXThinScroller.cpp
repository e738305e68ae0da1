#include "widgets/PXThinScroller.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kMinKnobLength = 24;
constexpr int kEdgeInset = 2;

double clamp01(double v) {
    if (!std::isfinite(v))
        return 0.0;
    return std::clamp(v, 0.0, 1.0);
}
}  // namespace

PXThinScroller::PXThinScroller(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
}

QSize PXThinScroller::sizeHint() const { return QSize(scrollerWidth(), 100); }

void PXThinScroller::setDoubleValue(double value) {
    value = clamp01(value);
    if (value == value_)
        return;
    value_ = value;
    update();
}

void PXThinScroller::setKnobProportion(double proportion) {
    proportion = clamp01(proportion);
    if (proportion == proportion_)
        return;
    proportion_ = proportion;
    update();
}

QRect PXThinScroller::knobRect() const {
    const int track = std::max(0, height() - 2 * kEdgeInset);
    const int length = std::min(track, std::max(kMinKnobLength, int(std::lround(track * proportion_))));
    const int top = kEdgeInset + int(std::lround((track - length) * value_));
    return QRect(kEdgeInset, top, std::max(1, width() - 2 * kEdgeInset), length);
}

double PXThinScroller::valueAtKnobTop(double knobTop) const {
    const QRect knob = knobRect();
    const double travel = double(height() - 2 * kEdgeInset - knob.height());
    if (travel <= 0.0)
        return 0.0;
    return clamp01((knobTop - kEdgeInset) / travel);
}

void PXThinScroller::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QRectF knob = knobRect();
    if (!hovered_ && !dragging_)
        knob.adjust(1.5, 0, -1.0, 0);  // slimmer at rest, full width while the pointer is on it
    painter.setBrush(QColor(0, 0, 0, (hovered_ || dragging_) ? 130 : 80));
    const double radius = knob.width() / 2.0;
    painter.drawRoundedRect(knob, radius, radius);
}

void PXThinScroller::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QRect knob = knobRect();
    const double y = event->position().y();
    if (y < knob.top()) {
        emit pageRequested(-1);
    } else if (y > knob.bottom()) {
        emit pageRequested(1);
    } else {
        dragging_ = true;
        dragGrabOffset_ = y - knob.top();
        update();
    }
    event->accept();
}

void PXThinScroller::mouseMoveEvent(QMouseEvent *event) {
    if (!dragging_) {
        event->ignore();
        return;
    }
    emit valueDragged(valueAtKnobTop(event->position().y() - dragGrabOffset_));
    event->accept();
}

void PXThinScroller::mouseReleaseEvent(QMouseEvent *event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        update();
    }
    event->accept();
}

void PXThinScroller::enterEvent(QEnterEvent *) {
    hovered_ = true;
    update();
}

void PXThinScroller::leaveEvent(QEvent *) {
    hovered_ = false;
    update();
}
