#pragma once

#include "cells/CellListController.h"
#include "cells/CellTypes.h"
#include "model/WeiboParser.h"
#include "platform/Dispatch.h"
#include "service/WeiboAPI.h"
#include "timeline/WeiboOptions.h"
#include "widgets/PXListViewDelegate.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariant>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class PXListView;
class TimelineHost;
class TimelineRowView;

// One list the user can look at (the home timeline, a user's statuses, mentions, comments received and
// written, the comments of one status, favourites, the conversations, the messages of one conversation). It
// fetches pages of its kind through the shared client, turns them into cell data objects, merges them with
// what the list shows (newest first, at most 1024), keeps locally inserted items until the service returns
// them, counts the unread items at the top, and is the data source and delegate of its list view.
//
// Threads: fetches (fetchData..., the message fetches, the count refresh) run on a background thread; the
// list view, the row views and everything named "reload" or "scroll" run on the main thread. The cell arrays
// are immutable and replaced whole, so the main thread always reads a complete array.
// Locks: cellsLock_ guards the three arrays, fakeCells_ and invocation_, and is held across each
// merge-and-store; lock_ (recursive) guards unreadCount_, scrollMode_ and belowFixedHeight_; messagesLock_
// keeps one controller's message refreshes from overlapping.
class PXListViewController : public QObject, public PXListViewDelegate, public CellListController {
    Q_OBJECT
public:
    // The list's limits.
    static constexpr std::size_t kMaxCells = 1024;
    static constexpr std::uint64_t kMaxUnreadCount = 1024;
    // Items per request when a fetch is split into pages.
    static constexpr int kPageCount = 100;
    // Comments per page of the comments of one status.
    static constexpr int kCommentPageCount = 50;
    // A counts request is sent once this many ids are gathered (a status and its repost go in together, so a
    // request holds at most 100).
    static constexpr std::size_t kCountsBatch = 99;

    // Cell type codes: how a response is read and which cell data objects it makes.
    enum CellType { kCellTypeStatus = 1, kCellTypeComment = 2, kCellTypeFavorite = 3, kCellTypeMessage = 4 };
    // Fetch modes: 1 replaces the list, 2 puts newer items on top, 3 appends older items.
    enum FetchMode { kModeInitial = 1, kModeNewer = 2, kModeOlder = 3 };
    // Scroll modes: 0 idle, 1 hold the distance to the document's bottom across the next reload, 2 busy.
    enum ScrollMode { kScrollIdle = 0, kScrollHold = 1, kScrollBusy = 2 };

    using CellArrayPtr = std::shared_ptr<const CellArray>;
    // The required arguments of a fetch: the status id for the comments of one status, none otherwise.
    using RequiredArguments = std::vector<std::uint64_t>;
    // The stored fetch operation: one request with these options, parsed into cells, with its outcome.
    using FetchOperation =
        std::function<weibo::Reply<CellArray>(const RequiredArguments& required, const WeiboOptions& options)>;
    // The one-shot completion callback: called with callbackObject after the next complete reload.
    using CallbackSelector = std::function<void(const QVariant& object)>;

    // A controller of the list kind `identifier` (an endpoint path, e.g. "/statuses/friends_timeline"), showing
    // its rows in a new list view. `nibName` is the list view's name ("PXListView"); the row view follows
    // from the kind. The client must not be empty. `host` (the main window) may be set later.
    PXListViewController(const QString& nibName, const QString& identifier,
                         boost::shared_ptr<weibo::SinaWeibo> weiboInstance, TimelineHost* host = nullptr,
                         QObject* parent = nullptr);
    ~PXListViewController() override;
    // Quitting: from now on no block's result is applied; waits up to timeoutMs for the page loads and count
    // refreshes started here. False when one still runs (the controller must then not be deleted).
    bool shutdown(int timeoutMs)
    {
        destroying_ = true;
        return background_.wait(timeoutMs);
    }

    // --- Kind, client, host, view ---

    QString identifier() const override { return identifier_; }
    QString nibName() const { return nibName_; }
    // The name, and reuse identifier, of the kind's row view ("WeiboCell", "MessageGroupCell", "ChatCell").
    QString rowNibName() const { return rowNibName_; }
    boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const;
    void setWeiboInstance(boost::shared_ptr<weibo::SinaWeibo> weiboInstance);
    TimelineHost* host() const { return host_; }
    void setHost(TimelineHost* host) { host_ = host; }
    // The list view (the controller's view). Owned by the controller until it is given a parent widget.
    PXListView* listView() const;
    PXListView* view() const { return listView(); }
    // The row view that gives the row layout constants.
    TimelineRowView* dummyCell() const { return dummyCell_; }
    double kMinHeightOfCell() const { return kMinHeightOfCell_; }
    double kSpaceHeightOfCell() const { return kSpaceHeightOfCell_; }

