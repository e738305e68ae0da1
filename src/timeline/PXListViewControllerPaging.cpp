// The page-wise lists (the comments of one status, favourites), the refresh of comment and repost counts, and the
// seam rows. Each page or seam is fetched in the list's turn and applied on the main thread while still current.
#include "timeline/PXListViewController.h"

#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/SeamCell.h"
#include "timeline/TimelineHost.h"
#include "widgets/PXListView.h"

#include <QPointer>

#include <algorithm>
#include <set>

void PXListViewController::reloadCommentPageData()
{
    if (!kind_.isCommentPages())
        return;
    // A page for another status (or another page of this one) asked for before is not applied any more.
    const std::uint64_t generation = loader_.renew();
    const std::uint64_t page = commentPage();
    const BusyText busy =
        host_ ? host_->displayBusy(QStringLiteral("正在载入此微博的评论第 %1 页...").arg(page)) : BusyText();
    setScrollMode(kScrollBusy);
    setDataOfCells(CellArray());
    if (PXListView* view = listView()) {
        view->reloadData();
        view->scrollToRow(0);
    }
    // The status whose comments are wanted; the user may open another one before the page arrives.
    const std::uint64_t statusId = host_ ? host_->activeEntityId() : 0;
    commentLoadFailedFor_ = 0;
    runInBackground([this, statusId, page, busy, generation]() mutable {
        const auto turn = loader_.turn();
        weibo::SinaWeiboOptions options;
        options.count_ = kCommentPageCount;
        options.page_ = int(page);
        const weibo::Reply<CellArray> cells = fetchCellsWithRequired(RequiredArguments{statusId}, options);
        const bool shown = loader_.applyOnMain(generation, [&] {
            busy.done();
            if (host_)
                host_->showTransferOutcome(cells.outcome);
            if (host_ && host_->activeEntityId() != statusId)
                return;
            store_.merge(cells.value, kModeInitial);
            reloadData();
            setScrollMode(kScrollIdle);
            if (host_)
                host_->displayCommentsFromDataCell(host_->activeDataCell(), statusId, false, false);
        });
        busy.done();
        // Only now, so that the drawer's own relayout above does not start the next try: a failed page is loaded
        // again the next time the drawer shows this status, or on 刷新.
        if (shown)
            commentLoadFailedFor_ = cells.ok() ? 0 : statusId;
    });
}

bool PXListViewController::commentsNeedReload(std::uint64_t statusId) const
{
    return statusId != 0 && commentLoadFailedFor_.load() == statusId;
}

void PXListViewController::reloadFavoritesPageData()
{
    if (!kind_.isFavouritePages())
        return;
    const std::uint64_t generation = loader_.renew();
    const std::uint64_t page = commentPage();
    const BusyText busy =
        host_ ? host_->displayBusy(QStringLiteral("正在加载我的收藏第 %1 页...").arg(page)) : BusyText();
    setScrollMode(kScrollBusy);
    runInBackground([this, page, busy, generation]() mutable {
        const auto turn = loader_.turn();
        weibo::SinaWeiboOptions options;
        options.page_ = int(page);
        const weibo::Reply<CellArray> cells = fetchCellsWithRequired(RequiredArguments(), options);
        loader_.applyOnMain(generation, [&] {
            busy.done();
            if (host_)
                host_->showTransferOutcome(cells.outcome);
            if (cells.value.empty()) {
                // Past the last page (or a failed request): the shown page stays, and so does its number.
                if (commentPage() == page)
                    setCommentPage(std::max<std::uint64_t>(1, page - 1));
            } else {
                setDataOfCells(CellArray());
                if (PXListView* view = listView())
                    view->reloadData();
                setDataOfCells(cellsByMergeNewCells(cells.value, CellArray(), kModeInitial));
            }
            reloadData();
            setScrollMode(kScrollIdle);
        });
        busy.done();
    });
}

std::uint64_t PXListViewController::commentTotalOfActiveStatus() const
{
    if (!host_)
        return 0;
    const auto* cell = dynamic_cast<const TimelineCellStatus*>(host_->activeDataCell().get());
    if (!cell || !cell->status())
        return 0;
    const std::uint64_t active = host_->activeEntityId();
    if (active == cell->status()->id)
        return cell->commentCount();
    if (cell->status()->retweeted_status && active == cell->status()->retweeted_status->id)
        return cell->originalCommentCount();
    return 0;
}

void PXListViewController::updateCommentRepostCounts()
{
    if (!kind_.statusCounts)
        return;
    // The rows are on screen: the counts are asked here, on whatever thread, and written on the main thread,
    // which draws them.
    const CellArrayPtr shown = dataOfCells();
    const weibo::WBCountTable counts = countsOfCells(*shown);
    if (counts.empty())
        return;
    QPointer<PXListViewController> self(this);
    auto apply = [self, shown, counts] {
        if (self && !self->destroying_)
            self->updateCells(*shown, counts);
    };
    if (platform::isMainThread())
        apply();
    else
        platform::dispatchMainSync(apply);
}

