// Keeping the lists current: the manual refresh, older items and the poll. The start-up calls the first poll
// and starts the poll timer; the list presentation asks for older items at the bottom of a list.
//
// A refresh, an older-items load and a poll may be under way at the same time, but the loads of one list run
// one after the other (RefreshState::lockOf): each computes its bounds (min_id_, max_id_) from what the one
// before it stored, so no item is fetched, shown or announced twice. The main thread never waits for them:
// it only hands work to the global queue, and the background blocks hand the reloads back to it.
#include "mainwindow/MyWindowController.h"

#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/TabView.h"
#include "platform/Dispatch.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QElapsedTimer>

#include <algorithm>
#include <map>

namespace {

bool isKind(const PXListViewController* c, const std::string& kind)
{
    return c && c->identifier().toStdString() == kind;
}

std::uint64_t counter(int value)
{
    return value > 0 ? std::uint64_t(value) : 0;
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
const QString& checkingText()
{
    static const QString text = QStringLiteral("正在检查是否有新微博...");
    return text;
}
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

// Locks: `lock` guards listLocks and olderInFlight. Each list's own mutex is held by the refresh, older-items
// load or poll step that fetches into that list, across the fetch and the merge. announcedUpTo is touched only
// on the main thread.
struct MyWindowController::RefreshState {
    std::mutex lock;
    std::map<const PXListViewController*, std::unique_ptr<std::mutex>> listLocks;
    std::set<const PXListViewController*> olderInFlight;
    // The newest entity id announced per list: ids grow with time, so an item at or below it was announced
    // already (or is older than what was).
    std::map<const PXListViewController*, std::uint64_t> announcedUpTo;

    std::atomic<bool> polling{false};
    std::atomic<std::uint64_t> polls{0};
    std::atomic<std::uint64_t> skipped{0};
    std::atomic<std::uint64_t> refreshes{0};
    std::atomic<std::uint64_t> mores{0};

    std::mutex& lockOf(const PXListViewController* c)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto& m = listLocks[c];
        if (!m)
            m = std::make_unique<std::mutex>();
        return *m;
    }
};

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

std::size_t MyWindowController::syncWithListViewController(PXListViewController* controller,
                                                          std::uint64_t unreadCount, bool background)
{
    if (!controller)
        return 0;
    std::size_t fetched = 0;
    if (const std::uint64_t latest = controller->latestEntityId()) {
        weibo::SinaWeiboOptions options;
        options.min_id_ = latest;
        fetched = controller->fetchDataWithOptions(options, PXListViewController::kModeNewer, background);
    } else {
        weibo::SinaWeiboOptions options;
        options.count_ = int(std::min<std::uint64_t>(unreadCount + 10, PXListViewController::kMaxCells));
        fetched = controller->fetchDataWithOptions(options, PXListViewController::kModeInitial, background);
    }
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
    const std::string kind = c->identifier().toStdString();
    const QString otherUser = kind == weibo::WEIBO_API_TIMELINE_USER ? otherUserOfEmptyUserTab(c) : QString();
    displayBusy(refreshingText());
    runInBackground([this, c, kind, otherUser] {
        {
            std::lock_guard<std::mutex> serial(refresh_->lockOf(c));
            weibo::SinaWeiboOptions options;
            if (kind == weibo::WEIBO_API_TIMELINE_FRIENDS) {
                options.min_id_ = c->latestEntityId();
                c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true);
                c->setUnreadCount(0);
            } else if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME || kind == weibo::WEIBO_API_TIMELINE_MENTIONS) {
                syncWithListViewController(c, 0, true);
            } else if (kind == weibo::WEIBO_API_MESSAGE) {
                c->fetchMessagesWithMode(PXListViewController::kModeNewer);
            } else if (kind == weibo::WEIBO_API_TIMELINE_USER) {
                setUserOfUserTab(options, c, otherUser);
                options.min_id_ = c->latestEntityId();
                c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true);
            } else if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME) {
                options.min_id_ = c->latestEntityId();
                c->fetchDataWithOptions(options, PXListViewController::kModeNewer, true);
            }
        }
        c->resetUnreadCount();
        c->updateCommentRepostCounts();
        platform::dispatchMainSync([this, c] {
            if (destroying_)
                return;
            c->reloadData();
            c->listView()->scrollToRow(0);
            refreshOpenConversation(c, PXListViewController::kModeNewer);
            if (isKind(c, weibo::WEIBO_API_MESSAGE)) {
                const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(activeDataCell().get());
                if (group && group->unreadMessages() > 0)
                    c->resetUnreadMessageCount();
            }
            updateLeftTabs();
            displayBusy(QString());
        });
        ++refresh_->refreshes;
    });
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
    displayBusy(olderText());
    runInBackground([this, c, kind, otherUser] {
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
                c->fetchDataWithOptions(options,
                                        earliest != 0 ? PXListViewController::kModeOlder
                                                      : PXListViewController::kModeInitial,
                                        true);
            } else if (kind == weibo::WEIBO_API_MESSAGE) {
                c->fetchMessagesWithUnread(0, PXListViewController::kModeOlder);
            }
        }
        platform::dispatchMainSync([this, c] {
            if (destroying_)
                return;
            c->reloadData();
            refreshOpenConversation(c, PXListViewController::kModeOlder);
            updateLeftTabs();
            displayBusy(QString());
        });
        {
            std::lock_guard<std::mutex> guard(refresh_->lock);
            refresh_->olderInFlight.erase(c);
        }
        ++refresh_->mores;
    });
}

