#include "mainwindow/ListRefresher.h"

#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/Poller.h"
#include "mainwindow/TabModel.h"
#include "platform/Dispatch.h"
#include "platform/Notifications.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// The author of the status of the list's first row (0 for an empty list or a row without one).
std::uint64_t authorOfFirstCell(const PXListViewController* c)
{
    const auto cells = c->dataOfCells();
    if (cells->empty())
        return 0;
    const auto* status = dynamic_cast<const TimelineCellStatus*>(cells->front().get());
    return status && status->status() && status->status()->user ? status->status()->user->id : 0;
}

// Whose statuses a load of a list of one user asks for: the author of its first row, or, for an empty list that
// shows someone else, that user by name (id 0 would bring the signed-in user's own statuses into another's tab).
void nameTheUser(weibo::SinaWeiboOptions& options, const PXListViewController* c, const QString& otherUser)
{
    if (!c->kind().perUser)
        return;
    if (!otherUser.isEmpty() && c->dataOfCells()->empty())
        options.screen_name_ = otherUser.toStdString();
    else
        options.user_id_ = authorOfFirstCell(c);
}

// Main-thread time one slice of row layout may take before the main thread gets back to its events.
constexpr qint64 kLayoutSliceNs = 4 * 1000 * 1000;

} // namespace

ListRefresher::ListRefresher(RefreshHost& host) : host_(host), poller_(std::make_unique<Poller>(*this, host)) {}

ListRefresher::~ListRefresher() = default;

bool ListRefresher::enter(std::set<const PXListViewController*>& set, const PXListViewController* c)
{
    std::lock_guard<std::mutex> guard(lock_);
    return set.insert(c).second;
}

void ListRefresher::leave(std::set<const PXListViewController*>& set, const PXListViewController* c)
{
    std::lock_guard<std::mutex> guard(lock_);
    set.erase(c);
}

// ---------------------------------------------------------------------------------------------------------------
// Bringing one list up to date

weibo::Reply<std::size_t> ListRefresher::syncWithListViewController(PXListViewController* c, std::uint64_t unreadCount,
                                                                   bool background)
{
    if (!c)
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    const auto turn = c->loader().turn();
    weibo::Reply<std::size_t> fetched;
    weibo::SinaWeiboOptions options;
    if (const std::uint64_t latest = c->latestEntityId()) {
        options.min_id_ = latest;
        fetched = c->fetchDataWithOptions(options, PXListViewController::kModeNewer, background);
    } else {
        options.count_ = int(std::min<std::uint64_t>(unreadCount + 10, PXListViewController::kMaxCells));
        fetched = c->fetchDataWithOptions(options, PXListViewController::kModeInitial, background);
    }
    // A read that failed says nothing about what is unread: the badge keeps its count.
    if (fetched.ok())
        c->setUnreadCount(unreadCount);
    return fetched;
}

void ListRefresher::refreshOpenConversation(PXListViewController* c, int mode)
{
    if (!c || !c->kind().isConversations() || !host_.isDrawerOpenOrOpening())
        return;
    const CellPtr active = host_.activeDataCell();
    // The drawer shows a conversation exactly when its item is a conversation row.
    if (!dynamic_cast<const TimelineCellMessageGroup*>(active.get()))
        return;
    host_.displayMessageFromDataCell(active, false, false, mode);
}

