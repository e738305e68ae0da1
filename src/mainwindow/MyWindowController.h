#pragma once
// The main window of the signed-in account: it builds the chrome (title area, left tabs, top tabs, lists, busy
// line) and coordinates the pieces that do the work: the tab model with one controller per list (TabModel), the
// start-up (StartupSequence), the refresh and poll (ListRefresher), the lists chooser and the user tab
// (ListsAndUserTab), the drawer, the item actions and the user card, the keys and the menu bar (ItemCommands,
// MainMenu). Each piece sees the window only through
// its own narrow interface; the window's public members are the entry points the rest of the program calls.
#include "cells/Appearance.h"
#include "cells/CellContext.h"
#include "mainwindow/Announcer.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/EmotionModel.h"
#include "mainwindow/ItemActions.h"
#include "mainwindow/ItemCommands.h"
#include "mainwindow/ListRefresher.h"
#include "mainwindow/ListsAndUserTab.h"
#include "mainwindow/StartupSequence.h"
#include "mainwindow/TabModel.h"
#include "mainwindow/TabSwitching.h"
#include "mainwindow/UserCard.h"
#include "mainwindow/WindowChrome.h"
#include "platform/Dispatch.h"
#include "timeline/TimelineHost.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

class ComposeWindows;
class KeptLists;
class LeftTab;
class PopUpButton;
class PXListViewController;
class TabView;
class TabViewItem;
class URLDownload;

