#pragma once
// Keeping the lists current: the first load of a tab, the manual refresh, older items at the end of a list and the
// poll (Poller), with the announcements of what they bring. What each does for a list comes from the list's kind.
//
// A refresh, an older-items load and a poll may be under way at the same time, but the loads of one list run one
// after the other (each takes the list's turn, ListLoader): each computes its bounds (min_id_, max_id_) from what
// the one before it stored, so no item is fetched, shown or announced twice. The main thread never waits for them:
// it only hands work to the global queue, and the background blocks hand the reloads back to it.
#include "cells/CellTypes.h"
#include "mainwindow/Announcer.h"
#include "platform/BusyText.h"
#include "service/Reply.h"

#include <QString>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace weibo {
class SinaWeibo;
}
class Poller;
class PXListViewController;
class TabModel;

// What the refresh and the poll ask of their window. Main thread, unless said otherwise.
class RefreshHost {
public:
    virtual ~RefreshHost() = default;
    virtual TabModel& tabs() = 0;
    virtual PXListViewController* selectedListViewController() = 0;
    // Any thread.
    virtual BusyText displayBusy(const QString& text) = 0;
    virtual void showTransferOutcome(const weibo::TransferOutcome& outcome) = 0;
    virtual void updateLeftTabs() = 0;
    virtual bool isStarting() const = 0;
    // Any thread.
    virtual bool isShuttingDown() const = 0;
    // Background work of the window, counted so that the window waits for it when it goes.
    virtual void runInBackground(std::function<void()> work) = 0;
    virtual boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const = 0;
    // The drawer: its item, whether it is open, the conversation it shows, the comments list behind it.
    virtual CellPtr activeDataCell() const = 0;
    virtual std::uint64_t activeEntityId() const = 0;
    virtual bool isDrawerOpenOrOpening() const = 0;
    virtual void displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode) = 0;
    virtual PXListViewController* commentListViewController() = 0;
    // The user an empty user tab shows when that is not the signed-in user (else empty).
    virtual QString otherUserOfEmptyUserTab(const PXListViewController* c) = 0;
    // What decides which items are announced.
    virtual Announcer& announcer() = 0;
};

class ListRefresher {
public:
    // The poll's first run at start-up, or a tick of its timer.
    enum class PollKind { First, Timer };
    using Announcements = std::vector<Announcer::Announcement>;

    explicit ListRefresher(RefreshHost& host);
    ~ListRefresher();

    // The first load of a list shown for the first time (or favourites shown again). Main thread.
    void loadShownList(PXListViewController* c);
    // Newer items for the selected list (the refresh button).
    void refreshWeibo();
    // The open comment drawer's page, when its last load failed, is loaded again.
    void reloadFailedComments();
    // Older items for the selected list (its end was reached); skipped while an older load of that list runs.
    void moreWeibo();
    // The poll; one that starts while another is still under way is skipped.
    void poll(PollKind kind);

    // Brings a list up to date with the service's unread count; answers the cells fetched and the outcome.
    // Background thread.
    weibo::Reply<std::size_t> syncWithListViewController(PXListViewController* c, std::uint64_t unreadCount,
                                                         bool background);
    // The open conversation picks up new (mode 2) or older (mode 3) messages when `c` is the conversations.
    void refreshOpenConversation(PXListViewController* c, int mode);
    // The rows of `cells` that a reload of `c` will show get their heights in short main-thread slices, so that the
    // reload itself lays out nothing new. Background thread.
    void prepareRowsForReload(PXListViewController* c, const CellArray& cells);

    // What would be announced for the top `count` cells of a list (each item marked as announced), and their
    // posting. Main thread.
    Announcements announcementsFor(PXListViewController* c, const CellArray& cells, std::size_t count);
    static void post(const Announcements& announcements);

    bool isPolling() const { return polling_.load(); }
    std::uint64_t pollsCompleted() const { return polls_.load(); }
    std::uint64_t pollsSkipped() const { return skipped_.load(); }
    std::uint64_t refreshesCompleted() const { return refreshes_.load(); }
    std::uint64_t moreCompleted() const { return mores_.load(); }

private:
    friend class Poller;
    // The refresh of one list, in its turn; background thread.
    weibo::TransferOutcome refreshList(PXListViewController* c, const QString& otherUser);
    weibo::TransferOutcome loadOlder(PXListViewController* c, const QString& otherUser);
    // Marks `c` in flight in `set`; false when it already was.
    bool enter(std::set<const PXListViewController*>& set, const PXListViewController* c);
    void leave(std::set<const PXListViewController*>& set, const PXListViewController* c);

    RefreshHost& host_;
    std::unique_ptr<Poller> poller_;
    std::mutex lock_;  // guards olderInFlight_ and refreshInFlight_
    std::set<const PXListViewController*> olderInFlight_;
    // Lists whose refresh is waiting or running: a click on 刷新 while one waits starts nothing new.
    std::set<const PXListViewController*> refreshInFlight_;

    std::atomic<bool> polling_{false};
    std::atomic<std::uint64_t> polls_{0};
    std::atomic<std::uint64_t> skipped_{0};
    std::atomic<std::uint64_t> refreshes_{0};
    std::atomic<std::uint64_t> mores_{0};
};
