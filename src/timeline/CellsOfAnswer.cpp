#include "timeline/CellsOfAnswer.h"

#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"

namespace {

// A page far larger than asked for must not cost cells, layouts and counts: its newest `limit` records only.
template <class Records, class Make>
weibo::Reply<CellArray> make(Records records, std::size_t limit, CellListController* owner, Make makeCell)
{
    if (records.value.size() > limit)
        records.value.resize(limit);
    CellArray cells;
    cells.reserve(records.value.size());
    for (const auto& record : records.value) {
        CellPtr cell = makeCell(record);
        cell->setListViewController(owner);
        cells.push_back(std::move(cell));
    }
    return records.with(std::move(cells));
}

} // namespace

weibo::Reply<CellArray> cellsOfAnswer(const weibo::Reply<std::string>& answer, int cellType, std::size_t limit,
                                      CellListController* owner)
{
    switch (cellType) {
    case 1:
        return make(weibo::recordsOf<weibo::WBStatus>(answer), limit, owner,
                    [](const auto& status) -> CellPtr { return std::make_shared<TimelineCellStatus>(status); });
    case 3:
        return make(weibo::recordsOf<weibo::WBStatus>(answer), limit, owner,
                    [](const auto& status) -> CellPtr { return std::make_shared<TimelineCellFavorite>(status); });
    case 2:
        return make(weibo::recordsOf<weibo::WBComment>(answer), limit, owner,
                    [](const auto& comment) -> CellPtr { return std::make_shared<TimelineCellComment>(comment); });
    case 4:
        return make(weibo::recordsOf<weibo::WBMessage>(answer), limit, owner,
                    [](const auto& message) -> CellPtr { return std::make_shared<TimelineCellMessage>(message); });
    default:
        return weibo::Reply<CellArray>(CellArray(), weibo::outcomeOf(answer));
    }
}
