// The page-wise lists (the comments of one status, favourites) and the refresh of comment and repost counts.
#include "timeline/PXListViewController.h"

#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/SeamCell.h"
#include "timeline/TimelineHost.h"
#include "widgets/PXListView.h"

#include <algorithm>
#include <set>

void PXListViewController::reloadCommentPageData()
{
    if (!isKind(weibo::WEIBO_API_TIMELINE_COMMENTS))
        return;
    const std::uint64_t page = commentPage();
    const BusyText busy =
        host_ ? host_->displayBusy(QStringLiteral("正在载入此微博的评论第 %1 页...").arg(page)) : BusyText();
    setScrollMode(kScrollBusy);
    setDataOfCells(CellArray());
    if (listView_) {
        listView_->reloadData();
        listView_->scrollToRow(0);
    }
    // The status whose comments are wanted; the user may open another one before the page arrives.
    const std::uint64_t statusId = host_ ? host_->activeEntityId() : 0;
    commentLoadFailedFor_ = 0;
    runInBackground([this, statusId, page, busy]() mutable {
        weibo::SinaWeiboOptions options;
        options.count_ = kCommentPageCount;
        options.page_ = int(page);
        const weibo::TransferOutcome outcome =
            fetchDataWithRequired(RequiredArguments{statusId}, options, kModeInitial, true).outcome;
        platform::dispatchMainSync([this, statusId, outcome, &busy] {
            busy.done();
            if (destroying_)
                return;
            if (host_)
                host_->showTransferOutcome(outcome);
            if (host_ && host_->activeEntityId() != statusId)
                return;
            reloadData();
            setScrollMode(kScrollIdle);
            if (host_)
                host_->displayCommentsFromDataCell(host_->activeDataCell(), statusId, false, false);
        });
        busy.done();
        // Only now, so that the drawer's own relayout above does not start the next try: a failed page is loaded
        // again the next time the drawer shows this status, or on 刷新.
        commentLoadFailedFor_ = outcome.ok() ? 0 : statusId;
    });
}

bool PXListViewController::commentsNeedReload(std::uint64_t statusId) const
{
    return statusId != 0 && commentLoadFailedFor_.load() == statusId;
}

void PXListViewController::reloadFavoritesPageData()
{
    if (!isKind(weibo::WEIBO_API_FAVORITES))
        return;
    const std::uint64_t page = commentPage();
    const BusyText busy =
        host_ ? host_->displayBusy(QStringLiteral("正在加载我的收藏第 %1 页...").arg(page)) : BusyText();
    setScrollMode(kScrollBusy);
    runInBackground([this, page, busy]() mutable {
        weibo::SinaWeiboOptions options;
        options.page_ = int(page);
        const weibo::Reply<CellArray> cells = fetchCellsWithRequired(RequiredArguments(), options);
        platform::dispatchMainSync([this, cells, page, &busy] {
            busy.done();
            if (destroying_)
                return;
            if (host_)
                host_->showTransferOutcome(cells.outcome);
            if (cells.value.empty()) {
                // Past the last page (or a failed request): the shown page stays, and so does its number.
                if (commentPage() == page)
                    setCommentPage(std::max<std::uint64_t>(1, page - 1));
            } else {
                setDataOfCells(CellArray());
                if (listView_)
                    listView_->reloadData();
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
    if (!isKind(weibo::WEIBO_API_TIMELINE_FRIENDS) && !isKind(weibo::WEIBO_API_TIMELINE_USER) &&
        !isKind(weibo::WEIBO_API_TIMELINE_MENTIONS) && !isKind(weibo::WEIBO_API_FAVORITES))
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
    if (!seam || !operation || destroying_)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(cellsLock_);
        if (!seamsLoading_.insert(seam.get()).second)
            return;
    }
    const BusyText busy = host_ ? host_->displayBusy(QStringLiteral("正在获取更多微博...")) : BusyText();
    const std::size_t shown = dataOfCells()->size();
    QPointer<PXListViewController> self(this);
    runInBackground([this, self, seam, operation, shown, busy]() mutable {
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
        const bool failed = !outcome.ok();
        {
            std::lock_guard<std::recursive_mutex> lock(cellsLock_);
            const CellArray now = *dataOfCells_;
            const int row = rowForCell(seam.get(), now);
            if (row >= 0 && !failed) {
                // Nothing is shown twice: items that came meanwhile (or twice across pages) are skipped.
                std::set<std::uint64_t> ids;
                for (const CellPtr& cell : now)
                    ids.insert(cell->entityId());
                CellArray result(now.begin(), now.begin() + row);
                for (const CellPtr& cell : loaded)
                    if (cell && cell->entityId() > seam->newerThan() && ids.insert(cell->entityId()).second)
                        result.push_back(cell);
                result.insert(result.end(), now.begin() + row + 1, now.end());
                if (result.size() > kMaxCells)
                    result.resize(kMaxCells);
                dataOfCells_ = std::make_shared<const CellArray>(std::move(result));
            }
            seamsLoading_.erase(seam.get());
        }
        platform::dispatchMainSync([self, outcome, &busy] {
            busy.done();
            if (!self || self->destroying_)
                return;
            if (self->host_)
                self->host_->showTransferOutcome(outcome);
            self->reloadData();
        });
        busy.done();
        ++seamLoads_;
    });
}
