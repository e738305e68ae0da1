#pragma once
// Moving between the lists: the left tabs and the top tabs' pop-ups select a list of the tab model, the lists
// chooser shows beside the home timeline only, a click on the shown tab goes back to its first list and to the top,
// and the left tabs' badges, the application's unread count and the window title follow the lists' unread counts.
#include <QObject>

#include <cstdint>

class LeftTab;
class PopUpButton;
class PXListViewController;
class TabModel;
class TabView;
class TabViewItem;
struct WindowChrome;

// What the switching needs of the window.
class TabSwitchingHost {
public:
    virtual ~TabSwitchingHost() = default;
    virtual bool isStarting() const = 0;
    virtual bool isShuttingDown() const = 0;
    // The list just shown loads if it never has.
    virtual void loadShownList(PXListViewController* list) = 0;
    // The unread count the title carries.
    virtual void showUnreadInTitle(std::uint64_t unread) = 0;
};

class TabSwitching : public QObject {
public:
    TabSwitching(TabSwitchingHost& host, WindowChrome& chrome, TabModel& tabs, QObject* parent);

    void leftTabClicked(LeftTab* tab);
    void topTabClicked(PopUpButton* popUp);
    void tabViewDidSelectTabViewItem(TabView* tabView, TabViewItem* item);
    // Any thread: the badges are drawn on the main thread.
    void updateLeftTabs();

private:
    TabSwitchingHost& host_;
    WindowChrome& chrome_;
    TabModel& tabs_;
};