// Threads: the window and every widget live on the main thread; start-up, tab and list fetches run on the
// global queue and hand back to the main thread. selfUserLock_ guards selfUser_ (set by a background block, read
// from any thread); background_ counts the blocks the window started.
class MyWindowController : public QMainWindow,
                           public TimelineHost,
                           private RefreshHost,
                           private ListsHost,
                           private StartupHost,
                           private DrawerHost,
                           private ItemActionsHost,
                           private UserCardHost,
                           private AnnouncerHost,
                           private ItemCommandsHost,
                           private TabSwitchingHost {
    Q_OBJECT
public:
    // Heights and widths of the window's chrome.
    static constexpr int kLeftColumnWidth = WindowChrome::kLeftColumnWidth;
    static constexpr int kBusyLineHeight = WindowChrome::kBusyLineHeight;
    // The poll's interval in seconds.
    static constexpr double kPollInterval = 90.0;
    static inline const QString& kLatestStatusId = StartupSequence::kLatestStatusId;

    // The main window for the account's client, named `windowNibName` (its object name). Builds the widgets,
    // the tab model and the first controllers; makes no request (start-up begins when the window is first shown).
    MyWindowController(const QString& windowNibName, boost::shared_ptr<weibo::SinaWeibo> weiboInstance,
                       QWidget* parent = nullptr);
    ~MyWindowController() override;

    // The first step of quitting: hides the window, makes every command of it do nothing from now on, and waits
    // up to timeoutMs for its background blocks and those of its lists (the caller has cancelled the transfers,
    // so they end at once). False when a block is still running: the window must then not be deleted.
    bool shutdown(int timeoutMs);
    bool isShuttingDown() const override { return destroying_.load(); }

    // Shows the window and brings it forward; the first call starts the start-up (windowDidLoad).
    void showWindow();

    // --- Start-up (StartupSequence) ---

    void windowDidLoad() { startup_->windowDidLoad(); }
    // Start-up steps still running; while it is not 0 every user command of the window is ignored.
    qint64 initCount() const { return startup_ ? startup_->initCount() : 1; }
    bool isStarting() const override { return initCount() != 0; }
    void initComplete() { startup_->initComplete(); }
    void firstListViewComplete() { startup_->firstListViewComplete(); }
    void taskAfterShowFirstListView() { startup_->taskAfterShowFirstListView(); }
    void downloadDidCreateDestination(URLDownload* download, const QString& path);
    void downloadDidFailWithError(URLDownload* download, const QString& error);
    // Stops the poll, remembers the newest home status for the next start and writes the kept lists (waiting
    // at most kKeptListsFlushMs); nothing is kept after it.
    void cleanup();

    // --- The lists kept on disk (KeptLists) ---

    static constexpr int kKeptListsFlushMs = 2000;
    // Keeps the account's lists in `folder`: the lists are filled from it now, before any request (the home
    // timeline at once, the others away from the main thread), and kept after every change. Call before the
    // window is first shown.
    void keepListsIn(const QString& folder, const QString& account);
    KeptLists* keptLists() override { return keptLists_; }
    // The account is deleted: its lists are no longer kept and their files go.
    void discardKeptLists();

    static QString resourceFolder() { return StartupSequence::resourceFolder(); }
    static QString emojiFolder() { return StartupSequence::emojiFolder(); }
    static QString emotionsFolder() { return StartupSequence::emotionsFolder(); }
    QString pathForEmotionName(const QString& phrase) const { return startup_->pathForEmotionName(phrase); }
    const QList<QList<EmotionModel>>& categoryEmotions() const { return startup_->categoryEmotions(); }
    const QHash<QString, EmotionModel>& keyedEmotions() const { return startup_->keyedEmotions(); }

    // --- The tab model (TabModel) ---

    TabViewItem* addFirstLayerItemWithIdentifier(const QString& identifier, const QString& label, TabView* tabView);
    TabViewItem* addSecondLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                  TabViewItem* firstLayerItem);
    PXListViewController* listViewControllerForTabViewItem(TabViewItem* item) { return tabs_->controllerFor(item); }
    PXListViewController* listViewControllerAtFirstLayerIndex(int first, int second) { return tabs_->controllerAt(first, second); }
    PXListViewController* weiboListViewController() { return tabs_->home(); }
    PXListViewController* userListViewController() { return tabs_->user(); }
    PXListViewController* listsListViewController() { return tabs_->lists(); }
    PXListViewController* comments2meListViewController() { return tabs_->commentsToMe(); }
    PXListViewController* commentsByMeListViewController() { return tabs_->commentsByMe(); }
    PXListViewController* atmeListViewController() { return tabs_->mentions(); }
    PXListViewController* messageListViewController() { return tabs_->messages(); }
    PXListViewController* favoriteListViewController() { return tabs_->favorites(); }
    PXListViewController* selectedListViewController() override { return tabs_->selected(); }
    PXListViewController* chatListViewController() const override { return tabs_ ? tabs_->chat() : nullptr; }
    const QHash<TabViewItem*, PXListViewController*>& listViewControllers() const { return tabs_->controllers(); }

    // --- The signed-in user (any thread) ---

    std::uint64_t selfUserId() const override;
    QString selfUserIdString() const override;
    QString selfUserName() const;
    boost::shared_ptr<weibo::WBUser> selfUser() const;

    // --- Tabs, badges, busy line ---

    void leftTabClicked(LeftTab* tab) override;
    void topTabClicked(PopUpButton* popUp);
    void tabViewDidSelectTabViewItem(TabView* tabView, TabViewItem* item);
    void updateLeftTabs() override;
    // The left tabs in order: 状态, 评论, 提及, 私信, 收藏.
    const QList<LeftTab*>& leftTabs() const override { return chrome_.leftTabs; }
    // Puts an operation's text on the busy line until the returned BusyText goes. Any thread.
    BusyText displayBusy(const QString& text) override;
    QStringList busyHints() const;
    // The outcome of a refresh or poll: a failure stays on the busy line until one succeeds, a refused token asks
    // for a new authorisation. Main thread.
    void showTransferOutcome(const weibo::TransferOutcome& outcome) override;
    QString failureText() const;
    // The user signed in again (the client holds the new token): the lists go on with it.
    void authorizationRenewed();
    // The body font changed: every list lays its rows out again.
    void fontSettingChanged();

    // --- Refresh and poll (ListRefresher) ---

    void refreshWeibo() override;
    void reloadFailedComments();
    void moreWeibo() override;
    // The poll; `timer` is none for the first poll at start-up.
    void scheduledTask(QTimer* timer);
    weibo::Reply<std::size_t> syncWithListViewController(PXListViewController* controller,
                                                         std::uint64_t unreadCount, bool background);
    QTimer* timer() { return &timer_; }
    // Desktop notifications for the top `count` cells of a list (Announcer). Main thread.
    void notifyGrowl(PXListViewController* controller, const CellArray& dataCells, std::size_t count);
    static QVariantMap registrationDictionaryForGrowl();
    bool isPolling() const { return refresher_->isPolling(); }
    std::uint64_t pollsCompleted() const { return refresher_->pollsCompleted(); }
    std::uint64_t pollsSkipped() const { return refresher_->pollsSkipped(); }
    std::uint64_t refreshesCompleted() const { return refresher_->refreshesCompleted(); }
    std::uint64_t moreCompleted() const { return refresher_->moreCompleted(); }

    // --- Lists, user tab (ListsAndUserTab) ---

    void makeWeiboLists();
    void weiboListClicked(int index = -1);
    weibo::Reply<std::set<std::uint64_t>> totalMembersOfMyList(const QString& listId);
    weibo::Reply<std::set<std::uint64_t>> totalMembersOfUser(const QString& userId, const QString& listId);
    void replaceStatusUserTabViewItemWithUser(const QString& screenName) override;
    void profileButtonClicked(const QString& name) override;
    void profileButtonMenuRequested(const QString& name, const CellPtr& cell, const QPoint& globalPos) override;

    // --- The drawer, the item actions and the user card ---

    void checkDrawer() override;
    void closeDrawer() override;
    bool isDrawerOpenOrOpening() const override;
    CellPtr activeDataCell() const override { return activeDataCell_; }
    void setActiveDataCell(const CellPtr& cell) override { activeDataCell_ = cell; }
    std::uint64_t activeEntityId() const override { return activeEntityId_; }
    void setActiveEntityId(std::uint64_t id) override { activeEntityId_ = id; }
    void displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode) override
    {
        drawer()->displayMessageFromDataCell(cell, toggle, init, mode);
    }
    void displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle, bool fetchData) override
    {
        drawer()->displayCommentsFromDataCell(cell, activeId, toggle, fetchData);
    }
    void displayRepostFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle) override
    {
        drawer()->displayRepostFromDataCell(cell, activeId, toggle);
    }
    void replyOtherCommentFromCommentCell(const CellPtr& cell) override { drawer()->replyOtherCommentFromCommentCell(cell); }
    void setDrawerOffsetWithRow(int row) { drawer()->setDrawerOffsetWithRow(row); }
    void removeCells(const std::set<std::uint64_t>& ids, const QList<PXListViewController*>& controllers);
    void favorite(const CellPtr& cell) { itemActions()->favorite(cell); }
    void follow() { userCard()->follow(); }
    void sendMessage() { userCard()->sendMessage(); }
    PXListViewController* commentListViewController() override { return drawer()->commentListViewController(); }
    bool textViewClickedOnLink(WBTextView* textView, const LinkValue& link, int index) override;
    void textViewClickedOnCell(WBTextView* textView, const MyTextAttachmentCell& cell, const QRectF& rect,
                               int index) override;
    QMenu* textViewMenuForEvent(WBTextView* textView, QContextMenuEvent* event, int index) override;
    Drawer* drawer() override;
    ItemActions* itemActions() override;
    UserCard* userCard() override;
    // The commands on an item, as assistive technology offers them (ItemCommands).
    QStringList itemCommandNames(PXListViewController* list, const CellPtr& cell) override;
    void performItemCommand(PXListViewController* list, const CellPtr& cell, const QString& name) override;
    DrawerEditorContext drawerEditorContext() override;
    boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const override { return weibo_; }
    // A request of an item action: in the background, counted so that the window waits for it when it goes.
    void runItemRequest(std::function<void()> work) override { runInBackground(std::move(work)); }
    // True when no block this window started is still running.
    bool backgroundIdle() { return background_.idle(); }

    // --- The editor windows ---

    // The "发微博" button: the new-status window, reset, centred and shown; ignored while starting.
    void postWeibo() override;
    ComposeWindows* composeWindows() override;

    // --- What the item text and rows draw with ---

    StandardCellContext& cellContext() { return cellContext_; }
    // Shares the application's appearance (by default the window keeps one made from the settings).
    void setAppearance(Appearance* appearance);

