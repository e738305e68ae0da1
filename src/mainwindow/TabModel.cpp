#include "mainwindow/TabModel.h"

#include "widgets/TabView.h"
#include "service/WeiboPaths.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <string>
#include <vector>

namespace {

// The first-layer identifiers and labels, each with its second-layer lists.
struct SecondLayer {
    const std::string& identifier;
    const char* label;
};
struct FirstLayer {
    const char* identifier;
    const char* label;
    std::vector<SecondLayer> items;
};

const std::vector<FirstLayer>& model()
{
    static const std::vector<FirstLayer> layers = {
        {"status", "状态",
         {{weibo::WEIBO_API_TIMELINE_FRIENDS, "我的好友"},
          {weibo::WEIBO_API_TIMELINE_USER, "我的微博"},
          {weibo::WEIBO_API_LISTS, "分组"}}},
        {"comment", "评论",
         {{weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME, "收到的评论"},
          {weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME, "发出的评论"}}},
        {"mention", "提及", {{weibo::WEIBO_API_TIMELINE_MENTIONS, "提及我的"}}},
        {"message", "私信", {{weibo::WEIBO_API_MESSAGE, "私信"}}},
        {"favorites", "收藏", {{weibo::WEIBO_API_FAVORITES, "收藏"}}},
    };
    return layers;
}

} // namespace

TabModel::TabModel(TabView* tabView, boost::shared_ptr<weibo::SinaWeibo> client, TimelineHost* host,
                   std::function<void(TabView*, TabViewItem*)> selected, QObject* parent)
    : QObject(parent), tabView_(tabView), client_(std::move(client)), host_(host), selectedSignal_(std::move(selected))
{
    for (const FirstLayer& first : model()) {
        TabViewItem* item = addFirstLayerItem(QString::fromLatin1(first.identifier), QString::fromUtf8(first.label),
                                              tabView_);
        for (const SecondLayer& second : first.items)
            addSecondLayerItem(QString::fromStdString(second.identifier), QString::fromUtf8(second.label), item);
    }
    for (int i = 0; i < int(model().size()); ++i)
        controllerAt(i, 0);
    chat_ = new PXListViewController(QStringLiteral("PXListView"), QString::fromStdString(weibo::WEIBO_API_MESSAGE_CHAT),
                                     client_, host_);
    chat_->listView()->setAccessibleName(QStringLiteral("对话"));
    connect(tabView_, &TabView::didSelectTabViewItem, this, [this](TabView* v, TabViewItem* i) { selectedSignal_(v, i); });
}

TabModel::~TabModel()
{
    // The controllers go while the widgets they report to still exist.
    for (PXListViewController* c : controllers_)
        delete c;
    controllers_.clear();
    delete chat_;
    chat_ = nullptr;
}

TabViewItem* TabModel::addFirstLayerItem(const QString& identifier, const QString& label, TabView* tabView)
{
    auto* item = new TabViewItem(identifier, label);
    auto* inner = new TabView;
    connect(inner, &TabView::didSelectTabViewItem, this, [this](TabView* v, TabViewItem* i) { selectedSignal_(v, i); });
    item->setView(inner);
    tabView->addTabViewItem(item);
    return item;
}

TabViewItem* TabModel::addSecondLayerItem(const QString& identifier, const QString& label, TabViewItem* firstLayerItem)
{
    TabView* inner = innerTabView(firstLayerItem);
    if (!inner)
        return nullptr;
    auto* item = new TabViewItem(identifier, label);
    inner->addTabViewItem(item);
    return item;
}

TabView* TabModel::innerTabView(TabViewItem* firstLayerItem) const
{
    return firstLayerItem ? qobject_cast<TabView*>(firstLayerItem->view()) : nullptr;
}

TabViewItem* TabModel::secondLayerItem(int firstLayerIndex, int secondLayerIndex) const
{
    TabView* inner = innerTabView(tabView_->tabViewItemAtIndex(firstLayerIndex));
    return inner ? inner->tabViewItemAtIndex(secondLayerIndex) : nullptr;
}

QStringList TabModel::secondLayerLabels(int firstLayerIndex) const
{
    QStringList labels;
    if (firstLayerIndex >= 0 && firstLayerIndex < int(model().size()))
        for (const SecondLayer& second : model().at(std::size_t(firstLayerIndex)).items)
            labels << QString::fromUtf8(second.label);
    return labels;
}

PXListViewController* TabModel::controllerFor(TabViewItem* item)
{
    if (!item)
        return nullptr;
    if (PXListViewController* c = controllers_.value(item))
        return c;
    auto* c = new PXListViewController(QStringLiteral("PXListView"), item->identifier(), client_, host_);
    c->listView()->setAccessibleName(item->label());
    item->setView(c->listView());
    controllers_.insert(item, c);
    if (made_)
        made_(c);
    return c;
}

PXListViewController* TabModel::controllerAt(int firstLayerIndex, int secondLayerIndex)
{
    return controllerFor(secondLayerItem(firstLayerIndex, secondLayerIndex));
}

PXListViewController* TabModel::selected()
{
    TabView* inner = innerTabView(tabView_->selectedTabViewItem());
    return inner ? controllerFor(inner->selectedTabViewItem()) : nullptr;
}

QList<PXListViewController*> TabModel::all() const
{
    QList<PXListViewController*> lists = controllers_.values();
    if (chat_)
        lists.append(chat_);
    return lists;
}
