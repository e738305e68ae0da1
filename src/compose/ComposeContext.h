#pragma once
// What the editor windows ask of the main window: the busy line, the home timeline that shows a new status at
// once, the selected list and the badges. Every member may be empty; the main thread calls them.
#include "platform/BusyText.h"

#include <QString>

#include <functional>

class PXListViewController;

struct ComposeContext {
    // Puts an operation's text on the busy line until the returned BusyText goes.
    std::function<BusyText(const QString&)> displayBusy;
    std::function<PXListViewController*()> homeList;
    std::function<PXListViewController*()> selectedList;
    std::function<void()> updateLeftTabs;
};
