#pragma once
// The row a list shows where a load of newer items stopped at its page limit before it reached the items the
// list already showed: the items in between are missing there, and a click on the row loads them.
#include "cells/TimelineCellBase.h"

#include <cstdint>

class SeamCell : public TimelineCellBase {
public:
    // The missing items are those newer than `newerThan` (the newest item shown before the load) and older than
    // `olderThan` (the oldest item the load brought).
    SeamCell(std::uint64_t newerThan, std::uint64_t olderThan)
        : newerThan_(newerThan), olderThan_(olderThan)
    {
    }
    std::uint64_t newerThan() const { return newerThan_; }
    std::uint64_t olderThan() const { return olderThan_; }

    // "显示更多新微博". A seam shows no entity: its id is 0, so it never bounds a request.
    AttributedString stringForTextView(bool& determinate) override;

private:
    const std::uint64_t newerThan_;
    const std::uint64_t olderThan_;
};
