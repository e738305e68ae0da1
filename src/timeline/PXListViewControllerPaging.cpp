// The page-wise lists (the comments of one status, favourites) and the refresh of comment and repost counts.
#include "timeline/PXListViewController.h"

#include "cells/TimelineCellStatus.h"
#include "platform/Dispatch.h"
#include "timeline/TimelineHost.h"
#include "widgets/PXListView.h"

#include <algorithm>

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
    updateCommentRepostCountsWithinCells(*dataOfCells());
}

void PXListViewController::updateCommentRepostCountsWithinCells(const CellArray& cells)
{
    std::vector<std::uint64_t> ids;
    ids.reserve(kCountsBatch + 1);
    auto sendBatch = [&] {
        // An empty id list makes no request and gives an empty answer.
        const weibo::WBCountTable counts = weibo::parseCounts(requestStatusCounts(ids));
        if (!counts.empty())
            updateCells(cells, counts);
        ids.clear();
    };
    for (const CellPtr& cell : cells) {
        const auto* statusCell = dynamic_cast<const TimelineCellStatus*>(cell.get());
        if (!statusCell || !statusCell->status())
            continue;
        ids.push_back(statusCell->status()->id);
        if (statusCell->status()->retweeted_status)
            ids.push_back(statusCell->status()->retweeted_status->id);
        if (ids.size() >= kCountsBatch)
            sendBatch();
    }
    sendBatch();
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
