#pragma once
// The "分组" chooser with the list filter of the home timeline, and the user tab that shows any user's statuses.
// A choice of a list or of a user outdates the ones before it: the lists' and the user tab's loaders are renewed,
// so a slow answer for an earlier choice never fills the tab or switches to it. Main thread.
#include "platform/BusyText.h"
#include "service/Reply.h"

#include <QHash>
#include <QString>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <functional>
#include <set>

namespace weibo {
class SinaWeibo;
}
class PopUpButton;
class PXListViewController;
class QWidget;
class TabModel;
class TabView;

// What the chooser and the user tab ask of their window.
class ListsHost {
public:
    virtual ~ListsHost() = default;
    virtual TabModel& tabs() = 0;
    virtual TabView* tabView() const = 0;
    virtual PopUpButton* listsButton() const = 0;
    virtual PopUpButton* subHome() const = 0;
    virtual QWidget* alertParent() = 0;
    virtual QString selfUserIdString() const = 0;
    virtual boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const = 0;
    virtual BusyText displayBusy(const QString& text) = 0;
    virtual void showTransferOutcome(const weibo::TransferOutcome& outcome) = 0;
    virtual void updateLeftTabs() = 0;
    virtual bool isStarting() const = 0;
    virtual bool isShuttingDown() const = 0;
    virtual void runInBackground(std::function<void()> work) = 0;
    // The home timeline's left tab was clicked ("所有").
    virtual void showHomeTimeline() = 0;
    // The inner tab `inner` shows its selected item again (the list it shows changed under it).
    virtual void reselect(TabView* inner) = 0;
};

class ListsAndUserTab {
public:
    explicit ListsAndUserTab(ListsHost& host) : host_(host) {}

    void makeWeiboLists();
    void weiboListClicked(int index);
    weibo::Reply<std::set<std::uint64_t>> totalMembersOfUser(const QString& userId, const QString& listId);
    void replaceStatusUserTabViewItemWithUser(const QString& screenName);
    // The name of the user an empty user tab shows, when that is not the signed-in user (else empty).
    QString otherUserOfEmptyUserTab(const PXListViewController* c);

private:
    void applyListMembers(const std::set<std::uint64_t>& members);

    ListsHost& host_;
    bool listsMade_ = false;
    // List id in decimal -> the ids of its members, kept for the run.
    QHash<QString, std::set<std::uint64_t>> members_;
};