    // --- The cell arrays (replaced whole; any thread) ---

    CellArrayPtr dataOfCells() const;
    void setDataOfCells(CellArray cells);
    // Received and sent direct messages, newest first (conversation lists only).
    CellArrayPtr receivedMessageCells() const;
    void setReceivedMessageCells(CellArray cells);
    CellArrayPtr sentMessageCells() const;
    void setSentMessageCells(CellArray cells);
    // The locally inserted items not yet confirmed by the service.
    CellArray fakeCells() const;

    // --- Fetching (background thread) ---

    // Fetches with the kind's operation, merges into dataOfCells with `mode` and answers the number of cells
    // fetched (before the merge dropped any) with the outcome of the fetch (the first failed page's). What the
    // pages before a failed one brought is merged. `background` changes nothing: every fetch runs on the calling
    // thread (never the main one) whatever it says.
    weibo::Reply<std::size_t> fetchDataWithOptions(const weibo::SinaWeiboOptions& options, int mode, bool background);
    weibo::Reply<std::size_t> fetchDataWithRequired(const RequiredArguments& required,
                                                    const weibo::SinaWeiboOptions& options, int mode,
                                                    bool background);
    // The paging loop: the new cells, newest first; does not touch dataOfCells. With min_id_: pages of 100
    // newer than min_id_ until a page is not full or 100 are gathered. With count_ above 100: pages of 100
    // until count_ (at most 1024) are gathered or a page is not full. Otherwise one request as given. A page never
    // adds more than it asked for (its newest ones), and a min_id_ loop keeps only items newer than min_id_. It
    // stops at the first failed page.
    weibo::Reply<CellArray> fetchCellsWithRequired(const RequiredArguments& required,
                                                   const weibo::SinaWeiboOptions& options);
    // The same loop over a given operation. The message fetches use it with their own stream's operation, so the
    // stored one is never rebound under a fetch that runs at the same time.
    // `gap`, when given, is set when a min_id_ loop stopped at its limit of 100 with a full page: items between
    // the oldest one fetched and min_id_ may not have been fetched.
    weibo::Reply<CellArray> fetchPagesWithOperation(const FetchOperation& operation, const RequiredArguments& required,
                                                    const weibo::SinaWeiboOptions& options, bool* gap = nullptr);

    // --- The seam row of a newer-items load that stopped short (SeamCell) ---

    // Loads, on a background thread, the items missing at that seam of dataOfCells (newest first, within the
    // list's cap), puts them in its place and takes the seam away; a failed load leaves the seam. Main thread.
    void loadItemsAtSeam(const CellPtr& seam);
    // Whether a load of that seam is under way, and how many seam loads have ended.
    std::uint64_t seamLoadsCompleted() const { return seamLoads_.load(); }

    // The kinds' fetch operations: one request each, parsed with the kind's cell type.
    weibo::Reply<CellArray> timelineFriendsWithOptions(const WeiboOptions& options);
    weibo::Reply<CellArray> timelineUserWithOptions(const WeiboOptions& options);
    weibo::Reply<CellArray> timelineMentionsWithOptions(const WeiboOptions& options);
    weibo::Reply<CellArray> timelineCommentsToMeWithOptions(const WeiboOptions& options);
    weibo::Reply<CellArray> timelineCommentsByMeWithOptions(const WeiboOptions& options);
    // required[0] is the status id.
    weibo::Reply<CellArray> timelineCommentsWithRequired(const RequiredArguments& required,
                                                         const WeiboOptions& options);
    weibo::Reply<CellArray> favoritesWithOptions(const WeiboOptions& options);
    weibo::Reply<CellArray> receivedMessagesWithOptions(const WeiboOptions& options);
    weibo::Reply<CellArray> sentMessagesWithOptions(const WeiboOptions& options);

    // The stored fetch operation (empty for kinds that fetch nothing).
    FetchOperation invocation() const;
    void setInvocation(FetchOperation operation);

    // One cell per record of the answer, in its order, with the answer's outcome; none for a failed or unusable
    // answer (its outcome says which). Status and favourite cells get their comment and repost counts before they
    // are returned.
    // At most `limit` cells, the newest.
    weibo::Reply<CellArray> parseResponse(const weibo::Reply<std::string>& response, int cellType,
                                          std::size_t limit = kMaxCells);

    // The merge of new cells into old ones by mode, within 1024 cells. Mode 1 replaces (the newest 1024 when
    // more came); mode 2 drops the fake cells the new ones confirm and puts the new ones on top (a cell
    // already shown is not shown twice), keeping the newest 1024; mode 3 appends, showing the inclusive
    // max_id_ seam once and appending only what fits under 1024. No new cells: the old cells.
    CellArray cellsByMergeNewCells(const CellArray& newCells, const CellArray& oldCells, int mode);

