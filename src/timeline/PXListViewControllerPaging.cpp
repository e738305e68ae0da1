// The page-wise lists (the comments of one status, favourites) and the refresh of comment and repost counts.
#include "timeline/PXListViewController.h"

#include "cells/TimelineCellStatus.h"
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
    if (host_)
        host_->displayBusy(QStringLiteral("正在载入此微博的评论第 %1 页...").arg(page));
    setScrollMode(kScrollBusy);
    setDataOfCells(CellArray());
    if (listView_) {
        listView_->reloadData();
        listView_->scrollToRow(0);
    }
    // The status whose comments are wanted; the user may open another one before the page arrives.
    const std::uint64_t statusId = host_ ? host_->activeEntityId() : 0;
    runInBackground([this, statusId, page] {
        weibo::SinaWeiboOptions options;
        options.count_ = kCommentPageCount;
        options.page_ = int(page);
        fetchDataWithRequired(RequiredArguments{statusId}, options, kModeInitial, true);
        platform::dispatchMainSync([this, statusId] {
            if (destroying_)
                return;
            if (host_)
                host_->displayBusy(QString());
            if (host_ && host_->activeEntityId() != statusId)
                return;
            reloadData();
            setScrollMode(kScrollIdle);
            if (host_)
                host_->displayCommentsFromDataCell(host_->activeDataCell(), statusId, false, false);
        });
    });
}

void PXListViewController::reloadFavoritesPageData()
{
    if (!isKind(weibo::WEIBO_API_FAVORITES))
        return;
    const std::uint64_t page = commentPage();
    if (host_)
        host_->displayBusy(QStringLiteral("正在加载我的收藏第 %1 页...").arg(page));
    setScrollMode(kScrollBusy);
    runInBackground([this, page] {
        weibo::SinaWeiboOptions options;
        options.page_ = int(page);
        const CellArray cells = fetchCellsWithRequired(RequiredArguments(), options);
        platform::dispatchMainSync([this, cells, page] {
            if (destroying_)
                return;
            if (cells.empty()) {
                // Past the last page (or a failed request): the shown page stays, and so does its number.
                if (commentPage() == page)
                    setCommentPage(std::max<std::uint64_t>(1, page - 1));
            } else {
                setDataOfCells(CellArray());
                if (listView_)
                    listView_->reloadData();
                setDataOfCells(cellsByMergeNewCells(cells, CellArray(), kModeInitial));
            }
            reloadData();
            setScrollMode(kScrollIdle);
            if (host_)
                host_->displayBusy(QString());
        });
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
        const weibo::WBCountTable counts = weibo::parseCounts(requestStatusCounts(ids));
        for (const auto& count : counts)
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

std::string PXListViewController::requestStatusCounts(const std::vector<std::uint64_t>& ids)
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
    if (host_)
        host_->displayBusy(QStringLiteral("正在获取更多微博..."));
    const std::size_t shown = dataOfCells()->size();
    QPointer<PXListViewController> self(this);
    runInBackground([this, self, seam, operation, shown] {
        weibo::TransferWatch watch;
        // Newest first, from just below the oldest item of the load that stopped short down to the seam, in pages
        // of 100, while the list has room.
        const std::size_t room = kMaxCells - std::min(kMaxCells, shown > 0 ? shown - 1 : 0);
        weibo::SinaWeiboOptions options;
        options.count_ = kPageCount;
        options.since_id_ = seam->newerThan();
        options.max_id_ = seam->olderThan() - 1;
        CellArray loaded;
        for (int page = 1; loaded.size() < room; ++page) {
            options.page_ = page;
            const CellArray cells = operation(RequiredArguments(), WeiboOptions(options));
            loaded.insert(loaded.end(), cells.begin(), cells.end());
            if (cells.size() < std::size_t(kPageCount))
                break;
        }
        const bool failed = watch.failed();
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
        platform::dispatchMainSync([self] {
            if (!self || self->destroying_)
                return;
            self->reloadData();
            if (self->host_)
                self->host_->displayBusy(QString());
        });
        ++seamLoads_;
    });
}
