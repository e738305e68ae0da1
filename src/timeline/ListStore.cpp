#include "timeline/ListStore.h"

#include "cells/TimelineCellBase.h"
#include "timeline/SeamCell.h"

#include <algorithm>
#include <typeindex>
#include <unordered_set>

namespace liststore {

CellKey keyOf(const TimelineCellBase& cell) { return CellKey{std::type_index(typeid(cell)), cell.entityId()}; }

namespace {

bool isFakeIn(const TimelineCellBase& cell, const CellArray& fakes)
{
    return std::any_of(fakes.begin(), fakes.end(), [&](const CellPtr& fake) { return fake->isEqual(cell); });
}

CellArray newest(const CellArray& cells)
{
    return CellArray(cells.begin(), cells.begin() + std::ptrdiff_t(std::min(cells.size(), kMaxCells)));
}

Merged mergeNewer(const CellArray& newCells, const CellArray& oldCells, const CellArray& fakes)
{
    Merged merged;
    CellArray rest = oldCells;
    // The fakes the service has now confirmed leave the set, and the list when they are in it.
    for (const CellPtr& fake : fakes) {
        const bool confirmed = std::any_of(newCells.begin(), newCells.end(),
                                           [&](const CellPtr& cell) { return fake->isEqual(*cell); });
        if (!confirmed) {
            merged.fakes.push_back(fake);
            continue;
        }
        const int row = rowOf(fake.get(), rest);
        if (row >= 0)
            rest.erase(rest.begin() + row);
    }
    // A cell already shown is not shown twice (two loads that overlapped asked for the same newer items).
    std::unordered_set<CellKey, CellKeyHash> shown;
    shown.reserve(rest.size());
    for (const CellPtr& cell : rest)
        shown.insert(keyOf(*cell));
    merged.cells.reserve(std::min(newCells.size() + rest.size(), kMaxCells));
    for (const CellPtr& cell : newCells)
        if (!shown.count(keyOf(*cell)) && merged.cells.size() < kMaxCells)
            merged.cells.push_back(cell);
    for (const CellPtr& cell : rest) {
        if (merged.cells.size() >= kMaxCells)
            break;
        merged.cells.push_back(cell);
    }
    return merged;
}

CellArray mergeOlder(const CellArray& newCells, const CellArray& oldCells, const CellArray& fakes)
{
    CellArray result = oldCells;
    if (result.size() >= kMaxCells)
        return result;
    // The service's upper bound max_id is inclusive: the bottom-most shown item may come back first.
    auto seam = std::find_if(newCells.begin(), newCells.end(),
                             [&](const CellPtr& cell) { return !isFakeIn(*cell, fakes); });
    const std::uint64_t bottomOld = earliestEntityId(oldCells, fakes);
    if (seam != newCells.end() && (bottomOld == 0 || (*seam)->entityId() != bottomOld))
        seam = newCells.end();
    // Only what fits under the cap is appended, the oldest fetched dropped, so the list stays gapless and its
    // bottom row is the earliest item shown.
    result.reserve(std::min(oldCells.size() + newCells.size(), kMaxCells));
    for (auto it = newCells.begin(); it != newCells.end() && result.size() < kMaxCells; ++it)
        if (it != seam)
            result.push_back(*it);
    return result;
}

} // namespace

Merged mergeCells(const CellArray& newCells, const CellArray& oldCells, int mode, const CellArray& fakes)
{
    if (newCells.empty())
        return Merged{oldCells, fakes};
    switch (mode) {
    case kReplace:
        return Merged{newest(newCells), fakes};
    case kNewer:
        return mergeNewer(newCells, oldCells, fakes);
    case kOlder:
        return Merged{mergeOlder(newCells, oldCells, fakes), fakes};
    default:
        return Merged{CellArray(), fakes};
    }
}

void insertSeam(CellArray& merged, const CellArray& newCells, std::uint64_t newerThan, const CellArray& fakes)
{
    // Below the last fetched cell, when older items of the list follow it: that is where items may be missing.
    std::unordered_set<const TimelineCellBase*> fetched;
    for (const CellPtr& cell : newCells)
        fetched.insert(cell.get());
    std::size_t below = 0;
    for (std::size_t row = 0; row < merged.size(); ++row)
        if (fetched.count(merged[row].get()))
            below = row + 1;
    const std::uint64_t olderThan = earliestEntityId(newCells, fakes);
    if (below == 0 || below >= merged.size() || olderThan == 0)
        return;
    merged.insert(merged.begin() + std::ptrdiff_t(below), std::make_shared<SeamCell>(newerThan, olderThan));
    if (merged.size() > kMaxCells)
        merged.resize(kMaxCells);
}

CellArray fillSeam(const CellArray& cells, const TimelineCellBase* seam, const CellArray& loaded,
                   std::uint64_t newerThan)
{
    const int row = rowOf(seam, cells);
    if (row < 0)
        return cells;
    // Nothing is shown twice: items that came meanwhile (or twice across pages) are skipped.
    std::set<std::uint64_t> ids;
    for (const CellPtr& cell : cells)
        ids.insert(cell->entityId());
    CellArray result(cells.begin(), cells.begin() + row);
    for (const CellPtr& cell : loaded)
        if (cell && cell->entityId() > newerThan && ids.insert(cell->entityId()).second)
            result.push_back(cell);
    result.insert(result.end(), cells.begin() + row + 1, cells.end());
    if (result.size() > kMaxCells)
        result.resize(kMaxCells);
    return result;
}

std::uint64_t earliestEntityId(const CellArray& cells, const CellArray& fakes)
{
    // Seam rows (id 0) bound nothing.
    for (auto it = cells.rbegin(); it != cells.rend(); ++it)
        if ((*it)->entityId() != 0 && !isFakeIn(**it, fakes))
            return (*it)->entityId();
    return 0;
}

std::uint64_t latestEntityId(const CellArray& cells, const CellArray& fakes)
{
    std::uint64_t latest = 0;
    for (const CellPtr& cell : cells)
        if (cell->entityId() > latest && !isFakeIn(*cell, fakes))
            latest = cell->entityId();
    return latest;
}

CellArray withoutIds(const CellArray& cells, const std::set<std::uint64_t>& ids)
{
    CellArray kept;
    kept.reserve(cells.size());
    for (const CellPtr& cell : cells)
        if (!ids.count(cell->entityId()))
            kept.push_back(cell);
    return kept;
}

int rowOf(const TimelineCellBase* cell, const CellArray& cells)
{
    if (!cell)
        return -1;
    for (std::size_t row = 0; row < cells.size(); ++row)
        if (cells[row].get() == cell)
            return int(row);
    return -1;
}

} // namespace liststore

