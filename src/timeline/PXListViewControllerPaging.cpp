// The page-wise lists (the comments of one status, favourites), the refresh of comment and repost counts, and the
// seam rows. Each page or seam is fetched in the list's turn and applied on the main thread while still current.
#include "timeline/PXListViewController.h"

#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/PageLoop.h"
#include "timeline/SeamCell.h"
#include "timeline/StatusCounts.h"
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
    return host_ ? statuscounts::commentTotalOf(host_->activeDataCell(), host_->activeEntityId()) : 0;
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
    return statuscounts::gather(cells, kMaxCells, kCountsBatch,
                                [this](const std::vector<std::uint64_t>& ids) { return requestStatusCounts(ids); });
}

weibo::Reply<std::string> PXListViewController::requestStatusCounts(const std::vector<std::uint64_t>& ids)
{
    return weiboInstance()->statusCounts(ids);
}

void PXListViewController::updateCells(const CellArray& cells, const weibo::WBCountTable& counts)
{
    statuscounts::apply(cells, counts);
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
        const std::size_t room = kMaxCells - std::min(kMaxCells, shown > 0 ? shown - 1 : 0);
        const weibo::Reply<CellArray> loaded =
            pageloop::fetchBetween(operation, seam->newerThan(), seam->olderThan(), room);
        // A failed load leaves the seam where it is, to be tried again.
        const bool applied = loader_.applyOnMain(generation, [&] {
            busy.done();
            seamsLoading_.erase(seam.get());
            if (loaded.ok())
                store_.fillSeam(seam.get(), loaded.value, seam->newerThan());
            if (host_)
                host_->showTransferOutcome(loaded.outcome);
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
