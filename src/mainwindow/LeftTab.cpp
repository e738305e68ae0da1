#include "mainwindow/LeftTab.h"

#include "cells/WBUtility.h"
#include "widgets/FocusMark.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <limits>

namespace {

// A page tab to assistive technology (the column of tabs is their tab list): selected while its list is shown,
// named with its unread count.
class LeftTabAccessible : public QAccessibleWidget {
public:
    explicit LeftTabAccessible(LeftTab* tab) : QAccessibleWidget(tab, QAccessible::PageTab) {}

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = static_cast<LeftTab*>(widget())->isChecked();
        return state;
    }
    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            static_cast<LeftTab*>(widget())->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* leftTabFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("LeftTab") && object && object->isWidgetType())
        return new LeftTabAccessible(static_cast<LeftTab*>(object));
    if (className == QLatin1String("LeftTabColumn") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::PageTabList);
    return nullptr;
}

// In place before the first window is built: setting a widget's name already asks for its interface, and the
// column of tabs is named before its tabs exist.
const bool factoryInstalled = [] {
    QAccessible::installFactory(leftTabFactory);
    return true;
}();

} // namespace

LeftTab::LeftTab(int tag, const QString& label, QWidget* parent)
    : QAbstractButton(parent)
    , tag_(tag)
{
    setText(label);
    setCheckable(true);
    // Tab reaches the tabs; a click switches lists and leaves the keyboard with the list.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(accessibleText());
    setFixedSize(sizeHint());
}

QString LeftTab::accessibleText() const
{
    if (!unreadCount_)
        return text();
    return QStringLiteral("%1，%2 条未读").arg(text()).arg(unreadCount_);
}

void LeftTab::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void LeftTab::setUnreadCount(std::uint64_t count)
{
    if (count == unreadCount_)
        return;
    unreadCount_ = count;
    setAccessibleName(accessibleText());
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
        painter.fillPath(path, isChecked() ? (enabled ? checkedFillColor() : QColor(150, 168, 196))
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
    painter.setPen(isChecked() ? checkedLabelColor() : (enabled ? labelColor() : QColor(160, 160, 160)));
    // The label sits a little low in the tab, leaving the top right corner to the badge.
    painter.drawText(bounds.adjusted(0, 8, 0, 0), Qt::AlignCenter, text());

    // The badge goes over the button's own drawing, in its top right corner.
    const auto shown = unsigned(std::min<std::uint64_t>(unreadCount_, std::numeric_limits<unsigned>::max()));
    WBUtility::drawNumber(painter, shown, QRectF(rect()));
    // Around the tab's fill, not on it: the ring stays clear of the checked tab's blue.
    if (hasFocus())
        focusmark::draw(painter, QRectF(rect()).adjusted(2, 0, -2, 0), 9);
}
