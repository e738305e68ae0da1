// The list controller's fetch engine: kinds, the stored fetch operation, the paging loop, parsing, the merge,
// fake cells, removal, id bounds and the unread count.
#include "timeline/PXListViewController.h"

#include "cells/FailureText.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/ChatCell.h"
#include "timeline/SeamCell.h"
#include "timeline/MessageGroupCell.h"
#include "timeline/RelativeTimeRefresher.h"
#include "timeline/TimelineCell.h"
#include "timeline/TimelineHost.h"
#include "timeline/TimelineRowView.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <typeindex>
#include <unordered_set>

namespace {

// The row view of a kind: conversations and chats have their own, every other list shows status rows.
QString rowNibNameForKind(const std::string& kind)
{
    if (kind == weibo::WEIBO_API_MESSAGE)
        return QString::fromLatin1(MessageGroupCell::kIdentifier);
    if (kind == weibo::WEIBO_API_MESSAGE_CHAT)
        return QString::fromLatin1(ChatCell::kIdentifier);
    return QString::fromLatin1(TimelineCell::kIdentifier);
}

// Equality of cells is "same class, same entity id"; this is its hashable form.
struct CellKey {
    std::type_index type;
    std::uint64_t id;
    bool operator==(const CellKey& other) const { return type == other.type && id == other.id; }
};

struct CellKeyHash {
    std::size_t operator()(const CellKey& key) const
    {
        return key.type.hash_code() ^ (std::hash<std::uint64_t>()(key.id) * 0x9E3779B97F4A7C15ull);
    }
};

CellKey keyOf(const TimelineCellBase& cell) { return CellKey{std::type_index(typeid(cell)), cell.entityId()}; }

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
      kind_(identifier.toStdString()),
      rowNibName_(rowNibNameForKind(kind_)),
      host_(host),
      weibo_(std::move(weiboInstance)),
      dataOfCells_(std::make_shared<const CellArray>()),
      receivedMessageCells_(std::make_shared<const CellArray>()),
      sentMessageCells_(std::make_shared<const CellArray>())
{
    // The row view of the kind gives the row height constants: its design height is the least a row takes,
    // and what the design leaves around the text view is added to every text height.
    dummyCell_ = TimelineRowView::create(rowNibName_);
    const double frameHeight = dummyCell_->designSize().height();
    const double textHeight = dummyCell_->textView()->height();
    kMinHeightOfCell_ = frameHeight;
    kSpaceHeightOfCell_ = frameHeight - textHeight + 2;
    if (rowNibName_ == QLatin1String(ChatCell::kIdentifier))
        kSpaceHeightOfCell_ += 2 * dummyCell_->textView()->textContainerInset().height();

    auto optionsOnly = [this](weibo::Reply<CellArray> (PXListViewController::*operation)(const WeiboOptions&)) {
        return FetchOperation([this, operation](const RequiredArguments&, const WeiboOptions& options) {
            return (this->*operation)(options);
        });
    };
    if (isKind(weibo::WEIBO_API_TIMELINE_FRIENDS))
        invocation_ = optionsOnly(&PXListViewController::timelineFriendsWithOptions);
    else if (isKind(weibo::WEIBO_API_TIMELINE_USER))
        invocation_ = optionsOnly(&PXListViewController::timelineUserWithOptions);
    else if (isKind(weibo::WEIBO_API_TIMELINE_MENTIONS))
        invocation_ = optionsOnly(&PXListViewController::timelineMentionsWithOptions);
    else if (isKind(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME))
        invocation_ = optionsOnly(&PXListViewController::timelineCommentsToMeWithOptions);
    else if (isKind(weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME))
        invocation_ = optionsOnly(&PXListViewController::timelineCommentsByMeWithOptions);
    else if (isKind(weibo::WEIBO_API_TIMELINE_COMMENTS))
        invocation_ = [this](const RequiredArguments& required, const WeiboOptions& options) {
            return timelineCommentsWithRequired(required, options);
        };
    else if (isKind(weibo::WEIBO_API_FAVORITES))
        invocation_ = optionsOnly(&PXListViewController::favoritesWithOptions);

    listView_ = new PXListView;
    listView_->setDelegate(this);
    installScrollHook();
    new RelativeTimeRefresher(listView_);
}

PXListViewController::~PXListViewController()
{
    destroying_ = true;
    // Page loads started here run on a background thread and hand back to this thread; let them finish (their
    // main-thread part sees destroying_ and does nothing) before the members they use go away.
    background_.wait();
    uninstallScrollHook();
    if (listView_) {
        listView_->setDelegate(nullptr);
        if (!listView_->parent())
            delete listView_.data();
    }
    delete dummyCell_;
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

PXListView* PXListViewController::listView() const { return listView_.data(); }

// ---------------------------------------------------------------------------------------------------------------
// Arrays

PXListViewController::CellArrayPtr PXListViewController::dataOfCells() const
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    return dataOfCells_;
}

void PXListViewController::setDataOfCells(CellArray cells)
{
    auto replacement = std::make_shared<const CellArray>(std::move(cells));
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    dataOfCells_ = std::move(replacement);
}

PXListViewController::CellArrayPtr PXListViewController::receivedMessageCells() const
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    return receivedMessageCells_;
}

