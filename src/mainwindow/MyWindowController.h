#pragma once
// The main window of the signed-in account: the two layers of tabs and one list controller per list, the
// unread badges, the busy line, the start-up that brings the account up (pictures, emotion catalogue, account
// check, home catch-up), and the call sites of the refresh, the poll, the item actions and the lists.
#include "cells/Appearance.h"
#include "cells/CellContext.h"
#include "mainwindow/Announcer.h"
#include "mainwindow/EmotionModel.h"
#include "model/Replies.h"
#include "model/WeiboParser.h"
#include "platform/Dispatch.h"
#include "service/WeiboAPI.h"
#include "timeline/TimelineHost.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

class AvatarButton;
class ComposeWindows;
class Drawer;
class ItemActions;
class UserCard;
struct DrawerEditorContext;
class Poller;
class LeftTab;
class PopUpButton;
class ProgressIndicator;
class PXListViewController;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class TabView;
class TabViewItem;
class TopTabContainer;
class URLDownload;

// Threads: the window and every widget live on the main thread; start-up, tab and list fetches run on the
// global queue and hand back to the main thread. Locks: selfUserLock_ guards selfUser_ and contextUser_ (set by
// a background block, read from any thread); background_ counts the blocks the window started, under its own
// lock. initCount_ is only written on the main thread.
class MyWindowController : public QMainWindow, public TimelineHost {
    Q_OBJECT
public:
    // Heights and widths of the window's chrome.
    static constexpr int kTitleBarHeight = 37;
    static constexpr int kLeftColumnWidth = 64;
    static constexpr int kBusyLineHeight = 37;
    // The poll's interval in seconds.
    static constexpr double kPollInterval = 90.0;
    // The catch-up asks for at most this many new statuses; fewer means the list is topped up with older ones.
    static constexpr std::size_t kCatchUpFull = 100;

    // Settings and files of the start-up.
    static const QString kLatestStatusId;  // "LatestStatusId"
    static const QString kLastSelfImage;   // "LastSelfImage"
    static const QString kSelfImage;       // "selfimage", in the resource folder
    // The path of the emoji pictures on the static image host.
    static const QString kEmojiPath;       // "/t3/style/images/common/face/emimage/"
    // Setting a non-empty value prints kFirstListShownMarker on standard output once the home timeline is shown.
    static constexpr const char* kStartupMarkerVariable = "PLUMET_STARTUP_MARKER";
    static constexpr const char* kFirstListShownMarker = "PLUMET_FIRST_LIST_SHOWN";

    // The main window for the account's client, named `windowNibName` (its object name). Builds the widgets,
    // the tab model and the first controllers; makes no request (start-up begins when the window is first shown).
    MyWindowController(const QString& windowNibName, boost::shared_ptr<weibo::SinaWeibo> weiboInstance,
                       QWidget* parent = nullptr);
    ~MyWindowController() override;

    // The first step of quitting: hides the window, makes every command of it do nothing from now on, and waits
    // up to timeoutMs for its background blocks and those of its lists (the caller has cancelled the transfers,
    // so they end at once). False when a block is still running: the window must then not be deleted.
    bool shutdown(int timeoutMs);
    bool isShuttingDown() const { return destroying_.load(); }

    // Shows the window and brings it forward; the first call starts the start-up (windowDidLoad).
    void showWindow();

    // --- Start-up ---

    // Downloads the missing emoji pictures, then, off the main thread: the emotion catalogue, the account check
    // with the avatar, the home catch-up, and initComplete. Runs once.
    void windowDidLoad();
    // Start-up steps still running; while it is not 0 every user command of the window is ignored.
    qint64 initCount() const { return initCount_.load(); }
    bool isStarting() const override { return initCount() != 0; }
    // One start-up step has reported; at 0 the home timeline is shown.
    void initComplete();
    void firstListViewComplete();
    void taskAfterShowFirstListView();
    // The download callbacks: both report one step.
    void downloadDidCreateDestination(URLDownload* download, const QString& path);
    void downloadDidFailWithError(URLDownload* download, const QString& error);
    // Stops the poll and remembers the newest home status for the next start.
    void cleanup();

