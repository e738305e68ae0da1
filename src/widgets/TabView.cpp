#include "widgets/TabView.h"

TabViewItem::TabViewItem(const QString& identifier, const QString& label, QObject* parent)
    : QObject(parent)
    , identifier_(identifier)
    , label_(label)
{
}

void TabViewItem::setView(QWidget* view)
{
    QWidget* old = view_;
    if (old == view)
        return;
    view_ = view;
    if (tabView_)
        tabView_->replaceView(this, old);
}

TabView::TabView(QWidget* parent)
    : QStackedWidget(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void TabView::addTabViewItem(TabViewItem* item)
{
    if (!item || items_.contains(item))
        return;
    item->setParent(this);
    item->tabView_ = this;
    if (!item->view_)
        item->view_ = new QWidget;
    items_.append(item);
    addWidget(item->view_);
    if (selected_ < 0) {
        selected_ = 0;
        setCurrentWidget(item->view_);
    }
}

TabViewItem* TabView::tabViewItemAtIndex(int index) const
{
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

int TabView::indexOfTabViewItem(const TabViewItem* item) const
{
    return int(items_.indexOf(const_cast<TabViewItem*>(item)));
}

TabViewItem* TabView::selectedTabViewItem() const
{
    return tabViewItemAtIndex(selected_);
}

void TabView::selectTabViewItem(TabViewItem* item)
{
    selectTabViewItemAtIndex(indexOfTabViewItem(item));
}

void TabView::selectTabViewItemAtIndex(int index)
{
    if (index < 0 || index >= items_.size() || index == selected_)
        return;
    selected_ = index;
    setCurrentWidget(items_.at(index)->view_);
    emit didSelectTabViewItem(this, items_.at(index));
}

void TabView::replaceView(TabViewItem* item, QWidget* oldView)
{
    const int at = oldView ? indexOf(oldView) : -1;
    if (item->view_)
        insertWidget(at >= 0 ? at : count(), item->view_);
    if (oldView) {
        removeWidget(oldView);
        oldView->deleteLater();
    }
    if (indexOfTabViewItem(item) == selected_ && item->view_)
        setCurrentWidget(item->view_);
}
