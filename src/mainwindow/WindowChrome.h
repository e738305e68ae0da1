#pragma once
// The widgets of the main window: the title area (the user's avatar, 刷新, 发微博), the column of left tabs, the top
// tabs with the "分组" chooser and 新私信, the tab view that holds the lists, and the busy line floating over them.
// Each has an object name, so that whatever drives the window finds it as a person does, by what it is.
#include <QList>

class AvatarButton;
class BusyLine;
class LeftTab;
class PopUpButton;
class QMainWindow;
class QPushButton;
class QWidget;
class TabView;

struct WindowChrome {
    static constexpr int kTitleBarHeight = 37;
    static constexpr int kLeftColumnWidth = 64;
    static constexpr int kBusyLineHeight = 37;
    static constexpr int kTopTabsHeight = 32;

    QWidget* content = nullptr;
    AvatarButton* selfButton = nullptr;
    QPushButton* refreshButton = nullptr;
    QPushButton* postButton = nullptr;
    QPushButton* newMessageButton = nullptr;
    QList<LeftTab*> leftTabs;      // 状态, 评论, 提及, 私信, 收藏, tagged 0 to 4
    QList<PopUpButton*> topTabs;   // the second layer of 状态, 评论 and 提及
    PopUpButton* listsButton = nullptr;
    TabView* tabView = nullptr;
    BusyLine* busyLine = nullptr;

    // Builds the widgets as the central widget of `window`.
    void build(QMainWindow* window);
    // The commands can be used, or look disabled (while the start-up runs).
    void setCommandsEnabled(bool enabled);
    // Keeps the busy line at the bottom of the lists.
    void placeBusyLine();

private:
    QWidget* buildTitleBar(QWidget* parent);
    QWidget* buildLeftColumn(QWidget* parent);
    QWidget* buildTopTabs(QWidget* parent);
};
