#include "timeline/AvatarButton.h"

#include "cells/WBUtility.h"

#include <QContextMenuEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

AvatarButton::AvatarButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void AvatarButton::setImage(const QImage& image)
{
    // Avatars are the same picture across many rows; comparing keys avoids needless repaints.
    if (image.cacheKey() == image_.cacheKey())
        return;
    image_ = image;
    update();
}

void AvatarButton::setTitle(const QString& title)
{
    if (title == title_)
        return;
    title_ = title;
    update();
}

void AvatarButton::setTitleFont(const QFont& font)
{
    titleFont_ = font;
    update();
}

void AvatarButton::setTitleColor(const QColor& color)
{
    titleColor_ = color;
    update();
}

void AvatarButton::setTitleAlignment(Qt::Alignment alignment)
{
    titleAlignment_ = alignment;
    update();
}

void AvatarButton::setUnreadCount(unsigned count)
{
    if (count == unreadCount_)
        return;
    unreadCount_ = count;
    update();
}

void AvatarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds = rect();
    if (!image_.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        QSizeF size = image_.size();
        size.scale(bounds.size(), Qt::KeepAspectRatio);
        const QRectF target(bounds.x() + (bounds.width() - size.width()) / 2, bounds.y(), size.width(),
                            size.height());
        QPainterPath clip;
        clip.addRoundedRect(target, 4, 4);
        painter.setClipPath(clip);
        painter.drawImage(target, image_);
        painter.setClipping(false);
        if (isDown())
            painter.fillPath(clip, QColor(0, 0, 0, 60));
    } else if (!title_.isEmpty()) {
        painter.setFont(titleFont_);
        painter.setPen(titleColor_.isValid() ? titleColor_ : palette().color(QPalette::WindowText));
        painter.drawText(bounds, int(titleAlignment_) | Qt::TextWordWrap, title_);
    } else {
        // An avatar still on its way shows an empty frame.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0.88, 0.88, 0.88));
        const double side = std::min(bounds.width(), bounds.height());
        painter.drawRoundedRect(QRectF(bounds.x() + (bounds.width() - side) / 2, bounds.y(), side, side), 4, 4);
    }
    if (unreadCount_)
        WBUtility::drawNumber(painter, unreadCount_, bounds);
}

void AvatarButton::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    emit contextMenuRequested(event->globalPos());
}