    // The writable resource folder and its picture folders.
    static QString resourceFolder();
    static QString emojiFolder();
    static QString emotionsFolder();
    // The picture file of an emotion of the catalogue (empty for a phrase that is not in it).
    QString pathForEmotionName(const QString& phrase) const;
    // The emotion catalogue: grouped by category in the service's order, and by phrase. Empty until loaded.
    const QList<QList<EmotionModel>>& categoryEmotions() const { return categoryEmotions_; }
    const QHash<QString, EmotionModel>& keyedEmotions() const { return keyedEmotions_; }

    // --- The tab model ---

    TabViewItem* addFirstLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                 TabView* tabView);
    TabViewItem* addSecondLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                  TabViewItem* firstLayerItem);
    // The controller of a second-layer item, made on first use (none for no item).
    PXListViewController* listViewControllerForTabViewItem(TabViewItem* item);
    PXListViewController* listViewControllerAtFirstLayerIndex(int firstLayerIndex, int secondLayerIndex);
    PXListViewController* weiboListViewController();      // (0, 0) the home timeline
    PXListViewController* userListViewController();       // (0, 1) the user tab
    PXListViewController* listsListViewController();      // (0, 2) "分组"
    PXListViewController* comments2meListViewController(); // (1, 0)
    PXListViewController* commentsByMeListViewController(); // (1, 1)
    PXListViewController* atmeListViewController();       // (2, 0)
    PXListViewController* messageListViewController();    // (3, 0)
    PXListViewController* favoriteListViewController();   // (4, 0)
    // The controller of the selected second-layer item of the selected first-layer item.
    PXListViewController* selectedListViewController();
    // The messages of the open conversation (not in the tab model).
    PXListViewController* chatListViewController() const override { return chatListViewController_; }
    // Every controller made so far, by second-layer item.
    const QHash<TabViewItem*, PXListViewController*>& listViewControllers() const { return listViewControllers_; }

    // --- The signed-in user (any thread) ---

    std::uint64_t selfUserId() const override;
    // The id in decimal, or an empty text when there is no user.
    QString selfUserIdString() const;
    QString selfUserName() const;
    boost::shared_ptr<weibo::WBUser> selfUser() const;

    // --- Tabs, badges, busy line ---

    void leftTabClicked(LeftTab* tab);
    void topTabClicked(PopUpButton* popUp);
    void tabViewDidSelectTabViewItem(TabView* tabView, TabViewItem* item);
    void updateLeftTabs() override;
    // Puts an operation's text on the busy line until the returned BusyText goes. Any thread.
    BusyText displayBusy(const QString& text) override;
    // The texts on the busy line, oldest first.
    QStringList busyHints() const;
    // The outcome of a refresh or poll: a failure shows a short text where the busy line is (while no busy text
    // is shown), a success takes it away, a refused token asks for a new authorisation. Main thread.
    void showTransferOutcome(const weibo::TransferOutcome& outcome) override;
    QString failureText() const { return failureText_; }
    // The user signed in again (the client holds the new token): the lists go on with it.
    void authorizationRenewed();
    // The body font changed: every list lays its rows out again.
    void fontSettingChanged();

    // --- Refresh and poll ---

    // Newer items for the selected list (the refresh button).
    void refreshWeibo();
    // The open comment drawer's page, when its last load failed, is loaded again.
    void reloadFailedComments();
    // Older items for the selected list (its end was reached); skipped while an older load of that list runs.
    void moreWeibo() override;
    // The poll; `timer` is none for the first poll at start-up. A poll that starts while another is still
    // under way is skipped.
    void scheduledTask(QTimer* timer);
    // Brings a list up to date with the service's unread count `unreadCount`; answers the cells fetched and the
    // fetch's outcome. Background thread.
    weibo::Reply<std::size_t> syncWithListViewController(PXListViewController* controller,
                                                         std::uint64_t unreadCount, bool background);
    QTimer* timer() { return &timer_; }
    // Desktop notifications for the top `count` cells of `dataCells`, newest first, when "UseGrowl" and the
    // setting of the controller's list ("NewStatus", "NewComment", "NewAtme", "NewMessage") are on: a few one by
    // one and the rest in a summary, each item once at most (Announcer). Main thread.
    void notifyGrowl(PXListViewController* controller, const CellArray& dataCells, std::size_t count);
    // "AllNotifications" and "DefaultNotifications", each the one name "StandardReminder".
    static QVariantMap registrationDictionaryForGrowl();
    // Whether a poll is under way; and how many polls, refreshes and older-item loads have ended so far, and
    // how many polls were skipped because one was under way (for whoever waits for one to end).
    bool isPolling() const;
    std::uint64_t pollsCompleted() const;
    std::uint64_t pollsSkipped() const;
    std::uint64_t refreshesCompleted() const;
    std::uint64_t moreCompleted() const;

