// Keeping the lists current: the manual refresh, older items and the poll. The start-up calls the first poll
// and starts the poll timer; the list presentation asks for older items at the bottom of a list.
//
// A refresh, an older-items load and a poll may be under way at the same time, but the loads of one list run
// one after the other (RefreshState::lockOf): each computes its bounds (min_id_, max_id_) from what the one
// before it stored, so no item is fetched, shown or announced twice. The main thread never waits for them:
// it only hands work to the global queue, and the background blocks hand the reloads back to it.
#include "mainwindow/MyWindowController.h"
#include "cells/FailureText.h"
#include "mainwindow/Poller.h"
#include "mainwindow/RefreshState.h"

#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "platform/Dispatch.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"
#include "widgets/TabView.h"

#include <QElapsedTimer>

#include <algorithm>
#include <map>

namespace {

bool isKind(const PXListViewController* c, const std::string& kind)
{
    return c && c->identifier().toStdString() == kind;
}

// The author of the status of the list's first row (0 for an empty list or a row without one).
std::uint64_t authorOfFirstCell(const PXListViewController* c)
{
    const auto cells = c->dataOfCells();
    if (cells->empty())
        return 0;
    const auto* status = dynamic_cast<const TimelineCellStatus*>(cells->front().get());
    return status && status->status() && status->status()->user ? status->status()->user->id : 0;
}

// Whose statuses a load of the user tab asks for: the author of its first row, or, for an empty tab that shows
// someone else, that user by name (id 0 would bring the signed-in user's own statuses into another user's tab).
void setUserOfUserTab(weibo::SinaWeiboOptions& options, const PXListViewController* c, const QString& otherUser)
{
    if (!otherUser.isEmpty() && c->dataOfCells()->empty())
        options.screen_name_ = otherUser.toStdString();
    else
        options.user_id_ = authorOfFirstCell(c);
}

// The busy texts.
const QString& refreshingText()
{
    static const QString text = QStringLiteral("正在获取新微博...");
    return text;
}
const QString& olderText()
{
    static const QString text = QStringLiteral("正在获取更多微博...");
    return text;
}

// Main-thread time one slice of row layout may take before the main thread gets back to its events.
constexpr qint64 kLayoutSliceNs = 4 * 1000 * 1000;

} // namespace

std::shared_ptr<MyWindowController::RefreshState> MyWindowController::makeRefreshState()
{
    // The window is the notification delegate: its names are registered as it is made.
    platform::Notifications::shared().registerNotifications(registrationDictionaryForGrowl());
    return std::make_shared<RefreshState>();
}

QVariantMap MyWindowController::registrationDictionaryForGrowl()
{
    const QStringList names{platform::Notifications::kStandardReminder};
    return {{QStringLiteral("AllNotifications"), names}, {QStringLiteral("DefaultNotifications"), names}};
}

bool MyWindowController::isPolling() const { return refresh_->polling.load(); }
std::uint64_t MyWindowController::pollsCompleted() const { return refresh_->polls.load(); }
std::uint64_t MyWindowController::pollsSkipped() const { return refresh_->skipped.load(); }
std::uint64_t MyWindowController::refreshesCompleted() const { return refresh_->refreshes.load(); }
std::uint64_t MyWindowController::moreCompleted() const { return refresh_->mores.load(); }

// ---------------------------------------------------------------------------------------------------------------
// Bringing one list up to date

weibo::Reply<std::size_t> MyWindowController::syncWithListViewController(PXListViewController* controller,
                                                                        std::uint64_t unreadCount, bool background)
{
    if (!controller)
        return weibo::Reply<std::size_t>(0, weibo::TransferOutcome());
    weibo::Reply<std::size_t> fetched;
    if (const std::uint64_t latest = controller->latestEntityId()) {
        weibo::SinaWeiboOptions options;
        options.min_id_ = latest;
        fetched = controller->fetchDataWithOptions(options, PXListViewController::kModeNewer, background);
    } else {
        weibo::SinaWeiboOptions options;
        options.count_ = int(std::min<std::uint64_t>(unreadCount + 10, PXListViewController::kMaxCells));
        fetched = controller->fetchDataWithOptions(options, PXListViewController::kModeInitial, background);
    }
    // A read that failed says nothing about what is unread: the badge keeps its count.
    if (fetched.ok())
        controller->setUnreadCount(unreadCount);
    return fetched;
}

QString MyWindowController::otherUserOfEmptyUserTab(const PXListViewController* c)
{
    if (!c->dataOfCells()->empty())
        return QString();
    // The tab's label is the name of the user it shows, "我的微博" for the signed-in user.
    TabViewItem* item = secondLayerItem(0, 1);
    return item && item->label() != QStringLiteral("我的微博") ? item->label() : QString();
}