signals:
    // The service refused the account's token; sent once until authorizationRenewed.
    void authorizationRefused();
    // Every change of initCount.
    void initCountChanged(qint64 count);
    // The home timeline has been shown for the first time (after firstListViewComplete).
    void firstListViewShown();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The hosts' parts that the window's public members do not already provide.
    TabModel& tabs() override { return *tabs_; }
    TabView* tabView() const override { return chrome_.tabView; }
    PopUpButton* listsButton() const override { return chrome_.listsButton; }
    PopUpButton* subHome() const override { return chrome_.topTabs.at(0); }
    QWidget* alertParent() override { return this; }
    void showHomeTimeline() override;
    void reselect(TabView* inner) override;
    QString otherUserOfEmptyUserTab(const PXListViewController* c) override;
    Announcer& announcer() override;
    void setSelfUser(const boost::shared_ptr<weibo::WBUser>& user) override;
    void setSelfImage(const QImage& image) override;
    HotTextResources& hotTextResources() override;
    const HotTextResources& itemTextResources() const override;
    void firstListShown() override { emit firstListViewShown(); }
    void startupCountChanged(qint64 count) override;
    void startPolling() override;
    void writeMessageTo(const QString& screenName) override;
    WBTextViewDelegate* linkDelegate() override { return this; }
    TimelineHost* listHost() override { return this; }
    PXListViewController* bringForward(int leftTab) override;
    void runInBackground(std::function<void()> work) override;

    void connectCommands();
    void updateWindowTitle(std::uint64_t unread);
    void showUnreadInTitle(std::uint64_t unread) override { updateWindowTitle(unread); }
    void loadShownList(PXListViewController* list) override;

    boost::shared_ptr<weibo::SinaWeibo> weibo_;

    WindowChrome chrome_;

    // The pieces.
    TabModel* tabs_ = nullptr;
    TabSwitching* switching_ = nullptr;
    StartupSequence* startup_ = nullptr;
    std::unique_ptr<ListRefresher> refresher_;
    std::unique_ptr<ListsAndUserTab> lists_;
    Announcer* announcer_ = nullptr;
    KeptLists* keptLists_ = nullptr;
    ComposeWindows* composeWindows_ = nullptr;
    Drawer* drawer_ = nullptr;
    ItemActions* itemActions_ = nullptr;
    UserCard* userCard_ = nullptr;
    class ItemCopy* itemCopy_ = nullptr;
    ItemCommands* itemCommands_ = nullptr;

    CellPtr activeDataCell_;
    std::uint64_t activeEntityId_ = 0;
    QTimer timer_;

    mutable std::mutex selfUserLock_;
    boost::shared_ptr<weibo::WBUser> selfUser_;
    bool authorizationRefused_ = false;

    Appearance ownAppearance_;
    StandardCellContext cellContext_;
    platform::DispatchGroup background_;
    std::atomic<bool> destroying_{false};
};