ListStore::ListStore()
    : items_(std::make_shared<const CellArray>()),
      received_(std::make_shared<const CellArray>()),
      sent_(std::make_shared<const CellArray>())
{
}

ListStore::CellArrayPtr& ListStore::field(Array which)
{
    return which == Array::Received ? received_ : which == Array::Sent ? sent_ : items_;
}

const ListStore::CellArrayPtr& ListStore::field(Array which) const
{
    return which == Array::Received ? received_ : which == Array::Sent ? sent_ : items_;
}

ListStore::CellArrayPtr ListStore::cells(Array which) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return field(which);
}

void ListStore::setCells(CellArray cells, Array which)
{
    auto replacement = std::make_shared<const CellArray>(std::move(cells));
    {
        std::lock_guard<std::mutex> lock(lock_);
        field(which) = std::move(replacement);
    }
    changed();
}

void ListStore::setChangeHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(hookLock_);
    hook_ = std::move(hook);
}

void ListStore::changed() const
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hookLock_);
        hook = hook_;
    }
    if (hook)
        hook();
}

CellArray ListStore::fakeCells() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return fakes_;
}

void ListStore::setFakeCells(CellArray fakes)
{
    std::lock_guard<std::mutex> lock(lock_);
    fakes_ = std::move(fakes);
}

ListStore::CellArrayPtr ListStore::merge(const CellArray& newCells, int mode, Array which, std::uint64_t seamNewerThan)
{
    CellArrayPtr result;
    {
        std::lock_guard<std::mutex> lock(lock_);
        liststore::Merged merged = liststore::mergeCells(newCells, *field(which), mode, fakes_);
        if (seamNewerThan != 0 && mode == liststore::kNewer)
            liststore::insertSeam(merged.cells, newCells, seamNewerThan, merged.fakes);
        fakes_ = std::move(merged.fakes);
        field(which) = std::make_shared<const CellArray>(std::move(merged.cells));
        result = field(which);
    }
    changed();
    return result;
}

bool ListStore::addFake(const CellPtr& cell, Array which)
{
    if (!cell)
        return false;
    {
        std::lock_guard<std::mutex> lock(lock_);
        const CellArray& shown = *field(which);
        if (std::any_of(shown.begin(), shown.end(), [&](const CellPtr& existing) { return existing->isEqual(*cell); }))
            return false;
        liststore::Merged merged = liststore::mergeCells(CellArray{cell}, shown, liststore::kNewer, fakes_);
        fakes_ = std::move(merged.fakes);
        fakes_.push_back(cell);
        field(which) = std::make_shared<const CellArray>(std::move(merged.cells));
    }
    changed();
    return true;
}

void ListStore::remove(const std::set<std::uint64_t>& ids, Array which)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        field(which) = std::make_shared<const CellArray>(liststore::withoutIds(*field(which), ids));
        fakes_ = liststore::withoutIds(fakes_, ids);
    }
    changed();
}

bool ListStore::fillSeam(const TimelineCellBase* seam, const CellArray& loaded, std::uint64_t newerThan)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (liststore::rowOf(seam, *items_) < 0)
            return false;
        items_ = std::make_shared<const CellArray>(liststore::fillSeam(*items_, seam, loaded, newerThan));
    }
    changed();
    return true;
}

bool ListStore::holds(const CellArrayPtr& cells, Array& which) const
{
    std::lock_guard<std::mutex> lock(lock_);
    for (Array a : {Array::Items, Array::Received, Array::Sent})
        if (cells && field(a) == cells) {
            which = a;
            return true;
        }
    return false;
}

std::uint64_t ListStore::earliestEntityId(Array which) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return liststore::earliestEntityId(*field(which), fakes_);
}

std::uint64_t ListStore::latestEntityId(Array which) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return liststore::latestEntityId(*field(which), fakes_);
}

bool ListStore::isFake(const TimelineCellBase& cell) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return std::any_of(fakes_.begin(), fakes_.end(), [&](const CellPtr& fake) { return fake->isEqual(cell); });
}

void ListStore::setUnreadCount(std::uint64_t count)
{
    const std::uint64_t clamped = std::min(count, liststore::kMaxUnreadCount);
    if (unreadCount_.exchange(clamped) != clamped)
        changed();
}