void PXListViewController::updateCommentRepostCountsWithinCells(const CellArray& cells)
{
    // Cells nobody shows yet (a page being parsed): written where they are.
    const weibo::WBCountTable counts = countsOfCells(cells);
    if (!counts.empty())
        updateCells(cells, counts);
}

weibo::WBCountTable PXListViewController::countsOfCells(const CellArray& cells)
{
    weibo::WBCountTable all;
    std::vector<std::uint64_t> ids;
    ids.reserve(kCountsBatch + 1);
    auto sendBatch = [&] {
        // An empty id list makes no request and gives an empty answer.
        // Counts that could not be had leave the shown ones as they are: nothing to tell the user.
        const weibo::Reply<weibo::WBCountTable> counts = weibo::countsOf(requestStatusCounts(ids));
        for (const auto& count : counts.value)
            all.insert(count);
        ids.clear();
    };
    // Only what a list can keep is asked for: a huge answer must not turn into hundreds of requests.
    const std::size_t n = std::min(cells.size(), kMaxCells);
    for (std::size_t i = 0; i < n; ++i) {
        const auto* statusCell = dynamic_cast<const TimelineCellStatus*>(cells[i].get());
        if (!statusCell || !statusCell->status())
            continue;
        ids.push_back(statusCell->status()->id);
        if (statusCell->status()->retweeted_status)
            ids.push_back(statusCell->status()->retweeted_status->id);
        if (ids.size() >= kCountsBatch)
            sendBatch();
    }
    sendBatch();
    return all;
}

weibo::Reply<std::string> PXListViewController::requestStatusCounts(const std::vector<std::uint64_t>& ids)
{
    return weiboInstance()->statusCounts(ids);
}

void PXListViewController::updateCells(const CellArray& cells, const weibo::WBCountTable& counts)
{
    auto clamp = [](int value) { return std::uint64_t(std::max(0, value)); };
    for (const CellPtr& cell : cells) {
        auto* statusCell = dynamic_cast<TimelineCellStatus*>(cell.get());
        if (!statusCell || !statusCell->status())
            continue;
        const auto own = counts.find(statusCell->status()->id);
        if (own == counts.end())
            continue;
        statusCell->setCommentCount(clamp((*own)->comments));
        statusCell->setRepostCount(clamp((*own)->rt));
        const auto& original = statusCell->status()->retweeted_status;
        if (!original)
            continue;
        const auto theirs = counts.find(original->id);
        if (theirs != counts.end()) {
            statusCell->setOriginalCommentCount(clamp((*theirs)->comments));
            statusCell->setOriginalRepostCount(clamp((*theirs)->rt));
        }
    }
}


void PXListViewController::loadItemsAtSeam(const CellPtr& seamCell)
{
    const auto seam = std::dynamic_pointer_cast<SeamCell>(seamCell);
    const FetchOperation operation = invocation();
    if (!seam || !operation || destroying_ || !seamsLoading_.insert(seam.get()).second)
        return;
    const BusyText busy = host_ ? host_->displayBusy(QStringLiteral("正在获取更多微博...")) : BusyText();
    const std::size_t shown = dataOfCells()->size();
    const std::uint64_t generation = loader_.generation();
    runInBackground([this, seam, operation, shown, busy, generation]() mutable {
        const auto turn = loader_.turn();
        // Newest first, from just below the oldest item of the load that stopped short down to the seam, in pages
        // of 100, while the list has room.
        const std::size_t room = kMaxCells - std::min(kMaxCells, shown > 0 ? shown - 1 : 0);
        weibo::SinaWeiboOptions options;
        options.count_ = kPageCount;
        options.since_id_ = seam->newerThan();
        options.max_id_ = seam->olderThan() - 1;
        CellArray loaded;
        weibo::TransferOutcome outcome;
        for (int page = 1; loaded.size() < room; ++page) {
            options.page_ = page;
            weibo::Reply<CellArray> cells = operation(RequiredArguments(), WeiboOptions(options));
            if (!cells.ok()) {
                outcome = cells.outcome;
                break;
            }
            if (cells.value.size() > std::size_t(kPageCount))
                cells.value.resize(kPageCount);
            loaded.insert(loaded.end(), cells.value.begin(), cells.value.end());
            if (cells.value.size() < std::size_t(kPageCount))
                break;
        }
        // A failed load leaves the seam where it is, to be tried again.
        const bool applied = loader_.applyOnMain(generation, [&] {
            busy.done();
            seamsLoading_.erase(seam.get());
            if (outcome.ok())
                store_.fillSeam(seam.get(), loaded, seam->newerThan());
            if (host_)
                host_->showTransferOutcome(outcome);
            reloadData();
        });
        busy.done();
        if (!applied)
            platform::dispatchMainAsync([this, seam, alive = lifetime()] {
                if (!alive.expired())
                    seamsLoading_.erase(seam.get());
            });
        ++seamLoads_;
    });
}
