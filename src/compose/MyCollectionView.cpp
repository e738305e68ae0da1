#include "compose/MyCollectionView.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

MyCollectionView::MyCollectionView(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setFixedSize(sizeHint());
}

int MyCollectionView::rows() const
{
    return std::max(kMinRows, int((items_.size() + kColumns - 1) / kColumns));
}

QSize MyCollectionView::sizeHint() const
{
    return QSize(kColumns * kItemSize, rows() * kItemSize);
}

void MyCollectionView::setItems(const QVector<Item>& items)
{
    items_ = items;
    selectedRect_ = QRect();
    setFixedSize(sizeHint());
    update();
}

int MyCollectionView::itemIndexAt(const QPointF& point, int itemCount, int rows)
{
    // Half-open: x = 480 or y = 32 × rows is already outside the grid.
    if (point.x() < 0 || point.y() < 0 || point.x() >= kColumns * kItemSize || point.y() >= rows * kItemSize)
        return -1;
    const int index = int(std::floor(point.y() / kItemSize)) * kColumns + int(std::floor(point.x() / kItemSize));
    return index < itemCount ? index : -1;
}

QRect MyCollectionView::itemFrame(int index)
{
    return QRect((index % kColumns) * kItemSize, (index / kColumns) * kItemSize, kItemSize, kItemSize);
}

void MyCollectionView::mouseMovedTo(const QPointF& point)
{
    const int index = itemIndexAt(point, int(items_.size()), rows());
    const QRect rect = index < 0 ? QRect() : itemFrame(index);
    if (rect != selectedRect_) {
        selectedRect_ = rect;
        update();
    }
}

void MyCollectionView::mouseMoveEvent(QMouseEvent* event)
{
    mouseMovedTo(event->position());
}

void MyCollectionView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    mouseMovedTo(QPointF(-1, -1));
}

void MyCollectionView::mousePressEvent(QMouseEvent* event)
{
    const int index = itemIndexAt(event->position(), int(items_.size()), rows());
    if (index >= 0)
        emit itemClicked(index);
}

void MyCollectionView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    for (int i = 0; i < items_.size(); ++i) {
        const QRect frame = itemFrame(i);
        if (!frame.intersects(dirty) || items_[i].icon.isNull())
            continue;
        const QSize size = items_[i].icon.size().scaled(QSize(kItemSize - 8, kItemSize - 8), Qt::KeepAspectRatio)
                               .boundedTo(items_[i].icon.size());
        const QRect target(frame.center() - QPoint(size.width() / 2, size.height() / 2), size);
        painter.drawImage(target, items_[i].icon);
    }
    if (!selectedRect_.isEmpty()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::green, 2));
        painter.drawRoundedRect(QRectF(selectedRect_).adjusted(1, 1, -1, -1), 4, 4);
    }
}
