#include "widgets/TopTabContainer.h"

#include <QPainter>

TopTabContainer::TopTabContainer(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TopTabContainer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.949f, 0.949f, 0.949f));
    painter.fillRect(QRect(0, height() - 1, width(), 1), QColor::fromRgbF(0.835f, 0.835f, 0.835f));
}
