// The list controller's entry points: its parts, the fetch (in the list's turn, applied on the main thread), the
// kinds' requests, parsing, fake cells, removal, the unread count and the presentation's calls.
#include "timeline/PXListViewController.h"

#include "cells/FailureText.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/ListPresenter.h"
#include "timeline/CellsOfAnswer.h"
#include "timeline/PageLoop.h"
#include "timeline/TimelineHost.h"
#include "timeline/TimelineRowView.h"
#include "widgets/PXListView.h"

#include <QGuiApplication>

#include <algorithm>

namespace {

// How many items a request asked for: its count, or a page of the service's own size (never more than 100).
std::size_t askedCount(const WeiboOptions& options)
{
    const weibo::SinaWeiboOptions* o = options.options();
    if (o && o->count_ && *o->count_ > 0)
        return std::size_t(*o->count_);
    return std::size_t(PXListViewController::kPageCount);
}

} // namespace

PXListViewController::PXListViewController(const QString& nibName, const QString& identifier,
                                           boost::shared_ptr<weibo::SinaWeibo> weiboInstance, TimelineHost* host,
                                           QObject* parent)
    : QObject(parent),
      nibName_(nibName),
      identifier_(identifier),
      kind_(listKind(identifier)),
      host_(host),
      weibo_(std::move(weiboInstance)),
      loader_(lifetime())
{
    presenter_ = std::make_unique<ListPresenter>(*this);
    if (kind_.request)
        invocation_ = [this](const RequiredArguments& required, const WeiboOptions& options) {
            // The comments of no status: there is nothing to ask for.
            const std::uint64_t first = required.empty() ? 0 : required.front();
            if (kind_.isCommentPages() && first == 0)
                return weibo::Reply<CellArray>(CellArray(), weibo::TransferOutcome());
            const auto client = this->weiboInstance();
            return parseResponse(kind_.request(*client, first, *options.options()), int(kind_.cells),
                                 askedCount(options));
        };
}

PXListViewController::~PXListViewController()
{
    // Loads started here run on a background thread and hand back to this thread; let them finish (their
    // main-thread part finds the loader shut down and does nothing) before the members they use go away.
    shutdown(60000);
    presenter_.reset();
}

bool PXListViewController::shutdown(int timeoutMs)
{
    destroying_ = true;
    loader_.shutdown();
    return background_.wait(timeoutMs);
}

void PXListViewController::runInBackground(std::function<void()> work)
{
    background_.dispatchGlobal(std::move(work));
}

boost::shared_ptr<weibo::SinaWeibo> PXListViewController::weiboInstance() const
{
    std::lock_guard<std::mutex> lock(weiboLock_);
    return weibo_;
}

void PXListViewController::setWeiboInstance(boost::shared_ptr<weibo::SinaWeibo> weiboInstance)
{
    std::lock_guard<std::mutex> lock(weiboLock_);
    weibo_ = std::move(weiboInstance);
}

QString PXListViewController::rowNibName() const { return ListPresenter::rowNibNameFor(kind_); }
PXListView* PXListViewController::listView() const { return presenter_ ? presenter_->listView() : nullptr; }
TimelineRowView* PXListViewController::dummyCell() const { return presenter_->dummyCell(); }
double PXListViewController::kMinHeightOfCell() const { return presenter_->minHeightOfRow(); }
double PXListViewController::kSpaceHeightOfCell() const { return presenter_->spaceHeightOfRow(); }

// ---------------------------------------------------------------------------------------------------------------
// Fetching

PXListViewController::FetchOperation PXListViewController::invocation() const
{
    std::lock_guard<std::mutex> lock(invocationLock_);
    return invocation_;
}

void PXListViewController::setInvocation(FetchOperation operation)
{
    std::lock_guard<std::mutex> lock(invocationLock_);
    invocation_ = std::move(operation);
}

weibo::Reply<std::size_t> PXListViewController::fetchDataWithOptions(const weibo::SinaWeiboOptions& options,
                                                                     int mode, bool background)
{
    return fetchDataWithRequired(RequiredArguments(), options, mode, background);
}

weibo::Reply<std::size_t> PXListViewController::fetchDataWithRequired(const RequiredArguments& required,
                                                                      const weibo::SinaWeiboOptions& options,
                                                                      int mode, bool /*background*/)
{
    const std::uint64_t generation = loader_.generation();
    const auto turn = loader_.turn();
    bool gap = false;
    const weibo::Reply<CellArray> fetched = fetchPagesWithOperation(invocation(), required, options, &gap);
    const std::uint64_t seam = gap && mode == kModeNewer && options.min_id_ ? *options.min_id_ : 0;
    applyMerge(generation, fetched.value, mode, seam);
    return fetched.with(fetched.value.size());
}

