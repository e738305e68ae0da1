#include "timeline/PageLoop.h"

#include "cells/TimelineCellBase.h"
#include "timeline/ListStore.h"

#include <algorithm>
#include <unordered_set>

namespace pageloop {

using liststore::CellKey;
using liststore::CellKeyHash;
using liststore::keyOf;

weibo::Reply<CellArray> fetchPages(const FetchOperation& operation, const RequiredArguments& required,
                                   const weibo::SinaWeiboOptions& options, bool* gap)
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
        paged.count_ = kPageSize;
        paged.since_id_ = *options.min_id_;
        for (int page = 1;; ++page) {
            const std::size_t brought = requestPage(page, kPageSize);
            if (!outcome.ok() && !result.empty() && gap)
                *gap = true;  // pages before the failed one came: items below them may be missing
            if (brought == 0 || brought != std::size_t(kPageSize))
                break;
            if (result.size() >= std::size_t(kPageSize)) {
                // Stopped by the limit, not by the service running out of newer items.
                if (gap)
                    *gap = true;
                break;
            }
        }
    } else if (options.count_ && *options.count_ > kPageSize) {
        // More than one request can bring: pages of 100 from the newest, until the count is reached, a page is
        // not full, or the list's cap is reached.
        const std::size_t wanted = std::min<std::size_t>(std::size_t(*options.count_), liststore::kMaxCells);
        const int pages = int((wanted + kPageSize - 1) / kPageSize);
        paged.count_ = kPageSize;
        for (int page = 1; page <= pages; ++page) {
            const std::size_t brought = requestPage(page, kPageSize);
            if (brought < std::size_t(kPageSize) || result.size() >= wanted)
                break;
        }
        if (result.size() > wanted)
            result.resize(wanted);
    } else {
        // One request as given: it asked for count_ items, or a page of the service's own size.
        const std::size_t asked = options.count_ && *options.count_ > 0 ? std::size_t(*options.count_)
                                                                         : std::size_t(kPageSize);
        weibo::Reply<CellArray> cells = operation(required, current);
        outcome = cells.outcome;
        result = std::move(cells.value);
        result.erase(std::remove(result.begin(), result.end(), nullptr), result.end());
        if (result.size() > asked)
            result.resize(asked);
    }
    return weibo::Reply<CellArray>(std::move(result), outcome);
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