void MyWindowController::refreshOpenConversation(PXListViewController* c, int mode)
{
    if (!isKind(c, weibo::WEIBO_API_MESSAGE) || !isDrawerOpenOrOpening())
        return;
    const CellPtr active = activeDataCell();
    // The drawer shows a conversation exactly when its item is a conversation row.
    if (!dynamic_cast<const TimelineCellMessageGroup*>(active.get()))
        return;
    displayMessageFromDataCell(active, false, false, mode);
}

void MyWindowController::prepareRowsForReload(PXListViewController* c, const CellArray& cells)
{
    // Runs in slices of a few milliseconds each; the main thread handles its events between them. A row whose
    // text is still waiting for a picture stays for the reload (which then waits for that picture anyway).
    std::size_t next = 0;
    while (next < cells.size() && !destroying_) {
        const bool ran = platform::dispatchMainSync([&] {
            if (destroying_ || c->cellWidth() <= 0) {
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
// Manual refresh

void MyWindowController::refreshWeibo()
{
    if (isStarting() || destroying_)
        return;
    PXListViewController* c = selectedListViewController();
    if (!c)
        return;
    {
        // A refresh of this list still waits (on the transfer lock, behind a slow answer): another click must
        // not queue one more thread behind it.
        std::lock_guard<std::mutex> guard(refresh_->lock);
        if (!refresh_->refreshInFlight.insert(c).second)
            return;
    }
    const std::string kind = c->identifier().toStdString();
    const QString otherUser = kind == weibo::WEIBO_API_TIMELINE_USER ? otherUserOfEmptyUserTab(c) : QString();
    // A comment drawer whose page failed to load gets it now.
    reloadFailedComments();
    if (kind == weibo::WEIBO_API_FAVORITES) {
        // The favourites are pages, not a stream with newer items: 刷新 loads the first page again.
        c->setCommentPage(1);
        c->reloadFavoritesPageData();
        return;
    }
    BusyText busy = displayBusy(refreshingText());
    runInBackground([this, c, kind, otherUser, busy]() mutable {
        weibo::TransferOutcome outcome;
        {
            std::lock_guard<std::mutex> serial(refresh_->lockOf(c));
            weibo::SinaWeiboOptions options;
            if (kind == weibo::WEIBO_API_TIMELINE_FRIENDS) {
                options.min_id_ = c->latestEntityId();
                outcome = c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true).outcome;
                if (outcome.ok())
                    c->setUnreadCount(0);
            } else if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME || kind == weibo::WEIBO_API_TIMELINE_MENTIONS) {
                outcome = syncWithListViewController(c, 0, true).outcome;
            } else if (kind == weibo::WEIBO_API_MESSAGE) {
                outcome = c->fetchMessagesWithMode(PXListViewController::kModeNewer);
            } else if (kind == weibo::WEIBO_API_TIMELINE_USER) {
                setUserOfUserTab(options, c, otherUser);
                options.min_id_ = c->latestEntityId();
                outcome = c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true).outcome;
            } else if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME) {
                options.min_id_ = c->latestEntityId();
                outcome = c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true).outcome;
            }
        }
        // A service that just failed is not asked for more (the counts, the reset) in the same breath.
        if (outcome.ok()) {
            c->resetUnreadCount();
            c->updateCommentRepostCounts();
        }
        {
            std::lock_guard<std::mutex> guard(refresh_->lock);
            refresh_->refreshInFlight.erase(c);
        }
        platform::dispatchMainSync([this, c, outcome, &busy] {
            busy.done();
            if (destroying_)
                return;
            showTransferOutcome(outcome);
            c->reloadData();
            c->listView()->scrollToRow(0);
            refreshOpenConversation(c, PXListViewController::kModeNewer);
            if (isKind(c, weibo::WEIBO_API_MESSAGE)) {
                const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(activeDataCell().get());
                if (group && group->unreadMessages() > 0)
                    c->resetUnreadMessageCount();
            }
            updateLeftTabs();
        });
        busy.done();
        ++refresh_->refreshes;
    });
}