bool PXListViewController::applyMerge(std::uint64_t generation, const CellArray& newCells, int mode,
                                      std::uint64_t seamNewerThan, ListStore::Array which)
{
    return loader_.applyOnMain(generation, [&] { store_.merge(newCells, mode, which, seamNewerThan); });
}

weibo::Reply<CellArray> PXListViewController::fetchCellsWithRequired(const RequiredArguments& required,
                                                                     const weibo::SinaWeiboOptions& options)
{
    return fetchPagesWithOperation(invocation(), required, options);
}

weibo::Reply<CellArray> PXListViewController::fetchPagesWithOperation(const FetchOperation& operation,
                                                                      const RequiredArguments& required,
                                                                      const weibo::SinaWeiboOptions& options,
                                                                      bool* gap)
{
    return pageloop::fetchPages(operation, required, options, gap);
}

weibo::Reply<CellArray> PXListViewController::cellsOfRequest(
    weibo::Reply<std::string> (weibo::SinaWeibo::*request)(const weibo::SinaWeiboOptions&), int cellType,
    const WeiboOptions& options)
{
    return parseResponse(((*weiboInstance()).*request)(*options.options()), cellType, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::timelineFriendsWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::timelineFriends, kCellTypeStatus, options);
}
weibo::Reply<CellArray> PXListViewController::timelineUserWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::timelineUser, kCellTypeStatus, options);
}
weibo::Reply<CellArray> PXListViewController::timelineMentionsWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::timelineMentions, kCellTypeStatus, options);
}
weibo::Reply<CellArray> PXListViewController::timelineCommentsToMeWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::timelineCommentsToMe, kCellTypeComment, options);
}
weibo::Reply<CellArray> PXListViewController::timelineCommentsByMeWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::timelineCommentsByMe, kCellTypeComment, options);
}
weibo::Reply<CellArray> PXListViewController::timelineCommentsWithRequired(const RequiredArguments& required,
                                                                           const WeiboOptions& options)
{
    if (required.empty() || required.front() == 0)
        return weibo::Reply<CellArray>(CellArray(), weibo::TransferOutcome());
    return parseResponse(weiboInstance()->timelineComments(required.front(), *options.options()), kCellTypeComment,
                         askedCount(options));
}
weibo::Reply<CellArray> PXListViewController::favoritesWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::favorites, kCellTypeFavorite, options);
}
weibo::Reply<CellArray> PXListViewController::receivedMessagesWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::directMessages, kCellTypeMessage, options);
}
weibo::Reply<CellArray> PXListViewController::sentMessagesWithOptions(const WeiboOptions& options)
{
    return cellsOfRequest(&weibo::SinaWeibo::directMessagesSent, kCellTypeMessage, options);
}

// ---------------------------------------------------------------------------------------------------------------
// Parsing

weibo::Reply<CellArray> PXListViewController::parseResponse(const weibo::Reply<std::string>& response, int cellType,
                                                            std::size_t limit)
{
    // Message cells belong to the list of the open conversation, where they are shown as bubbles.
    CellListController* owner = cellType == kCellTypeMessage ? (host_ ? host_->chatListViewController() : nullptr)
                                                              : static_cast<CellListController*>(this);
    weibo::Reply<CellArray> made = cellsOfAnswer(response, cellType, limit, owner);
    if ((cellType == kCellTypeStatus || cellType == kCellTypeFavorite) && !made.value.empty())
        updateCommentRepostCountsWithinCells(made.value);
    return made;
}

// ---------------------------------------------------------------------------------------------------------------
// Merge, bounds, fake cells and removal

CellArray PXListViewController::cellsByMergeNewCells(const CellArray& newCells, const CellArray& oldCells, int mode)
{
    liststore::Merged merged = liststore::mergeCells(newCells, oldCells, mode, store_.fakeCells());
    store_.setFakeCells(std::move(merged.fakes));
    return std::move(merged.cells);  // a member is not moved by itself: without this the whole list is copied
}

std::uint64_t PXListViewController::earliestEntityIdOnCells(const CellArray& cells) const
{
    return liststore::earliestEntityId(cells, store_.fakeCells());
}

std::uint64_t PXListViewController::latestEntityIdOnCells(const CellArray& cells) const
{
    return liststore::latestEntityId(cells, store_.fakeCells());
}

void PXListViewController::addFakeCell(const CellPtr& cell) { addFakeCell(cell, dataOfCells()); }

void PXListViewController::addFakeCell(const CellPtr& cell, const CellArrayPtr& cells)
{
    // A locally made item is the user's own doing (a post, a repost, a favourite, a message sent): it is never
    // unread news, so the unread count stays as it is.
    ListStore::Array which;
    if (cell && store_.holds(cells, which) && which != ListStore::Array::Received)
        store_.addFake(cell, which);
}

void PXListViewController::removeCells(const std::set<std::uint64_t>& ids) { store_.remove(ids); }