void PXListViewController::setReceivedMessageCells(CellArray cells)
{
    auto replacement = std::make_shared<const CellArray>(std::move(cells));
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    receivedMessageCells_ = std::move(replacement);
}

PXListViewController::CellArrayPtr PXListViewController::sentMessageCells() const
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    return sentMessageCells_;
}

void PXListViewController::setSentMessageCells(CellArray cells)
{
    auto replacement = std::make_shared<const CellArray>(std::move(cells));
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    sentMessageCells_ = std::move(replacement);
}

CellArray PXListViewController::fakeCells() const
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    return fakeCells_;
}

// The field that holds this very array, or none for an array that is none of them (or no longer one).
PXListViewController::CellArrayPtr* PXListViewController::arrayFor(const CellArrayPtr& cells)
{
    if (!cells)
        return nullptr;
    for (CellArrayPtr* field : {&dataOfCells_, &sentMessageCells_, &receivedMessageCells_})
        if (*field == cells)
            return field;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Fetching

PXListViewController::FetchOperation PXListViewController::invocation() const
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    return invocation_;
}

void PXListViewController::setInvocation(FetchOperation operation)
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
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
    bool gap = false;
    const weibo::Reply<CellArray> fetched = fetchPagesWithOperation(invocation(), required, options, &gap);
    const CellArray& newCells = fetched.value;
    // Two fetches of one list may overlap (a poll and a manual refresh); each merges into what the other
    // stored, never into a stale copy.
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    const CellArrayPtr old = dataOfCells_;
    CellArray merged = cellsByMergeNewCells(newCells, *old, mode);
    if (gap && mode == kModeNewer && options.min_id_ && *options.min_id_ != 0)
        insertSeam(merged, newCells, *options.min_id_);
    dataOfCells_ = std::make_shared<const CellArray>(std::move(merged));
    return fetched.with(newCells.size());
}

