#include "mainwindow/LeftTab.h"

#include "cells/WBUtility.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <limits>

LeftTab::LeftTab(int tag, const QString& label, QWidget* parent)
    : QAbstractButton(parent)
    , tag_(tag)
{
    setText(label);
    setCheckable(true);
    // The tabs switch lists; the keyboard stays with the list.
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(label);
    setFixedSize(sizeHint());
}

void LeftTab::setUnreadCount(std::uint64_t count)
{
    if (count == unreadCount_)
        return;
    unreadCount_ = count;
    update();
}

void LeftTab::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(6, 4, -6, -4);
    // A disabled tab (while the window starts) is drawn faded: it shows which list comes, not a live control.
    const bool enabled = isEnabled();
    if (isChecked() || isDown()) {
        QPainterPath path;
        path.addRoundedRect(bounds, 6, 6);
        painter.fillPath(path, isChecked() ? (enabled ? QColor(60, 100, 161) : QColor(150, 168, 196))
                                           : QColor(0, 0, 0, 40));
    } else if (underMouse() && enabled) {
        QPainterPath path;
        path.addRoundedRect(bounds, 6, 6);
        painter.fillPath(path, QColor(0, 0, 0, 20));
    }
    QFont font = this->font();
    font.setPixelSize(14);
    font.setBold(isChecked());
    painter.setFont(font);
    painter.setPen(isChecked() ? QColor(Qt::white) : (enabled ? QColor(70, 70, 70) : QColor(160, 160, 160)));
    // The label sits a little low in the tab, leaving the top right corner to the badge.
    painter.drawText(bounds.adjusted(0, 8, 0, 0), Qt::AlignCenter, text());

    // The badge goes over the button's own drawing, in its top right corner.
    const auto shown = unsigned(std::min<std::uint64_t>(unreadCount_, std::numeric_limits<unsigned>::max()));
    WBUtility::drawNumber(painter, shown, QRectF(rect()));
}
