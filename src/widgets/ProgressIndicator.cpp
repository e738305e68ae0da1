#include "widgets/ProgressIndicator.h"

#include <QPainter>

#include <algorithm>

ProgressIndicator::ProgressIndicator(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 12;
        update();
    });
}

void ProgressIndicator::startAnimation()
{
    if (!timer_.isActive())
        timer_.start();
    update();
}

void ProgressIndicator::stopAnimation()
{
    timer_.stop();
    update();
}

void ProgressIndicator::paintEvent(QPaintEvent*)
{
    if (!isAnimating())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < 12; ++i) {
        // The spoke at the current step is the darkest; the ones behind it fade.
        const int age = (step_ - i + 12) % 12;
        QColor color(60, 60, 60);
        color.setAlphaF(1.0 - age / 13.0);
        painter.setPen(QPen(color, side / 9.0, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(i * 30.0);
        painter.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.45));
        painter.restore();
    }
}