void PXListViewController::insertSeam(CellArray& merged, const CellArray& newCells, std::uint64_t newerThan)
{
    // Below the last fetched cell, when older items of the list follow it: that is where items may be missing.
    std::unordered_set<const TimelineCellBase*> fetched;
    for (const CellPtr& cell : newCells)
        fetched.insert(cell.get());
    std::size_t below = 0;
    for (std::size_t row = 0; row < merged.size(); ++row)
        if (fetched.count(merged[row].get()))
            below = row + 1;
    const std::uint64_t olderThan = earliestEntityIdOnCells(newCells);
    if (below == 0 || below >= merged.size() || olderThan == 0)
        return;
    merged.insert(merged.begin() + std::ptrdiff_t(below), std::make_shared<SeamCell>(newerThan, olderThan));
    if (merged.size() > kMaxCells)
        merged.resize(kMaxCells);
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
    if (gap)
        *gap = false;
    CellArray result;
    if (!operation)
        return weibo::Reply<CellArray>(result, weibo::TransferOutcome());

    WeiboOptions current(options);
    weibo::SinaWeiboOptions paged = options;
    weibo::TransferOutcome outcome;
    // Items that move between two page requests (new ones pushed in on top) would come twice.
    std::unordered_set<CellKey, CellKeyHash> seen;
    // What one page brought (its own count, before anything was left out); 0 for a failed page, which ends the
    // loop with its outcome, and for a page with nothing new: a service that sends the same full page again and
    // again must not be asked for ever.
    auto requestPage = [&](int page, std::size_t asked) -> std::size_t {
        paged.page_ = page;
        current.setOptions(&paged);
        weibo::Reply<CellArray> cells = operation(required, current);
        if (!cells.ok()) {
            outcome = cells.outcome;
            return 0;
        }
        const std::size_t brought = cells.value.size();
        const std::size_t had = result.size();
        // A page never adds more than it asked for, newest first: a flood of thousands must not fill memory.
        if (cells.value.size() > asked)
            cells.value.resize(asked);
        for (CellPtr& cell : cells.value) {
            // Newer items are newer than what is shown: an older one on top would move the poll's bound back.
            if (options.min_id_ && cell && cell->entityId() <= *options.min_id_)
                continue;
            if (cell && seen.insert(keyOf(*cell)).second)
                result.push_back(std::move(cell));
        }
        return result.size() == had && page > 1 ? 0 : brought;
    };

    if (options.min_id_) {
        paged.count_ = kPageCount;
        paged.since_id_ = *options.min_id_;
        for (int page = 1;; ++page) {
            const std::size_t brought = requestPage(page, kPageCount);
            if (!outcome.ok() && !result.empty() && gap)
                *gap = true;  // pages before the failed one came: items below them may be missing
            if (brought == 0 || brought != std::size_t(kPageCount))
                break;
            if (result.size() >= std::size_t(kPageCount)) {
                // Stopped by the limit, not by the service running out of newer items.
                if (gap)
                    *gap = true;
                break;
            }
        }
    } else if (options.count_ && *options.count_ > kPageCount) {
        // More than one request can bring: pages of 100 from the newest, until the count is reached, a page is
        // not full, or the list's cap is reached.
        const std::size_t wanted = std::min<std::size_t>(std::size_t(*options.count_), kMaxCells);
        const int pages = int((wanted + kPageCount - 1) / kPageCount);
        paged.count_ = kPageCount;
        for (int page = 1; page <= pages; ++page) {
            const std::size_t brought = requestPage(page, kPageCount);
            if (brought < std::size_t(kPageCount) || result.size() >= wanted)
                break;
        }
        if (result.size() > wanted)
            result.resize(wanted);
    } else {
        // One request as given: it asked for count_ items, or a page of the service's own size.
        const std::size_t asked = options.count_ && *options.count_ > 0 ? std::size_t(*options.count_)
                                                                         : std::size_t(kPageCount);
        weibo::Reply<CellArray> cells = operation(required, current);
        outcome = cells.outcome;
        result = std::move(cells.value);
        result.erase(std::remove(result.begin(), result.end(), nullptr), result.end());
        if (result.size() > asked)
            result.resize(asked);
    }
    return weibo::Reply<CellArray>(std::move(result), outcome);
}

