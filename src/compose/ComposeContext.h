#pragma once
// What the editor windows ask of the main window: the busy line, the home timeline that shows a new status at
// once, the selected list and the badges. Every member may be empty; the main thread calls them.
#include <QString>

#include <functional>

class PXListViewController;

struct ComposeContext {
    // Pushes a busy text; an empty text pops the top one.
    std::function<void(const QString&)> displayBusy;
    std::function<PXListViewController*()> homeList;
    std::function<PXListViewController*()> selectedList;
    std::function<void()> updateLeftTabs;
};