// ---------------------------------------------------------------------------------------------------------------
// The poll

void MyWindowController::scheduledTask(QTimer* timer)
{
    if (isStarting() || destroying_)
        return;
    // While a poll still waits on the service the next tick is skipped: polls never pile up behind a slow or
    // unreachable service, and the one under way ends by the client's time-outs.
    if (refresh_->polling.exchange(true)) {
        ++refresh_->skipped;
        return;
    }
    const bool timerPoll = timer != nullptr;
    PXListViewController* home = weiboListViewController();
    PXListViewController* comments = comments2meListViewController();
    PXListViewController* atme = atmeListViewController();
    PXListViewController* messages = messageListViewController();
    displayBusy(checkingText());

    runInBackground([this, timerPoll, home, comments, atme, messages] {
        // 1. The service's unread counters; without them no list is asked. The service's error object is a
        // failed request too, not a set of zero counters.
        std::uint64_t unreadComments = 0, unreadMentions = 0, unreadMessages = 0;
        bool counters = false;
        {
            const std::string body = weibo_->statusUnread(weibo::SinaWeiboOptions());
            std::string error, code;
            if (!body.empty())
                weibo::parseError(body, error, code);
            if (!body.empty() && error.empty() && code.empty()) {
                if (const auto unread = weibo::parseUnread(body)) {
                    counters = true;
                    unreadComments = counter(unread->comments);
                    unreadMentions = counter(unread->mentions);
                    unreadMessages = counter(unread->dm);
                }
            }
        }

        // 2 and 3. Each list's cells are taken as its fetch left them, for the announcements.
        std::size_t h = 0, c2 = 0, m2 = 0, d2 = 0;
        CellArray homeCells, commentCells, mentionCells, messageCells;
        if (counters) {
            if (timerPoll) {
                std::lock_guard<std::mutex> serial(refresh_->lockOf(home));
                weibo::SinaWeiboOptions options;
                options.min_id_ = home->latestEntityId();
                h = home->fetchDataWithOptions(options, PXListViewController::kModeNewer, true);
                homeCells = *home->dataOfCells();
            }
            {
                std::lock_guard<std::mutex> serial(refresh_->lockOf(comments));
                c2 = syncWithListViewController(comments, unreadComments, true);
                commentCells = *comments->dataOfCells();
            }
            {
                std::lock_guard<std::mutex> serial(refresh_->lockOf(atme));
                m2 = syncWithListViewController(atme, unreadMentions, true);
                mentionCells = *atme->dataOfCells();
            }
            {
                std::lock_guard<std::mutex> serial(refresh_->lockOf(messages));
                d2 = messages->fetchMessagesWithUnread(unreadMessages, PXListViewController::kModeNewer);
                messageCells = *messages->receivedMessageCells();
            }
        }

        // 4. The counts of the rows in view.
        PXListViewController* selected = nullptr;
        platform::dispatchMainSync([this, &selected] {
            if (!destroying_)
                selected = selectedListViewController();
        });
        if (selected)
            selected->updateCommentRepostCounts();

        // The rows a reload of the selected list will show for the first time are measured in slices first.
        const bool reloadHome = selected == home && h != 0;
        const bool reloadComments = selected == comments && c2 != 0;
        const bool reloadMentions = selected == atme && m2 != 0;
        auto top = [](const CellArray& cells, std::size_t n) {
            return CellArray(cells.begin(), cells.begin() + std::ptrdiff_t(std::min(n, cells.size())));
        };
        if (reloadHome)
            prepareRowsForReload(home, top(homeCells, h));
        else if (reloadComments)
            prepareRowsForReload(comments, top(commentCells, c2));
        else if (reloadMentions)
            prepareRowsForReload(atme, top(mentionCells, m2));

        // 5. Back on the main thread: reload, badges, busy line, announcements.
        Announcements announcements;
        platform::dispatchMainSync([&] {
            if (destroying_)
                return;
            if (h != 0)
                home->setUnreadCount(home->unreadCount() + h);
            PXListViewController* c = selectedListViewController();
            const bool conversations = isKind(c, weibo::WEIBO_API_MESSAGE);
            if (c && ((c == home && h != 0) || (c == comments && c2 != 0) || (c == atme && m2 != 0) || conversations)) {
                // Items go on top while the user reads further down: the rows in view stay where they are.
                if (c->scrollMode() != PXListViewController::kScrollBusy)
                    c->setScrollMode(PXListViewController::kScrollHold);
                c->reloadData();
            }
            if (conversations) {
                refreshOpenConversation(c, PXListViewController::kModeNewer);
                const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(activeDataCell().get());
                if (group && group->unreadMessages() > 0)
                    c->resetUnreadMessageCount();
            }
            updateLeftTabs();
            displayBusy(QString());

            // Chosen here, posted below: a hundred bus messages would hold the main thread for milliseconds.
            announcements = announcementsFor(home, homeCells, h);
            for (auto&& more : {announcementsFor(comments, commentCells, timerPoll ? c2 : unreadComments),
                                announcementsFor(atme, mentionCells, timerPoll ? m2 : unreadMentions),
                                announcementsFor(messages, messageCells, timerPoll ? d2 : unreadMessages)})
                announcements.insert(announcements.end(), more.begin(), more.end());
        });
        post(announcements);
        refresh_->polling = false;
        ++refresh_->polls;
    });
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
    Announcements chosen;
    if (count == 0 || !controller)
        return chosen;
    const auto& defaults = platform::UserDefaults::standard();
    if (!defaults.boolForKey(QStringLiteral("UseGrowl")))
        return chosen;
    bool on = false;
    if (controller == weiboListViewController())
        on = defaults.boolForKey(QStringLiteral("NewStatus"));
    else if (controller == comments2meListViewController())
        on = defaults.boolForKey(QStringLiteral("NewComment"));
    else if (controller == atmeListViewController())
        on = defaults.boolForKey(QStringLiteral("NewAtme"));
    else if (controller == messageListViewController())
        on = defaults.boolForKey(QStringLiteral("NewMessage"));
    if (!on)
        return chosen;

    std::uint64_t& announced = refresh_->announcedUpTo[controller];
    const std::uint64_t before = announced;
    const std::size_t n = std::min(count, dataCells.size());
    for (std::size_t i = 0; i < n; ++i) {
        const CellPtr& cell = dataCells[i];
        if (!cell || cell->entityId() <= before)
            continue;
        chosen.emplace_back(cell->entityName(), cell->entityText());
        announced = std::max(announced, cell->entityId());
    }
    return chosen;
}

void MyWindowController::post(const Announcements& announcements)
{
    // Title, description, "StandardReminder", no icon; the service's answer is not awaited.
    for (const auto& [title, description] : announcements)
        platform::Notifications::shared().notify(title, description);
}