weibo::Reply<CellArray> PXListViewController::timelineFriendsWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->timelineFriends(*options.options()), kCellTypeStatus, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::timelineUserWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->timelineUser(*options.options()), kCellTypeStatus, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::timelineMentionsWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->timelineMentions(*options.options()), kCellTypeStatus, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::timelineCommentsToMeWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->timelineCommentsToMe(*options.options()), kCellTypeComment, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::timelineCommentsByMeWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->timelineCommentsByMe(*options.options()), kCellTypeComment, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::timelineCommentsWithRequired(const RequiredArguments& required,
                                                                           const WeiboOptions& options)
{
    // The comments of no status: there is nothing to ask for.
    if (required.empty() || required.front() == 0)
        return weibo::Reply<CellArray>(CellArray(), weibo::TransferOutcome());
    return parseResponse(weiboInstance()->timelineComments(required.front(), *options.options()),
                         kCellTypeComment, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::favoritesWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->favorites(*options.options()), kCellTypeFavorite, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::receivedMessagesWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->directMessages(*options.options()), kCellTypeMessage, askedCount(options));
}

weibo::Reply<CellArray> PXListViewController::sentMessagesWithOptions(const WeiboOptions& options)
{
    return parseResponse(weiboInstance()->directMessagesSent(*options.options()), kCellTypeMessage, askedCount(options));
}

// ---------------------------------------------------------------------------------------------------------------
// Parsing

