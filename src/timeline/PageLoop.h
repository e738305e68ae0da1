#pragma once
// The paging loop of a list's fetch: how many requests one fetch makes and what it keeps of their answers.
#include "cells/CellTypes.h"
#include "service/Reply.h"
#include "service/WeiboAPI.h"
#include "timeline/WeiboOptions.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace pageloop {

// Items per request when a fetch is split into pages.
constexpr int kPageSize = 100;

using RequiredArguments = std::vector<std::uint64_t>;
// One request with these options, parsed into cells, with its outcome.
using FetchOperation =
    std::function<weibo::Reply<CellArray>(const RequiredArguments& required, const WeiboOptions& options)>;

// The new cells, newest first. With min_id_: pages of 100 newer than min_id_ until a page is not full or 100 are
// gathered (`gap` is then set when the loop stopped at its limit with a full page, or after a failed page: items
// between the oldest one fetched and min_id_ may be missing). With count_ above 100: pages of 100 until count_ (at
// most the list's cap) are gathered or a page is not full. Otherwise one request as given. A page never adds more
// than it asked for (its newest ones), a min_id_ loop keeps only items newer than min_id_, and a page that brings
// nothing new ends the loop. The loop stops at the first failed page, whose outcome it answers.
weibo::Reply<CellArray> fetchPages(const FetchOperation& operation, const RequiredArguments& required,
                                   const weibo::SinaWeiboOptions& options, bool* gap);

// The items between two ids (newer than `newerThan`, older than `olderThan`), newest first, in pages of 100 while
// fewer than `room` have come: what is missing at a seam. Stops at the first failed page.
weibo::Reply<CellArray> fetchBetween(const FetchOperation& operation, std::uint64_t newerThan, std::uint64_t olderThan,
                                     std::size_t room);

} // namespace pageloop
