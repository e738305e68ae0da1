#include "timeline/PageLoop.h"

#include "cells/TimelineCellBase.h"
#include "timeline/ListStore.h"

#include <algorithm>
#include <unordered_set>

namespace pageloop {

using liststore::CellKey;
using liststore::CellKeyHash;
using liststore::keyOf;

namespace {

// The pages of one fetch and what they brought so far: each item once, in the order the pages brought them.
class PageCollector {
public:
    PageCollector(const FetchOperation& operation, const RequiredArguments& required,
                  const weibo::SinaWeiboOptions& options)
        : operation_(operation), required_(required), options_(options), current_(options), paged_(options)
    {
    }

    // Everything newer than min_id_, page by page; `gap` says whether items below what came may be missing.
    void newerItems(bool& gap)
    {
        paged_.count_ = kPageSize;
        paged_.since_id_ = *options_.min_id_;
        for (int page = 1;; ++page) {
            const std::size_t brought = requestPage(page, kPageSize);
            if (!outcome_.ok() && !result_.empty())
                gap = true;  // pages before the failed one came: items below them may be missing
            if (brought == 0 || brought != std::size_t(kPageSize))
                break;
            if (result_.size() >= std::size_t(kPageSize)) {
                gap = true;  // stopped by the limit, not by the service running out of newer items
                break;
            }
        }
    }

    // More than one request can bring: pages of 100 from the newest, until the count is reached, a page is not
    // full, or the list's cap is reached.
    void counted()
    {
        const std::size_t wanted = std::min<std::size_t>(std::size_t(*options_.count_), liststore::kMaxCells);
        const int pages = int((wanted + kPageSize - 1) / kPageSize);
        paged_.count_ = kPageSize;
        for (int page = 1; page <= pages; ++page) {
            const std::size_t brought = requestPage(page, kPageSize);
            if (brought < std::size_t(kPageSize) || result_.size() >= wanted)
                break;
        }
        if (result_.size() > wanted)
            result_.resize(wanted);
    }

    // One request as given: it asked for count_ items, or a page of the service's own size.
    void single()
    {
        const std::size_t asked = options_.count_ && *options_.count_ > 0 ? std::size_t(*options_.count_)
                                                                           : std::size_t(kPageSize);
        weibo::Reply<CellArray> cells = operation_(required_, current_);
        outcome_ = cells.outcome;
        result_ = std::move(cells.value);
        result_.erase(std::remove(result_.begin(), result_.end(), nullptr), result_.end());
        if (result_.size() > asked)
            result_.resize(asked);
    }

    weibo::Reply<CellArray> take() { return weibo::Reply<CellArray>(std::move(result_), outcome_); }

private:
    // What one page brought (its own count, before anything was left out); 0 for a failed page, which ends the
    // loop with its outcome, and for a page with nothing new: a service that sends the same full page again and
    // again must not be asked for ever.
    std::size_t requestPage(int page, std::size_t asked)
    {
        paged_.page_ = page;
        current_.setOptions(&paged_);
        weibo::Reply<CellArray> cells = operation_(required_, current_);
        if (!cells.ok()) {
            outcome_ = cells.outcome;
            return 0;
        }
        const std::size_t brought = cells.value.size();
        const std::size_t had = result_.size();
        // A page never adds more than it asked for, newest first: a flood of thousands must not fill memory.
        if (cells.value.size() > asked)
            cells.value.resize(asked);
        for (CellPtr& cell : cells.value) {
            // Newer items are newer than what is shown: an older one on top would move the poll's bound back.
            if (options_.min_id_ && cell && cell->entityId() <= *options_.min_id_)
                continue;
            if (cell && seen_.insert(keyOf(*cell)).second)
                result_.push_back(std::move(cell));
        }
        return result_.size() == had && page > 1 ? 0 : brought;
    }

    const FetchOperation& operation_;
    const RequiredArguments& required_;
    const weibo::SinaWeiboOptions& options_;
    WeiboOptions current_;
    weibo::SinaWeiboOptions paged_;
    weibo::TransferOutcome outcome_;
    CellArray result_;
    // Items that move between two page requests (new ones pushed in on top) would come twice.
    std::unordered_set<CellKey, CellKeyHash> seen_;
};

} // namespace

weibo::Reply<CellArray> fetchPages(const FetchOperation& operation, const RequiredArguments& required,
                                   const weibo::SinaWeiboOptions& options, bool* gap)
{
    if (gap)
        *gap = false;
    if (!operation)
        return weibo::Reply<CellArray>(CellArray(), weibo::TransferOutcome());
    PageCollector pages(operation, required, options);
    bool missing = false;
    if (options.min_id_)
        pages.newerItems(missing);
    else if (options.count_ && *options.count_ > kPageSize)
        pages.counted();
    else
        pages.single();
    if (gap)
        *gap = missing;
    return pages.take();
}

weibo::Reply<CellArray> fetchBetween(const FetchOperation& operation, std::uint64_t newerThan, std::uint64_t olderThan,
                                     std::size_t room)
{
    weibo::SinaWeiboOptions options;
    options.count_ = kPageSize;
    options.since_id_ = newerThan;
    options.max_id_ = olderThan - 1;
    CellArray loaded;
    for (int page = 1; loaded.size() < room; ++page) {
        options.page_ = page;
        weibo::Reply<CellArray> cells = operation(RequiredArguments(), WeiboOptions(options));
        if (!cells.ok())
            return weibo::Reply<CellArray>(std::move(loaded), cells.outcome);
        if (cells.value.size() > std::size_t(kPageSize))
            cells.value.resize(kPageSize);
        loaded.insert(loaded.end(), cells.value.begin(), cells.value.end());
        if (cells.value.size() < std::size_t(kPageSize))
            break;
    }
    return weibo::Reply<CellArray>(std::move(loaded), weibo::TransferOutcome());
}

} // namespace pageloop
