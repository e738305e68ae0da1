#include "widgets/PXListViewAccessible.h"

#include "widgets/PXListView.h"
#include "widgets/PXListViewDelegate.h"

#include <QAccessible>
#include <QScrollBar>
#include <QWidget>
#include <QWindow>

namespace {

QAccessibleInterface* listViewFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("PXListView") && object && object->isWidgetType())
        return new PXListViewAccessible(static_cast<PXListView*>(object));
    return nullptr;
}

} // namespace

void installListViewAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(listViewFactory);
        return true;
    }();
    (void)installed;
}

// ---------------------------------------------------------------------------------------------------------------
// The list

PXListViewAccessible::PXListViewAccessible(PXListView* view) : QAccessibleWidget(view, QAccessible::List) {}

PXListViewAccessible::~PXListViewAccessible()
{
    for (QAccessible::Id id : rows_)
        if (id)
            QAccessible::deleteAccessibleInterface(id);
}

PXListView* PXListViewAccessible::listView() const { return static_cast<PXListView*>(widget()); }

int PXListViewAccessible::childCount() const { return listView()->numberOfRows(); }

QAccessibleInterface* PXListViewAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (rows_.size() <= std::size_t(index))
        rows_.resize(std::size_t(index) + 1, 0);
    QAccessible::Id& id = rows_[std::size_t(index)];
    if (!id)
        id = QAccessible::registerAccessibleInterface(new PXListRowAccessible(listView(), index));
    return QAccessible::accessibleInterface(id);
}

int PXListViewAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* row = dynamic_cast<const PXListRowAccessible*>(child);
    return row && row->isValid() && row->parent() == this ? row->row() : -1;
}

QAccessibleInterface* PXListViewAccessible::childAt(int x, int y) const
{
    const QPoint point = listView()->viewport()->mapFromGlobal(QPoint(x, y));
    return child(listView()->rowAtViewportPoint(point));
}

QAccessibleInterface* PXListViewAccessible::focusChild() const
{
    return listView()->hasFocus() ? child(listView()->currentRow()) : nullptr;
}

void PXListViewAccessible::rowsReloaded()
{
    const std::size_t rows = std::size_t(std::max(0, childCount()));
    for (std::size_t row = rows; row < rows_.size(); ++row)
        if (rows_[row])
            QAccessible::deleteAccessibleInterface(rows_[row]);
    if (rows_.size() > rows)
        rows_.resize(rows);
}

// ---------------------------------------------------------------------------------------------------------------
// A row

PXListRowAccessible::PXListRowAccessible(PXListView* view, int row) : view_(view), row_(row) {}

bool PXListRowAccessible::isValid() const { return view_ && row_ < view_->numberOfRows(); }

QWindow* PXListRowAccessible::window() const
{
    return view_ ? view_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* PXListRowAccessible::parent() const
{
    return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString PXListRowAccessible::text(QAccessible::Text t) const
{
    if (!isValid() || t != QAccessible::Name || !view_->delegate())
        return QString();
    return view_->delegate()->listViewAccessibleTextOfRow(view_, row_);
}

QRect PXListRowAccessible::rect() const
{
    if (!isValid())
        return QRect();
    const QRect row = view_->rectOfRow(row_).translated(0, -view_->contentOffset());
    return QRect(view_->viewport()->mapToGlobal(row.topLeft()), row.size());
}

QAccessible::State PXListRowAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.selectable = true;
    state.focusable = true;
    state.selected = view_->isRowSelected(row_);
    state.focused = view_->hasFocus() && view_->currentRow() == row_;
    state.active = state.focused;
    if (!view_->isVisible() || !view_->visibleRange().contains(row_))
        state.offscreen = true;
    return state;
}

void* PXListRowAccessible::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList PXListRowAccessible::actionNames() const
{
    if (!isValid() || !view_->delegate())
        return {};
    return view_->delegate()->listViewAccessibleActionsOfRow(view_, row_);
}

void PXListRowAccessible::doAction(const QString& name)
{
    if (!isValid() || !view_->delegate() || !actionNames().contains(name))
        return;
    // The command acts on the current row, as it does from the keyboard.
    view_->selectRowFromKeyboard(row_);
    view_->delegate()->listViewPerformAccessibleAction(view_, row_, name);
}