void MyWindowController::reloadFailedComments()
{
    if (!isDrawerOpenOrOpening())
        return;
    PXListViewController* comments = commentListViewController();
    if (comments && comments->commentsNeedReload(activeEntityId_)) {
        comments->setCommentPage(1);
        comments->reloadCommentPageData();
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Older items

void MyWindowController::moreWeibo()
{
    if (isStarting() || destroying_)
        return;
    PXListViewController* c = selectedListViewController();
    if (!c)
        return;
    {
        // The end of a list is reached again and again while its older items are on the way: one load will do.
        std::lock_guard<std::mutex> guard(refresh_->lock);
        if (!refresh_->olderInFlight.insert(c).second)
            return;
    }
    const std::string kind = c->identifier().toStdString();
    const QString otherUser = kind == weibo::WEIBO_API_TIMELINE_USER ? otherUserOfEmptyUserTab(c) : QString();
    BusyText busy = displayBusy(olderText());
    runInBackground([this, c, kind, otherUser, busy]() mutable {
        weibo::TransferOutcome outcome;
        {
            std::lock_guard<std::mutex> serial(refresh_->lockOf(c));
            const bool statusList = kind == weibo::WEIBO_API_TIMELINE_FRIENDS ||
                                    kind == weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME ||
                                    kind == weibo::WEIBO_API_TIMELINE_MENTIONS ||
                                    kind == weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME;
            if (statusList || kind == weibo::WEIBO_API_TIMELINE_USER) {
                weibo::SinaWeiboOptions options;
                if (kind == weibo::WEIBO_API_TIMELINE_USER)
                    setUserOfUserTab(options, c, otherUser);
                // An empty list has nothing to be older than: its first page replaces it, which stays right
                // whatever else fills the list meanwhile (appending could show a page twice).
                const std::uint64_t earliest = c->earliestEntityId();
                if (earliest != 0)
                    options.max_id_ = earliest;
                outcome = c->fetchDataWithOptions(options,
                                                  earliest != 0 ? PXListViewController::kModeOlder
                                                                : PXListViewController::kModeInitial,
                                                  true)
                              .outcome;
            } else if (kind == weibo::WEIBO_API_MESSAGE) {
                outcome = c->fetchMessagesWithUnread(0, PXListViewController::kModeOlder).outcome;
            }
        }
        platform::dispatchMainSync([this, c, outcome, &busy] {
            busy.done();
            if (destroying_)
                return;
            showTransferOutcome(outcome);
            c->reloadData();
            refreshOpenConversation(c, PXListViewController::kModeOlder);
            updateLeftTabs();
        });
        busy.done();
        {
            std::lock_guard<std::mutex> guard(refresh_->lock);
            refresh_->olderInFlight.erase(c);
        }
        ++refresh_->mores;
    });
}

// ---------------------------------------------------------------------------------------------------------------
// The poll

void MyWindowController::showTransferOutcome(const weibo::TransferOutcome& outcome)
{
    if (destroying_ || outcome.failure == weibo::TransferFailure::Cancelled)
        return;
    failureText_ = failureTextFor(outcome);
    if (outcome.failure == weibo::TransferFailure::AuthRefused && !authorizationRefused_) {
        authorizationRefused_ = true;
        emit authorizationRefused();
    }
    showHintLine();
}

void MyWindowController::authorizationRenewed()
{
    if (destroying_)
        return;
    authorizationRefused_ = false;
    failureText_.clear();
    showHintLine();
    // The lists go on from where they are with the new token (an empty home timeline gets its newest page).
    if (!isStarting())
        poller_->start(Poller::Kind::Timer);
}

void MyWindowController::scheduledTask(QTimer* timer)
{
    if (isStarting() || destroying_)
        return;
    // The timer itself is of no use to the poll; whether there is one tells a tick from the first poll.
    poller_->start(timer ? Poller::Kind::Timer : Poller::Kind::First);
}

// ---------------------------------------------------------------------------------------------------------------
// Notifications

void MyWindowController::notifyGrowl(PXListViewController* controller, const CellArray& dataCells, std::size_t count)
{
    post(announcementsFor(controller, dataCells, count));
}

MyWindowController::Announcements MyWindowController::announcementsFor(PXListViewController* controller,
                                                                       const CellArray& dataCells, std::size_t count)
{
    if (!controller)
        return {};
    Announcer::Kind kind;
    if (controller == weiboListViewController())
        kind = Announcer::Kind::Status;
    else if (controller == comments2meListViewController())
        kind = Announcer::Kind::Comment;
    else if (controller == atmeListViewController())
        kind = Announcer::Kind::Mention;
    else if (controller == messageListViewController())
        kind = Announcer::Kind::Message;
    else
        return {};
    if (!refresh_->announcer) {
        refresh_->announcer = new Announcer(this, platform::UserDefaults::standard());
        connect(&platform::Notifications::shared(), &platform::Notifications::notificationClicked,
                refresh_->announcer, &Announcer::show);
    }
    Announcements chosen = refresh_->announcer->choose(kind, dataCells, count);
    refresh_->announcer->noteSeen(kind, dataCells);
    return chosen;
}

void MyWindowController::post(const Announcements& announcements)
{
    // Title, description, "StandardReminder", no icon, and what a click shows; the service's answer is not
    // awaited.
    for (const Announcer::Announcement& a : announcements)
        platform::Notifications::shared().notify(a.title, a.body, QString(), platform::Notifications::kStandardReminder,
                                                 a.clickContext);
}
