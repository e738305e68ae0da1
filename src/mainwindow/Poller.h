#pragma once
// The poll: the service's unread counters, then the lists that may have new items, then on the main thread the
// reload of the list in view, the badges, the busy line and the announcements. One function per step.
#include "cells/CellTypes.h"
#include "service/WeiboAPI.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class ListRefresher;
class PXListViewController;
class RefreshHost;

class Poller {
public:
    // The first poll at start-up does not ask for the home timeline (the start-up has just caught it up) and
    // announces by the service's counters; a tick of the poll timer asks every list.
    enum class Kind { First, Timer };

    Poller(ListRefresher& refresher, RefreshHost& host);

    // Main thread. Reads the lists it needs, then runs the steps in the window's background group. A poll that
    // starts while another is still under way is skipped.
    void start(Kind kind);

private:
    // What one poll reads on the main thread and finds in the background; handed from step to step.
    struct Run;

    // 1. The counters; without them no list is asked.
    void readUnreadCounters(Run& run);
    // 2. Timer polls: everything newer than the home timeline's newest item.
    void fetchHomeTimeline(Run& run);
    // 3. Comments received, mentions and conversations, each up to the service's counter.
    void syncCountedLists(Run& run);
    // 4. The comment and repost counts of the list in view.
    void updateCountsOfSelectedList(Run& run);
    // 5. Main thread: reload, badges, busy line, the failure line, announcements.
    void applyOnMainThread(Run& run);

    ListRefresher& refresher_;
    RefreshHost& host_;
};
