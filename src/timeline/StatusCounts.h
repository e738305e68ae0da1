#pragma once
// The comment and repost counts of status rows: gathered in batches for the statuses a list shows (a status and
// its repost in one request), and written into their cells.
#include "cells/CellTypes.h"
#include "model/WeiboParser.h"
#include "service/Reply.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace statuscounts {

using Request = std::function<weibo::Reply<std::string>(const std::vector<std::uint64_t>& ids)>;

// The counts of the statuses of the first `cap` cells (and of what they repost), in requests of at most `batch`
// ids plus one. Counts that could not be had are simply missing: the rows keep what they show.
weibo::WBCountTable gather(const CellArray& cells, std::size_t cap, std::size_t batch, const Request& request);

// The counts written into the status cells that have them (negative counts as 0).
void apply(const CellArray& cells, const weibo::WBCountTable& counts);

// The comment count of the item the drawer is about: the status `active` shows, or the status it reposts.
std::uint64_t commentTotalOf(const CellPtr& active, std::uint64_t activeId);

} // namespace statuscounts
