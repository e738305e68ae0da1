#include "timeline/StatusCounts.h"

#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"

#include <algorithm>

namespace statuscounts {

weibo::WBCountTable gather(const CellArray& cells, std::size_t cap, std::size_t batch, const Request& request)
{
    weibo::WBCountTable all;
    std::vector<std::uint64_t> ids;
    ids.reserve(batch + 1);
    auto sendBatch = [&] {
        // An empty id list makes no request and gives an empty answer.
        for (const auto& count : weibo::countsOf(request(ids)).value)
            all.insert(count);
        ids.clear();
    };
    // Only what a list can keep is asked for: a huge answer must not turn into hundreds of requests.
    const std::size_t n = std::min(cells.size(), cap);
    for (std::size_t i = 0; i < n; ++i) {
        const auto* statusCell = dynamic_cast<const TimelineCellStatus*>(cells[i].get());
        if (!statusCell || !statusCell->status())
            continue;
        ids.push_back(statusCell->status()->id);
        if (statusCell->status()->retweeted_status)
            ids.push_back(statusCell->status()->retweeted_status->id);
        if (ids.size() >= batch)
            sendBatch();
    }
    sendBatch();
    return all;
}

void apply(const CellArray& cells, const weibo::WBCountTable& counts)
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

std::uint64_t commentTotalOf(const CellPtr& active, std::uint64_t activeId)
{
    const auto* cell = dynamic_cast<const TimelineCellStatus*>(active.get());
    if (!cell || !cell->status())
        return 0;
    if (activeId == cell->status()->id)
        return cell->commentCount();
    if (cell->status()->retweeted_status && activeId == cell->status()->retweeted_status->id)
        return cell->originalCommentCount();
    return 0;
}

} // namespace statuscounts
