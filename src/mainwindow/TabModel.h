#pragma once
// The window's two layers of tabs and the list behind each second-layer item: the first layer is a tab per left
// tab (状态, 评论, 提及, 私信, 收藏), the second the lists inside it; each list's controller is made on first use.
// The messages of the open conversation are a list of their own, outside the tabs. Main thread.
#include <QHash>
#include <QObject>
#include <QStringList>

#include <boost/shared_ptr.hpp>

#include <functional>

namespace weibo {
class SinaWeibo;
}
class PXListViewController;
class TabView;
class TabViewItem;
class TimelineHost;

class TabModel : public QObject {
    Q_OBJECT
public:
    // Builds the items into `tabView`, each inner tab view reporting its selection through `selected`; makes the
    // first list of each first-layer item and the conversation's list.
    TabModel(TabView* tabView, boost::shared_ptr<weibo::SinaWeibo> client, TimelineHost* host,
             std::function<void(TabView*, TabViewItem*)> selected, QObject* parent);
    ~TabModel() override;

    TabViewItem* addFirstLayerItem(const QString& identifier, const QString& label, TabView* tabView);
    TabViewItem* addSecondLayerItem(const QString& identifier, const QString& label, TabViewItem* firstLayerItem);
    TabView* innerTabView(TabViewItem* firstLayerItem) const;
    TabViewItem* secondLayerItem(int firstLayerIndex, int secondLayerIndex) const;
    // The labels of the second layer of a first-layer item, in order.
    QStringList secondLayerLabels(int firstLayerIndex) const;

    PXListViewController* controllerFor(TabViewItem* item);
    PXListViewController* controllerAt(int firstLayerIndex, int secondLayerIndex);
    PXListViewController* selected();
    PXListViewController* chat() const { return chat_; }
    const QHash<TabViewItem*, PXListViewController*>& controllers() const { return controllers_; }
    // Every list made so far, the conversation's included.
    QList<PXListViewController*> all() const;
    // Called with each list made from now on, before anything loads it.
    void setListMade(std::function<void(PXListViewController*)> made) { made_ = std::move(made); }

    // The named lists.
    PXListViewController* home() { return controllerAt(0, 0); }
    PXListViewController* user() { return controllerAt(0, 1); }
    PXListViewController* lists() { return controllerAt(0, 2); }
    PXListViewController* commentsToMe() { return controllerAt(1, 0); }
    PXListViewController* commentsByMe() { return controllerAt(1, 1); }
    PXListViewController* mentions() { return controllerAt(2, 0); }
    PXListViewController* messages() { return controllerAt(3, 0); }
    PXListViewController* favorites() { return controllerAt(4, 0); }

private:
    TabView* tabView_;
    boost::shared_ptr<weibo::SinaWeibo> client_;
    TimelineHost* host_;
    std::function<void(TabView*, TabViewItem*)> selectedSignal_;
    QHash<TabViewItem*, PXListViewController*> controllers_;
    PXListViewController* chat_ = nullptr;
    std::function<void(PXListViewController*)> made_;
};