    // The id of the bottom-most / top-most cell that is not fake (0 for none).
    std::uint64_t earliestEntityId() const;
    std::uint64_t latestEntityId() const;
    std::uint64_t earliestEntityIdOnCells(const CellArray& cells) const;
    std::uint64_t latestEntityIdOnCells(const CellArray& cells) const;

    // Inserts a locally made item on top of dataOfCells, or of `cells` when that is dataOfCells or
    // sentMessageCells (any other array is not stored); nothing when an equal cell is already there. The
    // unread count is left alone: the user's own items are never unread.
    void addFakeCell(const CellPtr& cell);
    void addFakeCell(const CellPtr& cell, const CellArrayPtr& cells);
    // Removes items by entity id from dataOfCells, or from `cells` when that is one of the three arrays.
    void removeCells(const std::set<std::uint64_t>& ids);
    void removeCellsIn(const std::set<std::uint64_t>& ids, const CellArrayPtr& cells);
    // The row of that very object (not an equal one), or -1.
    int rowForCell(const TimelineCellBase* cell) const;
    int rowForCell(const TimelineCellBase* cell, const CellArray& cells) const;

    // --- Unread bookkeeping ---

    // Clamped to 1024.
    void setUnreadCount(std::uint64_t count);
    std::uint64_t unreadCount() const { return unreadCount_.load(); }
    // Main thread: when unread rows are in view (home timeline, comments received, mentions), the unread
    // count is cleared, the service's counter reset and the badges redrawn.
    void checkUnread();
    // Resets the service's counter of the kind (comments received, mentions); the answer is ignored. On the
    // main thread the request is handed to a background thread.
    void resetUnreadCount();

    // Sets the favourite flag of the status `statusId` in the rows that show it (home timeline, user
    // statuses, mentions).
    void updateCell(std::uint64_t statusId, bool favorited);

    // --- Direct-message conversations (background thread; "/direct_messages") ---

    // Reads the unread message count from the service (modes 1 and 2), then fetchMessagesWithUnread. Answers the
    // first failure.
    weibo::TransferOutcome fetchMessagesWithMode(int mode);
    // Received, then sent messages, the unread flags, and the conversations when anything came; answers the
    // number of received messages fetched and the first failure.
    weibo::Reply<std::size_t> fetchMessagesWithUnread(std::uint64_t unread, int mode);
    weibo::Reply<std::size_t> fetchReceivedMessageWithUnread(std::uint64_t unread, int mode);
    weibo::Reply<std::size_t> fetchSentMessageWithMode(int mode);
    // The newest `unread` received messages are unread, the others read.
    void syncReceivedMessagesWithUnread(std::uint64_t unread);
    // Rebuilds the conversations from the two message arrays, keeping an open conversation drawer on the same
    // correspondent.
    void makeMessageGroups();
    MessageGroupCellPtr messageGroupById(std::uint64_t userId) const;
    // The first group whose last cell was sent by / to `userId`, or -1.
    static int findMsgGroupBySenderId(const std::vector<MessageCellArray>& groups, std::uint64_t userId);
    static int findMsgGroupByRecipientId(const std::vector<MessageCellArray>& groups, std::uint64_t userId);
    // Resets the service's direct-message counter (conversation list only); the answer is ignored.
    void resetUnreadMessageCount();

    // --- Comment and favourite pages, counts ---

    std::uint64_t commentPage() const { return commentPage_.load(); }
    void setCommentPage(std::uint64_t page) { commentPage_.store(page); }
    // Main thread: load page commentPage of the comments of the main window's active status / of favourites.
    void reloadCommentPageData();
    void reloadFavoritesPageData();
    // Whether the last comment page of that status failed to load (the drawer loads it again when shown).
    bool commentsNeedReload(std::uint64_t statusId) const;
    // The comment and repost counts of every row (home timeline, user statuses, mentions, favourites): asked on
    // the calling thread, written on the main thread.
    void updateCommentRepostCounts();
    // The counts of cells nobody shows yet, written on the calling thread.
    void updateCommentRepostCountsWithinCells(const CellArray& cells);
    // The counts of the first 1024 of these cells, requested in batches of at most 100 ids.
    weibo::WBCountTable countsOfCells(const CellArray& cells);
    void updateCells(const CellArray& cells, const weibo::WBCountTable& counts);

    // --- Presentation (main thread) ---

    int numberOfRowsInListView(PXListView* listView) override;
    double listViewHeightOfRow(PXListView* listView, int row) override;
    PXListViewCell* listViewCellForRow(PXListView* listView, int row) override;
    void listViewSelectionDidChange(PXListView* listView) override;
    void listViewDidEndLiveResize(PXListView* listView) override;
    QString listViewAccessibleTextOfRow(PXListView* listView, int row) override;
    QStringList listViewAccessibleActionsOfRow(PXListView* listView, int row) override;
    void listViewPerformAccessibleAction(PXListView* listView, int row, const QString& action) override;