void ListRefresher::prepareRowsForReload(PXListViewController* c, const CellArray& cells)
{
    // Runs in slices of a few milliseconds each; the main thread handles its events between them. A row whose
    // text is still waiting for a picture stays for the reload (which then waits for that picture anyway).
    std::size_t next = 0;
    while (next < cells.size() && !host_.isShuttingDown()) {
        const bool ran = platform::dispatchMainSync([&] {
            if (host_.isShuttingDown() || c->cellWidth() <= 0) {
                next = cells.size(); // never laid out at this width: the reload measures everything
                return;
            }
            QElapsedTimer slice;
            slice.start();
            do {
                const CellPtr& cell = cells[next++];
                cell->setListViewController(c);
                cell->calculateTextViewHeight();
            } while (next < cells.size() && slice.nsecsElapsed() < kLayoutSliceNs);
        });
        if (!ran)
            return;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// The first load of a tab

void ListRefresher::loadShownList(PXListViewController* c)
{
    const ListKind& kind = c->kind();
    if (!c->dataOfCells()->empty() && !kind.isFavouritePages()) {
        c->reloadData();
        return;
    }
    const bool empty = c->dataOfCells()->empty();
    host_.runInBackground([this, c, &kind, empty] {
        weibo::TransferOutcome outcome;
        BusyText busy;
        {
            const auto turn = c->loader().turn();
            // Favourites shown again: a short first page may have grown on the service; a later page goes back to
            // page 1.
            bool fetch = empty;
            if (!empty) {
                fetch = c->commentPage() != 1 || c->dataOfCells()->size() <= 9;
                c->setCommentPage(1);
            }
            if (fetch && kind.firstLoad != ListKind::FirstLoad::None) {
                busy = host_.displayBusy(kind.firstLoadBusy);
                if (kind.firstLoad == ListKind::FirstLoad::UpToCounter)
                    outcome = syncWithListViewController(c, 0, false).outcome;
                else if (kind.firstLoad == ListKind::FirstLoad::Conversations)
                    outcome = c->fetchMessagesWithMode(PXListViewController::kModeInitial);
                else
                    outcome = c->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial,
                                                      false).outcome;
            }
        }
        platform::dispatchMainSync([this, c, outcome, empty, &busy] {
            busy.done();
            if (host_.isShuttingDown())
                return;
            // An empty list that could not be loaded says why, instead of looking like a list with nothing in it.
            host_.showTransferOutcome(outcome);
            if (empty && outcome.ok()) {
                c->resetUnreadCount();
                c->setUnreadCount(0);
            }
            c->reloadData();
        });
    });
}

// ---------------------------------------------------------------------------------------------------------------
// Manual refresh

weibo::TransferOutcome ListRefresher::refreshList(PXListViewController* c, const QString& otherUser)
{
    const auto turn = c->loader().turn();
    weibo::SinaWeiboOptions options;
    switch (c->kind().refresh) {
    case ListKind::Refresh::Newer: {
        nameTheUser(options, c, otherUser);
        options.min_id_ = c->latestEntityId();
        const weibo::TransferOutcome outcome =
            c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true).outcome;
        if (outcome.ok() && c->kind().readOnRefresh)
            c->setUnreadCount(0);
        return outcome;
    }
    case ListKind::Refresh::UpToCounter:
        return syncWithListViewController(c, 0, true).outcome;
    case ListKind::Refresh::Conversations:
        return c->fetchMessagesWithMode(PXListViewController::kModeNewer);
    case ListKind::Refresh::FirstPage:
    case ListKind::Refresh::None:
        break;
    }
    return weibo::TransferOutcome();
}

void ListRefresher::refreshWeibo()
{
    if (host_.isStarting() || host_.isShuttingDown())
        return;
    PXListViewController* c = host_.selectedListViewController();
    if (!c)
        return;
    // A comment drawer whose page failed to load gets it now.
    reloadFailedComments();
    if (c->kind().refresh == ListKind::Refresh::FirstPage) {
        // Pages, not a stream with newer items: 刷新 loads the first page again.
        c->setCommentPage(1);
        c->reloadFavoritesPageData();
        return;
    }
    // A refresh of this list still waits (on the transfer lock, behind a slow answer): another click must not
    // queue one more thread behind it.
    if (!enter(refreshInFlight_, c))
        return;
    const QString otherUser = host_.otherUserOfEmptyUserTab(c);
    BusyText busy = host_.displayBusy(QStringLiteral("正在获取新微博..."));
    host_.runInBackground([this, c, otherUser, busy]() mutable {
        const weibo::TransferOutcome outcome = refreshList(c, otherUser);
        // A service that just failed is not asked for more (the counts, the reset) in the same breath.
        if (outcome.ok()) {
            c->resetUnreadCount();
            c->updateCommentRepostCounts();
        }
        leave(refreshInFlight_, c);
        platform::dispatchMainSync([this, c, outcome, &busy] {
            busy.done();
            if (host_.isShuttingDown())
                return;
            host_.showTransferOutcome(outcome);
            c->reloadData();
            c->listView()->scrollToRow(0);
            refreshOpenConversation(c, PXListViewController::kModeNewer);
            if (c->kind().isConversations()) {
                const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(host_.activeDataCell().get());
                if (group && group->unreadMessages() > 0)
                    c->resetUnreadMessageCount();
            }
            host_.updateLeftTabs();
        });
        busy.done();
        ++refreshes_;
    });
}

