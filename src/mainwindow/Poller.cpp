#include "mainwindow/Poller.h"

#include "cells/TimelineCellBase.h"
#include "cells/TimelineCellMessageGroup.h"
#include "mainwindow/ListRefresher.h"
#include "mainwindow/TabModel.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"

#include <algorithm>

namespace {

// A counter the service did not give as a whole number keeps what the list shows (-1: not reported).
std::uint64_t counter(int value, const PXListViewController* list)
{
    return value >= 0 ? std::uint64_t(value) : list->unreadCount();
}

CellArray topCells(const CellArray& cells, std::size_t n)
{
    return CellArray(cells.begin(), cells.begin() + std::ptrdiff_t(std::min(n, cells.size())));
}

} // namespace

// Read on the main thread before the block starts (kind, the four lists), then filled by the steps in order on
// the block's thread; step 5 reads it on the main thread while the block waits for it.
struct Poller::Run {
    Kind kind = Kind::First;
    PXListViewController* home = nullptr;
    PXListViewController* comments = nullptr;
    PXListViewController* atme = nullptr;
    PXListViewController* messages = nullptr;

    bool counters = false;
    std::uint64_t unreadComments = 0, unreadMentions = 0, unreadMessages = 0;
    std::size_t h = 0, c2 = 0, m2 = 0, d2 = 0;
    // Of the h new home statuses, those written by someone else (the user's own are never unread).
    std::size_t unreadHome = 0;
    CellArray homeCells, commentCells, mentionCells, messageCells;
    weibo::TransferOutcome failure;
    BusyText busy;
};

Poller::Poller(ListRefresher& refresher, RefreshHost& host) : refresher_(refresher), host_(host) {}

void Poller::start(Kind kind)
{
    // While a poll still waits on the service the next tick is skipped: polls never pile up behind a slow or
    // unreachable service, and the one under way ends by the client's time-outs.
    if (refresher_.polling_.exchange(true)) {
        ++refresher_.skipped_;
        return;
    }
    auto run = std::make_shared<Run>();
    run->kind = kind;
    TabModel& tabs = host_.tabs();
    run->home = tabs.home();
    run->comments = tabs.commentsToMe();
    run->atme = tabs.mentions();
    run->messages = tabs.messages();
    run->busy = host_.displayBusy(QStringLiteral("正在检查是否有新微博..."));

    host_.runInBackground([this, run] {
        readUnreadCounters(*run);
        if (run->counters) {
            fetchHomeTimeline(*run);
            syncCountedLists(*run);
        }
        updateCountsOfSelectedList(*run);
        applyOnMainThread(*run);
        run->busy.done();
        refresher_.polling_ = false;
        ++refresher_.polls_;
    });
}

void Poller::readUnreadCounters(Run& run)
{
    // The service's error object is a failed request too, not a set of zero counters.
    const auto unread = weibo::unreadOf(host_.weiboInstance()->statusUnread(weibo::SinaWeiboOptions()));
    weibo::noteOutcome(run.failure, unread.outcome);
    if (!unread.ok())
        return;
    run.counters = true;
    run.unreadComments = counter(unread.value->comments, run.comments);
    run.unreadMentions = counter(unread.value->mentions, run.atme);
    run.unreadMessages = counter(unread.value->dm, run.messages);
}

void Poller::fetchHomeTimeline(Run& run)
{
    if (run.kind != Kind::Timer)
        return;
    const auto turn = run.home->loader().turn();
    weibo::SinaWeiboOptions options;
    options.min_id_ = run.home->latestEntityId();
    const weibo::Reply<std::size_t> fetched = run.home->fetchDataWithOptions(options, PXListViewController::kModeNewer, true);
    weibo::noteOutcome(run.failure, fetched.outcome);
    run.h = fetched.value;
    run.homeCells = *run.home->dataOfCells();
    run.unreadHome = unreadAmongTop(run.homeCells, run.h);
}

void Poller::syncCountedLists(Run& run)
{
    {
        const auto fetched = refresher_.syncWithListViewController(run.comments, run.unreadComments, true);
        weibo::noteOutcome(run.failure, fetched.outcome);
        run.c2 = fetched.value;
        run.commentCells = *run.comments->dataOfCells();
    }
    {
        const auto fetched = refresher_.syncWithListViewController(run.atme, run.unreadMentions, true);
        weibo::noteOutcome(run.failure, fetched.outcome);
        run.m2 = fetched.value;
        run.mentionCells = *run.atme->dataOfCells();
    }
    {
        const auto fetched = run.messages->fetchMessagesWithUnread(run.unreadMessages, PXListViewController::kModeNewer);
        weibo::noteOutcome(run.failure, fetched.outcome);
        run.d2 = fetched.value;
        run.messageCells = *run.messages->receivedMessageCells();
    }
}

void Poller::updateCountsOfSelectedList(Run& run)
{
    PXListViewController* selected = nullptr;
    platform::dispatchMainSync([this, &selected] {
        if (!host_.isShuttingDown())
            selected = host_.selectedListViewController();
    });
    if (selected)
        selected->updateCommentRepostCounts();

    // The rows a reload of the selected list will show for the first time are measured in slices first.
    if (selected == run.home && run.h != 0)
        refresher_.prepareRowsForReload(run.home, topCells(run.homeCells, run.h));
    else if (selected == run.comments && run.c2 != 0)
        refresher_.prepareRowsForReload(run.comments, topCells(run.commentCells, run.c2));
    else if (selected == run.atme && run.m2 != 0)
        refresher_.prepareRowsForReload(run.atme, topCells(run.mentionCells, run.m2));
}

void Poller::applyOnMainThread(Run& run)
{
    ListRefresher::Announcements announcements;
    platform::dispatchMainSync([&] {
        if (host_.isShuttingDown())
            return;
        if (run.unreadHome != 0)
            run.home->setUnreadCount(run.home->unreadCount() + run.unreadHome);
        PXListViewController* c = host_.selectedListViewController();
        const bool conversations = c == run.messages;
        if (c && ((c == run.home && run.h != 0) || (c == run.comments && run.c2 != 0) ||
                  (c == run.atme && run.m2 != 0) || conversations)) {
            // Items go on top while the user reads further down: the rows in view stay where they are.
            if (c->scrollMode() != PXListViewController::kScrollBusy)
                c->setScrollMode(PXListViewController::kScrollHold);
            c->reloadData();
        }
        if (conversations) {
            refresher_.refreshOpenConversation(c, PXListViewController::kModeNewer);
            const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(host_.activeDataCell().get());
            if (group && group->unreadMessages() > 0)
                c->resetUnreadMessageCount();
        }
        host_.updateLeftTabs();
        run.busy.done();
        host_.showTransferOutcome(run.failure);

        // Chosen here, posted below: a hundred bus messages would hold the main thread for milliseconds.
        const bool timer = run.kind == Kind::Timer;
        announcements = refresher_.announcementsFor(run.home, run.homeCells, run.h);
        for (auto&& more : {refresher_.announcementsFor(run.comments, run.commentCells, timer ? run.c2 : run.unreadComments),
                            refresher_.announcementsFor(run.atme, run.mentionCells, timer ? run.m2 : run.unreadMentions),
                            refresher_.announcementsFor(run.messages, run.messageCells, timer ? run.d2 : run.unreadMessages)})
            announcements.insert(announcements.end(), more.begin(), more.end());
    });
    ListRefresher::post(announcements);
}
