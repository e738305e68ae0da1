#pragma once
// The cells of one list, without any widget: the arrays it shows (replaced whole, so a reader on any thread always
// sees a complete one), the items made here and not yet confirmed by the service, the seams where items may be
// missing, the id bounds and the unread count. The rules that put new cells into old ones are pure functions, so
// they are the same wherever a merge happens and can be tested on their own.
#include "cells/CellTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <typeindex>
#include <vector>

namespace liststore {

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
CellKey keyOf(const TimelineCellBase& cell);

// At most this many cells in a list, and an unread count of at most this much.
constexpr std::size_t kMaxCells = 1024;
constexpr std::uint64_t kMaxUnreadCount = 1024;

// Fetch modes: 1 replaces the list, 2 puts newer items on top, 3 appends older items.
enum Mode { kReplace = 1, kNewer = 2, kOlder = 3 };

struct Merged {
    CellArray cells;
    CellArray fakes;  // the locally made items still waiting for the service's own
};

// New cells into old ones by mode, within kMaxCells. Mode 1 replaces (the newest kMaxCells when more came); mode 2
// drops the fakes the new cells confirm (from the fakes and from the list) and puts the new cells on top, a cell
// already shown not shown twice, keeping the newest kMaxCells; mode 3 appends, showing the inclusive max_id seam
// (the bottom item coming back first) once and appending only what fits. No new cells: the old cells.
Merged mergeCells(const CellArray& newCells, const CellArray& oldCells, int mode, const CellArray& fakes);

// A seam row below the fetched cells of a newer-items load that stopped short, when older items of the list follow
// them (items between the two may be missing): `newerThan` is the newest item shown before the load.
void insertSeam(CellArray& merged, const CellArray& newCells, std::uint64_t newerThan, const CellArray& fakes);

// The seam's place filled with the items loaded for it (newest first), none shown twice, within kMaxCells.
CellArray fillSeam(const CellArray& cells, const TimelineCellBase* seam, const CellArray& loaded,
                   std::uint64_t newerThan);

// The id of the bottom-most cell that is neither fake nor a seam; and the greatest such id (the newest shown, the
// top-most in a list kept newest first), so that a poll's bound never moves back below what is shown. 0 for none.
std::uint64_t earliestEntityId(const CellArray& cells, const CellArray& fakes);
std::uint64_t latestEntityId(const CellArray& cells, const CellArray& fakes);

// The cells without those of these entity ids.
CellArray withoutIds(const CellArray& cells, const std::set<std::uint64_t>& ids);

// The row of that very cell (not an equal one), or -1.
int rowOf(const TimelineCellBase* cell, const CellArray& cells);

} // namespace liststore

// Locks: lock_ guards the three arrays and the fakes; each is replaced whole under it, and a merge reads and
// replaces under it in one step. The unread count is atomic. hookLock_ guards the change hook.
class ListStore {
public:
    using CellArrayPtr = std::shared_ptr<const CellArray>;
    // The list's own items; and, for the conversations, the two streams of messages they are made from.
    enum class Array { Items, Received, Sent };

    ListStore();

    CellArrayPtr cells(Array which = Array::Items) const;
    void setCells(CellArray cells, Array which = Array::Items);
    CellArray fakeCells() const;
    void setFakeCells(CellArray fakes);

    // Merges into the array by mode and answers the new array; with `seamNewerThan` a newer-items load that
    // stopped short leaves a seam row below what it brought.
    CellArrayPtr merge(const CellArray& newCells, int mode, Array which = Array::Items, std::uint64_t seamNewerThan = 0);
    // A locally made item on top of the array (Items or Sent); nothing when an equal cell is already there.
    bool addFake(const CellPtr& cell, Array which = Array::Items);
    void remove(const std::set<std::uint64_t>& ids, Array which = Array::Items);
    // The seam's row filled with what was loaded for it; false when the seam is no longer in the list.
    bool fillSeam(const TimelineCellBase* seam, const CellArray& loaded, std::uint64_t newerThan);
    // The array that is this very one, for callers that hand an array back ("the sent messages").
    bool holds(const CellArrayPtr& cells, Array& which) const;

    std::uint64_t earliestEntityId(Array which = Array::Items) const;
    std::uint64_t latestEntityId(Array which = Array::Items) const;
    bool isFake(const TimelineCellBase& cell) const;

    // Clamped to kMaxUnreadCount.
    void setUnreadCount(std::uint64_t count);
    std::uint64_t unreadCount() const { return unreadCount_.load(); }

    // Called, on the thread that made the change and with no lock held, after an array or the unread count
    // changed (so that whoever keeps the list elsewhere can take a snapshot). Fakes alone do not call it.
    void setChangeHook(std::function<void()> hook);

private:
    CellArrayPtr& field(Array which);
    void changed() const;
    const CellArrayPtr& field(Array which) const;

    mutable std::mutex lock_;
    CellArrayPtr items_;
    CellArrayPtr received_;
    CellArrayPtr sent_;
    CellArray fakes_;
    std::atomic<std::uint64_t> unreadCount_{0};
    mutable std::mutex hookLock_;
    std::function<void()> hook_;
};