private:
    friend class Poller;
    struct RefreshState;
    static std::shared_ptr<RefreshState> makeRefreshState();
    // Notifications in the order they are posted.
    using Announcements = std::vector<Announcer::Announcement>;
    // What notifyGrowl would post, each item marked as announced. Main thread.
    Announcements announcementsFor(PXListViewController* controller, const CellArray& dataCells, std::size_t count);
    // Posts them in order; any thread.
    static void post(const Announcements& announcements);
    // The name of the user an empty user tab shows, when that is not the signed-in user (else empty).
    QString otherUserOfEmptyUserTab(const PXListViewController* c);
    // The open conversation picks up new (mode 2) or older (mode 3) messages when `c` is the conversations.
    void refreshOpenConversation(PXListViewController* c, int mode);
    // The rows of `cells` that a reload of `c` will show get their heights in short main-thread slices, so
    // that the reload itself lays out nothing new. Background thread.
    void prepareRowsForReload(PXListViewController* c, const CellArray& cells);
    // Loads and polls of one list run one after the other; the poll's state and the announced items.
    std::shared_ptr<RefreshState> refresh_ = makeRefreshState();
    std::unique_ptr<Poller> poller_;
    void showHintLine();

public:

    // --- Lists, user tab ---

    // Builds the "分组" chooser: "所有", then the user's lists.
    void makeWeiboLists();
    // An entry of the chooser (-1: its selected entry).
    void weiboListClicked(int index = -1);
    // The members of a list, all of them or a failure (the outcome of the first page that failed).
    weibo::Reply<std::set<std::uint64_t>> totalMembersOfMyList(const QString& listId);
    weibo::Reply<std::set<std::uint64_t>> totalMembersOfUser(const QString& userId, const QString& listId);
    // Shows a user's statuses in the user tab ("" for the signed-in user).
    void replaceStatusUserTabViewItemWithUser(const QString& screenName);
    void profileButtonClicked(const QString& name) override;
    // The commands on a list's item (ItemCommands), for assistive technology.
    QStringList itemCommandNames(PXListViewController* list, const CellPtr& cell) override;
    void performItemCommand(PXListViewController* list, const CellPtr& cell, const QString& name) override;
    // A right click on a row's avatar pops up the user card of that user, as one on an @name does.
    void profileButtonMenuRequested(const QString& name, const CellPtr& cell, const QPoint& globalPos) override;

    // --- The drawer, the item actions and the user card (Drawer, ItemActions, UserCard) ---

    void checkDrawer() override;
    void closeDrawer() override;
    bool isDrawerOpenOrOpening() const override;
    CellPtr activeDataCell() const override { return activeDataCell_; }
    void setActiveDataCell(const CellPtr& cell) override { activeDataCell_ = cell; }
    std::uint64_t activeEntityId() const override { return activeEntityId_; }
    void setActiveEntityId(std::uint64_t id) { activeEntityId_ = id; }
    void displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode) override;
    void displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle,
                                     bool fetchData) override;
    void displayRepostFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle);
    void replyOtherCommentFromCommentCell(const CellPtr& cell);
    void setDrawerOffsetWithRow(int row);
    void removeCells(const std::set<std::uint64_t>& ids, const QList<PXListViewController*>& controllers);
    void favorite(const CellPtr& cell);
    void follow();
    void sendMessage();
    // The comments of the drawer's status (made on first use).
    PXListViewController* commentListViewController();
    bool textViewClickedOnLink(WBTextView* textView, const LinkValue& link, int index) override;
    void textViewClickedOnCell(WBTextView* textView, const MyTextAttachmentCell& cell, const QRectF& rect,
                               int index) override;
    QMenu* textViewMenuForEvent(WBTextView* textView, QContextMenuEvent* event, int index) override;
    Drawer* drawer();
    ItemActions* itemActions();
    UserCard* userCard();
    // What the drawer's editors ask of this window.
    DrawerEditorContext drawerEditorContext();
    boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const { return weibo_; }
    // A request of an item action: in the background, counted so that the window waits for it when it goes.
    void runItemRequest(std::function<void()> work) { runInBackground(std::move(work)); }
    // True when no block this window started is still running (its busy line may be empty before one starts).
    bool backgroundIdle() { return background_.idle(); }

    // --- The editor windows ---

    // The "发微博" button: the new-status window, reset, centred and shown; ignored while starting.
    void postWeibo();
    // The new-status and send-message windows of this window (made on first use).
    ComposeWindows* composeWindows();

    // --- What the item text and rows draw with ---

    StandardCellContext& cellContext() { return cellContext_; }
    // Shares the application's appearance (by default the window keeps one made from the settings).
    void setAppearance(Appearance* appearance);

    // --- The widgets ---

    AvatarButton* selfButton() const { return selfButton_; }
    LeftTab* timelineHome() const { return timelineHome_; }
    LeftTab* timelineComment() const { return timelineComment_; }
    LeftTab* timelineMention() const { return timelineMention_; }
    LeftTab* favorites() const { return favorites_; }
    LeftTab* directMessage() const { return directMessage_; }
    const QList<LeftTab*>& leftTabs() const { return leftTabs_; }
    PopUpButton* listsButton() const { return listsButton_; }
    PopUpButton* subHome() const { return subHome_; }
    PopUpButton* subComment() const { return subComment_; }
    PopUpButton* subMention() const { return subMention_; }
    const QList<PopUpButton*>& topTabs() const { return topTabs_; }
    ProgressIndicator* progressIndicator() const { return progressIndicator_; }
    QWidget* customViewTitleBarContainer() const { return customViewTitleBarContainer_; }
    QPushButton* refreshButton() const { return refreshButton_; }
    QPushButton* postButton() const { return postButton_; }
    // Shown with the conversations: opens the send-message window for any recipient.
    QPushButton* newMessageButton() const { return newMessageButton_; }
    TabView* tabView() const { return tabView_; }
    TopTabContainer* topTabContainer() const { return topTabContainer_; }
    QWidget* hintView() const { return hintView_; }
    QLabel* busyHint() const { return busyHint_; }

