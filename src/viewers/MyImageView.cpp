#include "viewers/MyImageView.h"

#include <QMouseEvent>
#include <QPainter>

MyImageView::MyImageView(QWidget* parent)
    : QWidget(parent)
{
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &MyImageView::nextFrame);
}

void MyImageView::setImage(const ViewerPicture& picture)
{
    frameTimer_.stop();
    image_ = picture;
    animated_ = picture.isAnimated();
    frame_ = 0;
    if (animated_)
        frameTimer_.start(picture.frameDurations().first());
    update();
}

void MyImageView::nextFrame()
{
    if (!animated_)
        return;
    frame_ = (frame_ + 1) % image_.frames().size();
    frameTimer_.start(image_.frameDurations().at(frame_));
    update();
}

void MyImageView::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, image_.size() != image_.repSize());
    painter.drawImage(QRect(QPoint(0, 0), image_.size()), image_.frames().at(frame_));
}

void MyImageView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && clicked_)
        clicked_();
    else
        QWidget::mouseReleaseEvent(event);
}