void ListRefresher::reloadFailedComments()
{
    if (!host_.isDrawerOpenOrOpening())
        return;
    PXListViewController* comments = host_.commentListViewController();
    if (comments && comments->commentsNeedReload(host_.activeEntityId())) {
        comments->setCommentPage(1);
        comments->reloadCommentPageData();
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Older items

weibo::TransferOutcome ListRefresher::loadOlder(PXListViewController* c, const QString& otherUser)
{
    const auto turn = c->loader().turn();
    switch (c->kind().older) {
    case ListKind::Older::Older: {
        weibo::SinaWeiboOptions options;
        nameTheUser(options, c, otherUser);
        // An empty list has nothing to be older than: its first page replaces it, which stays right whatever else
        // fills the list meanwhile (appending could show a page twice).
        const std::uint64_t earliest = c->earliestEntityId();
        if (earliest != 0)
            options.max_id_ = earliest;
        const int mode = earliest != 0 ? PXListViewController::kModeOlder : PXListViewController::kModeInitial;
        return c->fetchDataWithOptions(options, mode, true).outcome;
    }
    case ListKind::Older::Conversations:
        return c->fetchMessagesWithUnread(0, PXListViewController::kModeOlder).outcome;
    default:
        return weibo::TransferOutcome();
    }
}

void ListRefresher::moreWeibo()
{
    if (host_.isStarting() || host_.isShuttingDown())
        return;
    PXListViewController* c = host_.selectedListViewController();
    // The end of a list is reached again and again while its older items are on the way: one load will do.
    if (!c || !enter(olderInFlight_, c))
        return;
    const QString otherUser = host_.otherUserOfEmptyUserTab(c);
    BusyText busy = host_.displayBusy(QStringLiteral("正在获取更多微博..."));
    host_.runInBackground([this, c, otherUser, busy]() mutable {
        const weibo::TransferOutcome outcome = loadOlder(c, otherUser);
        platform::dispatchMainSync([this, c, outcome, &busy] {
            busy.done();
            if (host_.isShuttingDown())
                return;
            host_.showTransferOutcome(outcome);
            c->reloadData();
            refreshOpenConversation(c, PXListViewController::kModeOlder);
            host_.updateLeftTabs();
        });
        busy.done();
        leave(olderInFlight_, c);
        ++mores_;
    });
}

// ---------------------------------------------------------------------------------------------------------------
// The poll and the announcements

void ListRefresher::poll(PollKind kind)
{
    if (host_.isStarting() || host_.isShuttingDown())
        return;
    poller_->start(kind == PollKind::Timer ? Poller::Kind::Timer : Poller::Kind::First);
}

ListRefresher::Announcements ListRefresher::announcementsFor(PXListViewController* c, const CellArray& cells,
                                                            std::size_t count)
{
    if (!c || c->kind().notificationSwitch.isEmpty())
        return {};
    TabModel& tabs = host_.tabs();
    Announcer::Kind kind = Announcer::Kind::Status;
    if (c == tabs.commentsToMe())
        kind = Announcer::Kind::Comment;
    else if (c == tabs.mentions())
        kind = Announcer::Kind::Mention;
    else if (c == tabs.messages())
        kind = Announcer::Kind::Message;
    else if (c != tabs.home())
        return {};
    Announcer& announcer = host_.announcer();
    Announcements chosen = announcer.choose(kind, cells, count);
    announcer.noteSeen(kind, cells);
    return chosen;
}

void ListRefresher::post(const Announcements& announcements)
{
    // Title, description, "StandardReminder", no icon, and what a click shows; the service's answer is not
    // awaited.
    for (const Announcer::Announcement& a : announcements)
        platform::Notifications::shared().notify(a.title, a.body, QString(), platform::Notifications::kStandardReminder,
                                                 a.clickContext);
}