    // Recomputes the heights that need it, reloads the list view and settles the scroll position.
    void reloadData();
    double cellWidth() const override { return cellWidth_.load(); }
    // 0 makes the next reload recompute every height (after a font change).
    void setCellWidth(double width) { cellWidth_.store(width); }
    void beginImageLoad() override;
    void defferedReloadData() override;
    void reloadIfCellVisible(const TimelineCellBase& cell) override;
    std::uint64_t countdownToReloadData() const { return countdownToReloadData_.load(); }

    // Setting 1 records the distance from the bottom of the visible area to the bottom of the document.
    void setScrollMode(std::uint64_t mode);
    std::uint64_t scrollMode() const { return scrollMode_.load(); }
    double belowFixedHeight() const;

    void setCallbackTarget(QObject* target);
    void setCallbackSelector(CallbackSelector selector);
    void setCallbackObject(const QVariant& object);
    bool hasCallback() const { return callbackTarget_ && callbackSelector_; }

    void installScrollHook();
    void uninstallScrollHook();
    // Reacts to the top (previous comment page) and the bottom (more items) of the list.
    void checkScrollerBound();
    // Loads more at the bottom, by kind.
    void reloadPreappendData();
    void drawScroller();

public slots:
    void contentViewBoundsDidChange(const QRect& bounds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Whether the left mouse button is held (a drag may still be under way).
    virtual bool isLeftMouseButtonDown() const;
    // One counts request (the client's statusCounts); the seam where a test watches the batches.
    virtual weibo::Reply<std::string> requestStatusCounts(const std::vector<std::uint64_t>& ids);

private:
    bool isKind(const std::string& path) const { return kind_ == path; }
    // The comments of a status and the messages of a conversation are shown inside the drawer: their own
    // scrolling and reloading says nothing about whether the drawer's item is still in view.
    bool isInDrawer() const
    {
        return isKind(weibo::WEIBO_API_TIMELINE_COMMENTS) || isKind(weibo::WEIBO_API_MESSAGE_CHAT);
    }
    CellArrayPtr* arrayFor(const CellArrayPtr& cells);
    bool countsAsFake(const TimelineCellBase& cell) const;
    // Puts a seam row below the fetched cells of a merged newer-items load (cellsLock_ held).
    void insertSeam(CellArray& merged, const CellArray& newCells, std::uint64_t newerThan);
    void fillRowView(TimelineRowView* view, const CellPtr& cell);
    // Background work started here: counted, so that the destructor can wait for it.
    void runInBackground(std::function<void()> work);
    std::uint64_t commentTotalOfActiveStatus() const;

    const QString nibName_;
    const QString identifier_;
    const std::string kind_;
    QString rowNibName_;
    TimelineHost* host_;

    mutable std::mutex weiboLock_;  // guards weibo_
    boost::shared_ptr<weibo::SinaWeibo> weibo_;

    mutable std::recursive_mutex cellsLock_;
    CellArrayPtr dataOfCells_;
    CellArrayPtr receivedMessageCells_;
    CellArrayPtr sentMessageCells_;
    CellArray fakeCells_;
    FetchOperation invocation_;
    std::mutex messagesLock_;

    mutable std::recursive_mutex lock_;
    std::atomic<std::uint64_t> unreadCount_{0};
    std::atomic<std::uint64_t> scrollMode_{kScrollIdle};
    double belowFixedHeight_ = 0;

    std::atomic<std::uint64_t> commentPage_{1};
    std::atomic<std::uint64_t> commentLoadFailedFor_{0};
    std::atomic<double> cellWidth_{0};
    std::atomic<std::uint64_t> countdownToReloadData_{0};
    double kMinHeightOfCell_ = 0;
    double kSpaceHeightOfCell_ = 0;

    QPointer<PXListView> listView_;
    TimelineRowView* dummyCell_ = nullptr;
    QMetaObject::Connection scrollHook_;
    bool recheckPending_ = false;
    // The user moved to the top (by a scroll that ended there, or a wheel turned up at the top); a list that
    // merely lands at the top (a reload, a resize) does not go back a comment page.
    bool topReachedByUser_ = false;
    int lastContentOffset_ = 0;
    bool rowReloadPending_ = false;

    QPointer<QObject> callbackTarget_;
    CallbackSelector callbackSelector_;
    QVariant callbackObject_;

    // Seams whose items are being loaded; guarded by cellsLock_.
    std::set<const TimelineCellBase*> seamsLoading_;
    std::atomic<std::uint64_t> seamLoads_{0};

    platform::DispatchGroup background_;
    std::atomic<bool> destroying_{false};
};