weibo::Reply<CellArray> PXListViewController::parseResponse(const weibo::Reply<std::string>& response, int cellType,
                                                            std::size_t limit)
{
    CellArray cells;
    // The newest `limit` records only: a page far larger than asked for must not cost cells, layouts and counts.
    auto newest = [limit](auto records) {
        if (records.value.size() > limit)
            records.value.resize(limit);
        return records;
    };
    switch (cellType) {
    case kCellTypeStatus:
    case kCellTypeFavorite: {
        const auto statuses = newest(weibo::recordsOf<weibo::WBStatus>(response));
        cells.reserve(statuses.value.size());
        for (const auto& status : statuses.value) {
            StatusCellPtr cell = cellType == kCellTypeStatus ? std::make_shared<TimelineCellStatus>(status)
                                                             : std::make_shared<TimelineCellFavorite>(status);
            cell->setListViewController(this);
            cells.push_back(std::move(cell));
        }
        if (!cells.empty())
            updateCommentRepostCountsWithinCells(cells);
        return statuses.with(std::move(cells));
    }
    case kCellTypeComment: {
        const auto comments = newest(weibo::recordsOf<weibo::WBComment>(response));
        cells.reserve(comments.value.size());
        for (const auto& comment : comments.value) {
            auto cell = std::make_shared<TimelineCellComment>(comment);
            cell->setListViewController(this);
            cells.push_back(std::move(cell));
        }
        return comments.with(std::move(cells));
    }
    case kCellTypeMessage: {
        const auto messages = newest(weibo::recordsOf<weibo::WBMessage>(response));
        // Message cells belong to the list of the open conversation, where they are shown as bubbles.
        PXListViewController* chat = host_ ? host_->chatListViewController() : nullptr;
        cells.reserve(messages.value.size());
        for (const auto& message : messages.value) {
            auto cell = std::make_shared<TimelineCellMessage>(message);
            cell->setListViewController(chat);
            cells.push_back(std::move(cell));
        }
        return messages.with(std::move(cells));
    }
    default:
        return weibo::Reply<CellArray>(CellArray(), weibo::outcomeOf(response));
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Merge

bool PXListViewController::countsAsFake(const TimelineCellBase& cell) const
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    for (const CellPtr& fake : fakeCells_)
        if (fake->isEqual(cell))
            return true;
    return false;
}

CellArray PXListViewController::cellsByMergeNewCells(const CellArray& newCells, const CellArray& oldCells, int mode)
{
    if (newCells.empty())
        return oldCells;

    switch (mode) {
    case kModeInitial: {
        CellArray result(newCells.begin(), newCells.begin() + std::min(newCells.size(), kMaxCells));
        return result;
    }
    case kModeNewer: {
        CellArray rest = oldCells;
        {
            std::lock_guard<std::recursive_mutex> lock(cellsLock_);
            // The fake cells the service has now confirmed leave the set, and the list when they are in it.
            CellArray stillFake;
            for (const CellPtr& fake : fakeCells_) {
                const bool confirmed = std::any_of(newCells.begin(), newCells.end(),
                                                   [&](const CellPtr& cell) { return fake->isEqual(*cell); });
                if (!confirmed) {
                    stillFake.push_back(fake);
                    continue;
                }
                const int row = rowForCell(fake.get(), rest);
                if (row >= 0)
                    rest.erase(rest.begin() + row);
            }
            fakeCells_ = std::move(stillFake);
        }
        // A cell that is already shown is not shown twice (two refreshes that overlapped asked for the same
        // newer items).
        std::unordered_set<CellKey, CellKeyHash> shown;
        shown.reserve(rest.size());
        for (const CellPtr& cell : rest)
            shown.insert(keyOf(*cell));
        CellArray result;
        result.reserve(std::min(newCells.size() + rest.size(), kMaxCells));
        for (const CellPtr& cell : newCells)
            if (!shown.count(keyOf(*cell)))
                result.push_back(cell);
        for (const CellPtr& cell : rest) {
            if (result.size() >= kMaxCells)
                break;
            result.push_back(cell);
        }
        if (result.size() > kMaxCells)
            result.resize(kMaxCells);
        return result;
    }
    case kModeOlder: {
        CellArray result = oldCells;
        if (result.size() >= kMaxCells)
            return result;
        // The service's upper bound max_id_ is inclusive: the bottom-most shown item may come back on top.
        auto seam = std::find_if(newCells.begin(), newCells.end(),
                                 [this](const CellPtr& cell) { return !countsAsFake(*cell); });
        const std::uint64_t bottomOld = earliestEntityIdOnCells(oldCells);
        if (seam != newCells.end() && (bottomOld == 0 || (*seam)->entityId() != bottomOld))
            seam = newCells.end();
        // Only what fits under the cap is appended, the oldest fetched dropped, so the list stays gapless and
        // its bottom row is the earliest item shown.
        result.reserve(std::min(oldCells.size() + newCells.size(), kMaxCells));
        for (auto it = newCells.begin(); it != newCells.end() && result.size() < kMaxCells; ++it)
            if (it != seam)
                result.push_back(*it);
        return result;
    }
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Id bounds

std::uint64_t PXListViewController::earliestEntityId() const { return earliestEntityIdOnCells(*dataOfCells()); }

std::uint64_t PXListViewController::latestEntityId() const { return latestEntityIdOnCells(*dataOfCells()); }

std::uint64_t PXListViewController::earliestEntityIdOnCells(const CellArray& cells) const
{
    // Seam rows (id 0) bound nothing.
    for (auto it = cells.rbegin(); it != cells.rend(); ++it)
        if ((*it)->entityId() != 0 && !countsAsFake(**it))
            return (*it)->entityId();
    return 0;
}

std::uint64_t PXListViewController::latestEntityIdOnCells(const CellArray& cells) const
{
    // The newest shown, which is the top-most in a list kept newest first; taken as the greatest id so that the
    // poll's bound can never move back below what is shown.
    std::uint64_t latest = 0;
    for (const CellPtr& cell : cells)
        if (cell->entityId() > latest && !countsAsFake(*cell))
            latest = cell->entityId();
    return latest;
}

// ---------------------------------------------------------------------------------------------------------------
// Fake cells and removal

void PXListViewController::addFakeCell(const CellPtr& cell) { addFakeCell(cell, dataOfCells()); }

void PXListViewController::addFakeCell(const CellPtr& cell, const CellArrayPtr& cells)
{
    if (!cell || !cells)
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(cellsLock_);
        for (const CellPtr& existing : *cells)
            if (existing->isEqual(*cell))
                return;
        const CellArray merged = cellsByMergeNewCells(CellArray{cell}, *cells, kModeNewer);
        // Only dataOfCells and sentMessageCells take fake cells.
        if (cells == dataOfCells_)
            dataOfCells_ = std::make_shared<const CellArray>(merged);
        else if (cells == sentMessageCells_)
            sentMessageCells_ = std::make_shared<const CellArray>(merged);
        fakeCells_.push_back(cell);
    }
    // A locally made item is the user's own doing (a post, a repost, a favourite, a message sent): it is never
    // unread news, so the unread count stays as it is.
}

void PXListViewController::removeCells(const std::set<std::uint64_t>& ids)
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    removeCellsIn(ids, dataOfCells_);
}

void PXListViewController::removeCellsIn(const std::set<std::uint64_t>& ids, const CellArrayPtr& cells)
{
    std::lock_guard<std::recursive_mutex> lock(cellsLock_);
    if (cells) {
        CellArray kept;
        kept.reserve(cells->size());
        for (const CellPtr& cell : *cells)
            if (!ids.count(cell->entityId()))
                kept.push_back(cell);
        if (CellArrayPtr* field = arrayFor(cells))
            *field = std::make_shared<const CellArray>(std::move(kept));
    }
    fakeCells_.erase(std::remove_if(fakeCells_.begin(), fakeCells_.end(),
                                    [&](const CellPtr& fake) { return ids.count(fake->entityId()) != 0; }),
                     fakeCells_.end());
}

int PXListViewController::rowForCell(const TimelineCellBase* cell) const { return rowForCell(cell, *dataOfCells()); }

int PXListViewController::rowForCell(const TimelineCellBase* cell, const CellArray& cells) const
{
    if (!cell)
        return -1;
    for (std::size_t row = 0; row < cells.size(); ++row)
        if (cells[row].get() == cell)
            return int(row);
    return -1;
}

// ---------------------------------------------------------------------------------------------------------------
// Unread count and favourite flag

void PXListViewController::setUnreadCount(std::uint64_t count)
{
    std::lock_guard<std::recursive_mutex> lock(lock_);
    unreadCount_ = std::min(count, kMaxUnreadCount);
}

void PXListViewController::checkUnread()
{
    if (!isKind(weibo::WEIBO_API_TIMELINE_FRIENDS) && !isKind(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME) &&
        !isKind(weibo::WEIBO_API_TIMELINE_MENTIONS))
        return;
    // A list laid out during the start-up (a picture's reload) is not yet in front of the user: the start-up's
    // unread rows stay unread until the first display.
    if (scrollMode() == kScrollBusy || unreadCount() == 0 || !listView_ || (host_ && host_->isStarting()))
        return;
    const PXRowRange visible = listView_->visibleRange();
    // The unread rows [0, unreadCount) overlap the visible rows: the user has seen new items.
    if (visible.length <= 0 || std::uint64_t(visible.location) >= unreadCount())
        return;
    resetUnreadCount();
    setUnreadCount(0);
    setScrollMode(kScrollIdle);
    if (host_)
        host_->updateLeftTabs();
}

void PXListViewController::resetUnreadCount()
{
    int type = 0;
    if (isKind(weibo::WEIBO_API_TIMELINE_MENTIONS))
        type = 2;
    else if (isKind(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME))
        type = 1;
    if (type == 0)
        return;
    const auto client = weiboInstance();
    if (!client)
        return;
    // The answer is ignored (the counter is the service's own), so the main thread need not wait for it.
    auto reset = [client, type] { logFailure(QStringLiteral("reset count"), weibo::outcomeOf(client->statusResetCount(type))); };
    if (platform::isMainThread())
        runInBackground(reset);
    else
        reset();
}

void PXListViewController::updateCell(std::uint64_t statusId, bool favorited)
{
    if (!isKind(weibo::WEIBO_API_TIMELINE_FRIENDS) && !isKind(weibo::WEIBO_API_TIMELINE_USER) &&
        !isKind(weibo::WEIBO_API_TIMELINE_MENTIONS))
        return;
    for (const CellPtr& cell : *dataOfCells()) {
        if (cell->entityId() != statusId)
            continue;
        if (auto* status = dynamic_cast<TimelineCellStatus*>(cell.get()))
            if (status->status())
                status->status()->favorited = favorited;
    }
}