signals:
    // The service refused the account's token; sent once until authorizationRenewed.
    void authorizationRefused();
    // Every change of initCount.
    void initCountChanged(qint64 count);
    // The home timeline has been shown for the first time (after firstListViewComplete).
    void firstListViewShown();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void awakeFromNib();
    void buildWindow();
    void buildTabModel();
    void placeHintView();
    void updateWindowTitle(std::uint64_t unread);
    // The look of the window's commands: disabled while the start-up runs.
    void showCommandsEnabled(bool enabled);
    TabView* innerTabView(TabViewItem* firstLayerItem) const;
    TabViewItem* secondLayerItem(int firstLayerIndex, int secondLayerIndex) const;

    // Start-up parts.
    void setInitCount(qint64 count);
    void makeEmojiAvailable();
    void loadEmotions(const weibo::Records<weibo::WBEmotion>& records);
    void startDownload(const QString& address, const QString& destination);
    void loadSelfImage(const boost::shared_ptr<weibo::WBUser>& user);
    void setSelfImage(const QImage& image);
    weibo::TransferOutcome catchUpHomeTimeline(PXListViewController* home, std::uint64_t latestStatusId);

    // Background work started by the window: counted, so that the destructor can wait for it.
    void runInBackground(std::function<void()> work);
    // Runs fn on the main thread after the current event, unless the window has gone by then. Any thread.
    void performOnMain(std::function<void()> fn);
    void applyListMembers(const QString& key, const std::set<std::uint64_t>& members);

    boost::shared_ptr<weibo::SinaWeibo> weibo_;

    // Widgets (owned by the window).
    QWidget* customViewTitleBarContainer_ = nullptr;
    AvatarButton* selfButton_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QPushButton* postButton_ = nullptr;
    QPushButton* newMessageButton_ = nullptr;
    LeftTab* timelineHome_ = nullptr;
    LeftTab* timelineComment_ = nullptr;
    LeftTab* timelineMention_ = nullptr;
    LeftTab* favorites_ = nullptr;
    LeftTab* directMessage_ = nullptr;
    QList<LeftTab*> leftTabs_;
    PopUpButton* listsButton_ = nullptr;
    PopUpButton* subHome_ = nullptr;
    PopUpButton* subComment_ = nullptr;
    PopUpButton* subMention_ = nullptr;
    QList<PopUpButton*> topTabs_;
    ProgressIndicator* progressIndicator_ = nullptr;
    TabView* tabView_ = nullptr;
    TopTabContainer* topTabContainer_ = nullptr;
    QWidget* content_ = nullptr;
    QWidget* hintView_ = nullptr;
    QLabel* busyHint_ = nullptr;

    // Lists.
    QHash<TabViewItem*, PXListViewController*> listViewControllers_;
    PXListViewController* chatListViewController_ = nullptr;
    CellPtr activeDataCell_;
    std::uint64_t activeEntityId_ = 0;
    QTimer timer_;

    std::atomic<qint64> initCount_{1};
    bool loaded_ = false;
    bool firstListShown_ = false;
    bool listsMade_ = false;

    mutable std::mutex selfUserLock_;
    boost::shared_ptr<weibo::WBUser> selfUser_;
    boost::shared_ptr<weibo::WBUser> contextUser_;

    struct BusyEntry {
        std::uint64_t id;
        QString text;
    };
    QList<BusyEntry> busyHints_;  // main thread
    BusyText startupBusy_;
    std::atomic<std::uint64_t> nextBusyId_{1};
    QString failureText_;
    bool authorizationRefused_ = false;
    QList<QList<EmotionModel>> categoryEmotions_;
    QHash<QString, EmotionModel> keyedEmotions_;
    // List id in decimal -> the ids of its members; main thread.
    QHash<QString, std::set<std::uint64_t>> weiboListMembers_;
    // The latest choice of a list and of a user for the user tab: a late answer to an earlier one is not applied.
    std::uint64_t listChoice_ = 0;
    std::uint64_t userTabChoice_ = 0;

    QNetworkAccessManager* downloads_ = nullptr;
    Appearance ownAppearance_;
    StandardCellContext cellContext_;

    ComposeWindows* composeWindows_ = nullptr;
    Drawer* drawer_ = nullptr;
    ItemActions* itemActions_ = nullptr;
    UserCard* userCard_ = nullptr;
    platform::DispatchGroup background_;
    std::atomic<bool> destroying_{false};
};