void PXListViewController::removeCellsIn(const std::set<std::uint64_t>& ids, const CellArrayPtr& cells)
{
    ListStore::Array which;
    if (store_.holds(cells, which))
        store_.remove(ids, which);
}

// ---------------------------------------------------------------------------------------------------------------
// Unread count and favourite flag

void PXListViewController::checkUnread() { presenter_->checkUnread(); }

void PXListViewController::resetUnreadCount()
{
    // The conversations reset theirs one conversation at a time (resetUnreadMessageCount).
    if (!kind_.isConversations())
        resetServiceCount(kind_.resetCountType);
}

void PXListViewController::resetUnreadMessageCount()
{
    if (kind_.isConversations())
        resetServiceCount(3);
}

void PXListViewController::resetServiceCount(int type)
{
    const auto client = weiboInstance();
    if (type == 0 || !client)
        return;
    // The answer is ignored (the counter is the service's own), so the main thread need not wait for it.
    auto reset = [client, type] {
        logFailure(QStringLiteral("reset count"), weibo::outcomeOf(client->statusResetCount(type)));
    };
    if (platform::isMainThread())
        runInBackground(reset);
    else
        reset();
}

int PXListViewController::findMsgGroupBySenderId(const std::vector<MessageCellArray>& groups, std::uint64_t userId)
{
    return messagegrouping::findBySender(groups, userId);
}

int PXListViewController::findMsgGroupByRecipientId(const std::vector<MessageCellArray>& groups,
                                                     std::uint64_t userId)
{
    return messagegrouping::findByRecipient(groups, userId);
}

void PXListViewController::updateCell(std::uint64_t statusId, bool favorited)
{
    if (!kind_.favouriteFlags)
        return;
    for (const CellPtr& cell : *dataOfCells()) {
        if (cell->entityId() != statusId)
            continue;
        if (auto* status = dynamic_cast<TimelineCellStatus*>(cell.get()))
            if (status->status())
                status->status()->favorited = favorited;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Presentation: the presenter's

int PXListViewController::numberOfRowsInListView(PXListView*) { return presenter_->numberOfRows(); }
double PXListViewController::listViewHeightOfRow(PXListView*, int row) { return presenter_->heightOfRow(row); }
PXListViewCell* PXListViewController::listViewCellForRow(PXListView*, int row) { return presenter_->cellForRow(row); }
void PXListViewController::listViewSelectionDidChange(PXListView*) { presenter_->selectionDidChange(); }
void PXListViewController::listViewDidEndLiveResize(PXListView*) { reloadData(); }
QString PXListViewController::listViewAccessibleTextOfRow(PXListView*, int row) { return presenter_->accessibleTextOfRow(row); }
QStringList PXListViewController::listViewAccessibleActionsOfRow(PXListView*, int row) { return presenter_->accessibleActionsOfRow(row); }
void PXListViewController::listViewPerformAccessibleAction(PXListView*, int row, const QString& action)
{
    presenter_->performAccessibleAction(row, action);
}

void PXListViewController::reloadData()
{
    if (!destroying_)
        presenter_->reloadData();
}

double PXListViewController::cellWidth() const { return presenter_->cellWidth(); }
void PXListViewController::setCellWidth(double width) { presenter_->setCellWidth(width); }
void PXListViewController::beginImageLoad() { presenter_->beginImageLoad(); }
void PXListViewController::defferedReloadData()
{
    if (!destroying_)
        presenter_->defferedReloadData();
}
void PXListViewController::reloadIfCellVisible(const TimelineCellBase& cell) { presenter_->reloadIfCellVisible(cell); }
std::uint64_t PXListViewController::countdownToReloadData() const { return presenter_->countdownToReloadData(); }
void PXListViewController::setScrollMode(std::uint64_t mode) { presenter_->setScrollMode(mode); }
std::uint64_t PXListViewController::scrollMode() const { return presenter_->scrollMode(); }
double PXListViewController::belowFixedHeight() const { return presenter_->belowFixedHeight(); }
void PXListViewController::setCallbackTarget(QObject* target) { presenter_->callback().target = target; }
void PXListViewController::setCallbackSelector(CallbackSelector selector)
{
    presenter_->callback().selector = std::move(selector);
}
void PXListViewController::setCallbackObject(const QVariant& object) { presenter_->callback().object = object; }
bool PXListViewController::hasCallback() const { return presenter_->callback().armed(); }
void PXListViewController::checkScrollerBound() { presenter_->checkScrollerBound(); }
void PXListViewController::drawScroller() { presenter_->drawScroller(); }

bool PXListViewController::isLeftMouseButtonDown() const
{
    return QGuiApplication::mouseButtons() & Qt::LeftButton;
}

void PXListViewController::reloadPreappendData() { presenter_->reloadPreappendData(); }
