#pragma once

#include "cells/CellListController.h"
#include "cells/CellTypes.h"
#include "cells/ListKind.h"
#include "model/WeiboParser.h"
#include "platform/Dispatch.h"
#include "service/WeiboAPI.h"
#include "timeline/ListLoader.h"
#include "timeline/ListStore.h"
#include "timeline/MessageGrouping.h"
#include "timeline/ConversationStreams.h"
#include "timeline/WeiboOptions.h"
#include "widgets/PXListViewDelegate.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QVariant>

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class ListPresenter;
class PXListView;
class TimelineHost;
class TimelineRowView;

// One list the user can look at: it fetches pages of its kind, turns them into cells, merges them with what the
// list shows (newest first, at most 1024), keeps locally made items until the service returns them, counts the
// unread items at the top, and is the data source and delegate of its list view. It is made of three parts: the
// store (cells, merge rules, fakes, seams, bounds; no widget), the loader (the list's turn, and the generation of
// what it shows: answers are applied on the main thread, only while current) and the presenter (the list view's
// delegate, scroll modes, the one-shot callback, the selection). What differs between kinds comes from the kind
// table. The methods below are the list's entry points, most of them short calls into those parts.
// Threads: fetches run on a background thread; the list view, every merge into a shown array and everything named
// "reload" or "scroll" run on the main thread. Arrays are immutable and replaced whole.
class PXListViewController : public QObject, public PXListViewDelegate, public CellListController {
    Q_OBJECT
public:
    // The list's limits.
    static constexpr std::size_t kMaxCells = liststore::kMaxCells;
    static constexpr std::uint64_t kMaxUnreadCount = liststore::kMaxUnreadCount;
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
    enum FetchMode { kModeInitial = liststore::kReplace, kModeNewer = liststore::kNewer, kModeOlder = liststore::kOlder };
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
    // Quitting: from now on no answer is applied; waits up to timeoutMs for the loads started here. False when
    // one still runs (the controller must then not be deleted).
    bool shutdown(int timeoutMs);

    // --- Kind, client, host, parts ---

    QString identifier() const override { return identifier_; }
    const ListKind& kind() const override { return kind_; }
    QString nibName() const { return nibName_; }
    // The name, and reuse identifier, of the kind's row view ("WeiboCell", "MessageGroupCell", "ChatCell").
    QString rowNibName() const;
    boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const;
    void setWeiboInstance(boost::shared_ptr<weibo::SinaWeibo> weiboInstance);
    TimelineHost* host() const { return host_; }
    void setHost(TimelineHost* host) { host_ = host; }
    ListStore& store() { return store_; }
    ListLoader& loader() { return loader_; }
    ListPresenter& presenter() { return *presenter_; }
    // The list view (the controller's view). Owned by the controller until it is given a parent widget.
    PXListView* listView() const;
    PXListView* view() const { return listView(); }
    // The row view that gives the row layout constants.
    TimelineRowView* dummyCell() const;
    double kMinHeightOfCell() const;
    double kSpaceHeightOfCell() const;

    // --- The cell arrays (replaced whole; read on any thread, written on the main thread) ---

    CellArrayPtr dataOfCells() const { return store_.cells(); }
    void setDataOfCells(CellArray cells) { store_.setCells(std::move(cells)); }
    // Received and sent direct messages, newest first (conversation lists only).
    CellArrayPtr receivedMessageCells() const { return store_.cells(ListStore::Array::Received); }
    void setReceivedMessageCells(CellArray cells) { store_.setCells(std::move(cells), ListStore::Array::Received); }
    CellArrayPtr sentMessageCells() const { return store_.cells(ListStore::Array::Sent); }
    void setSentMessageCells(CellArray cells) { store_.setCells(std::move(cells), ListStore::Array::Sent); }
    // The locally inserted items not yet confirmed by the service.
    CellArray fakeCells() const { return store_.fakeCells(); }

    // --- Fetching (background thread; on the main thread it runs inline) ---

    // Fetches with the kind's operation in the list's turn, merges into dataOfCells with `mode` on the main thread
    // (while the load is current) and answers the number of cells fetched with the outcome of the first failed page
    // (what the pages before it brought is merged). `background` changes nothing.
    weibo::Reply<std::size_t> fetchDataWithOptions(const weibo::SinaWeiboOptions& options, int mode, bool background);
    weibo::Reply<std::size_t> fetchDataWithRequired(const RequiredArguments& required,
                                                    const weibo::SinaWeiboOptions& options, int mode,
                                                    bool background);
    // The paging loop (see fetchPages): the new cells, newest first; does not touch dataOfCells.
    weibo::Reply<CellArray> fetchCellsWithRequired(const RequiredArguments& required,
                                                   const weibo::SinaWeiboOptions& options);
    weibo::Reply<CellArray> fetchPagesWithOperation(const FetchOperation& operation, const RequiredArguments& required,
                                                    const weibo::SinaWeiboOptions& options, bool* gap = nullptr);

    // Loads, on a background thread, the items missing at a seam row (newest first, within the cap) into its place;
    // a failed load leaves the seam. Main thread. And how many seam loads have ended.
    void loadItemsAtSeam(const CellPtr& seam);
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

    // The cells of an answer (cellsOfAnswer), at most `limit`; status and favourite cells get their counts first.
    weibo::Reply<CellArray> parseResponse(const weibo::Reply<std::string>& response, int cellType,
                                          std::size_t limit = kMaxCells);

    // liststore::mergeCells with this list's fakes (mode 2 drops those the new cells confirm).
    CellArray cellsByMergeNewCells(const CellArray& newCells, const CellArray& oldCells, int mode);

    // The id of the bottom-most / newest cell that is not fake (0 for none).
    std::uint64_t earliestEntityId() const { return store_.earliestEntityId(); }
    std::uint64_t latestEntityId() const { return store_.latestEntityId(); }
    std::uint64_t earliestEntityIdOnCells(const CellArray& cells) const;
    std::uint64_t latestEntityIdOnCells(const CellArray& cells) const;

    // A locally made item on top of dataOfCells, or of `cells` when that is dataOfCells or sentMessageCells;
    // nothing when an equal cell is already there. Main thread.
    void addFakeCell(const CellPtr& cell);
    void addFakeCell(const CellPtr& cell, const CellArrayPtr& cells);
    // Removes items by entity id from dataOfCells, or from `cells` when that is one of the three arrays.
    void removeCells(const std::set<std::uint64_t>& ids);
    void removeCellsIn(const std::set<std::uint64_t>& ids, const CellArrayPtr& cells);
    // The row of that very object (not an equal one), or -1.
    int rowForCell(const TimelineCellBase* cell) const { return liststore::rowOf(cell, *dataOfCells()); }
    int rowForCell(const TimelineCellBase* cell, const CellArray& cells) const { return liststore::rowOf(cell, cells); }

    // --- Unread bookkeeping ---

    // Clamped to 1024.
    void setUnreadCount(std::uint64_t count) { store_.setUnreadCount(count); }
    std::uint64_t unreadCount() const { return store_.unreadCount(); }
    // Main thread: unread rows in view clear the count, reset the service's counter and redraw the badges.
    void checkUnread();
    // Resets the service's counter of the kind (in the background when asked on the main thread).
    void resetUnreadCount();

    // Sets the favourite flag of the status `statusId` in the rows that show it (kinds that follow it).
    void updateCell(std::uint64_t statusId, bool favorited);

    // --- Direct-message conversations (background thread; "/direct_messages"): ConversationStreams ---

    weibo::TransferOutcome fetchMessagesWithMode(int mode) { return ConversationStreams(*this).fetchMessagesWithMode(mode); }
    weibo::Reply<std::size_t> fetchMessagesWithUnread(std::uint64_t unread, int mode)
    {
        return ConversationStreams(*this).fetchMessagesWithUnread(unread, mode);
    }
    weibo::Reply<std::size_t> fetchReceivedMessageWithUnread(std::uint64_t unread, int mode)
    {
        return ConversationStreams(*this).fetchReceivedMessageWithUnread(unread, mode);
    }
    weibo::Reply<std::size_t> fetchSentMessageWithMode(int mode) { return ConversationStreams(*this).fetchSentMessageWithMode(mode); }
    void syncReceivedMessagesWithUnread(std::uint64_t unread) { ConversationStreams(*this).syncReceivedMessagesWithUnread(unread); }
    void makeMessageGroups() { ConversationStreams(*this).makeMessageGroups(); }
    MessageGroupCellPtr messageGroupById(std::uint64_t userId) const
    {
        return ConversationStreams(const_cast<PXListViewController&>(*this)).messageGroupById(userId);
    }
    // The first group whose last cell was sent by / to `userId`, or -1.
    static int findMsgGroupBySenderId(const std::vector<MessageCellArray>& groups, std::uint64_t userId);
    static int findMsgGroupByRecipientId(const std::vector<MessageCellArray>& groups, std::uint64_t userId);
    // Resets the service's direct-message counter (conversation list only); the answer is ignored.
    void resetUnreadMessageCount();

    // --- Comment and favourite pages, counts ---

    std::uint64_t commentPage() const { return commentPage_.load(); }
    void setCommentPage(std::uint64_t page) { commentPage_.store(page); }
    // Main thread: load page commentPage of the comments of the main window's active status / of favourites.
    // Each outdates the loads of the list started before it.
    void reloadCommentPageData();
    void reloadFavoritesPageData();
    // Whether the last comment page of that status failed to load (the drawer loads it again when shown).
    bool commentsNeedReload(std::uint64_t statusId) const;
    // The counts of every row (kinds whose rows show them): asked here, written on the main thread.
    void updateCommentRepostCounts();
    // The counts of cells nobody shows yet, written on the calling thread.
    void updateCommentRepostCountsWithinCells(const CellArray& cells);
    // The counts of the first 1024 of these cells, requested in batches of at most 100 ids.
    weibo::WBCountTable countsOfCells(const CellArray& cells);
    void updateCells(const CellArray& cells, const weibo::WBCountTable& counts);

    // --- Presentation (main thread; the presenter's) ---

    int numberOfRowsInListView(PXListView* listView) override;
    double listViewHeightOfRow(PXListView* listView, int row) override;
    PXListViewCell* listViewCellForRow(PXListView* listView, int row) override;
    void listViewSelectionDidChange(PXListView* listView) override;
    void listViewDidEndLiveResize(PXListView* listView) override;
    QString listViewAccessibleTextOfRow(PXListView* listView, int row) override;
    QStringList listViewAccessibleActionsOfRow(PXListView* listView, int row) override;
    void listViewPerformAccessibleAction(PXListView* listView, int row, const QString& action) override;

    // Heights that need it, the list view (the selection stays on its item), the scroll position.
    void reloadData();
    double cellWidth() const override;
    // 0 makes the next reload recompute every height (after a font change).
    void setCellWidth(double width);
    void beginImageLoad() override;
    void defferedReloadData() override;
    void reloadIfCellVisible(const TimelineCellBase& cell) override;
    std::uint64_t countdownToReloadData() const;

    // Setting 1 records the distance from the bottom of the visible area to the bottom of the document.
    void setScrollMode(std::uint64_t mode);
    std::uint64_t scrollMode() const;
    double belowFixedHeight() const;

    void setCallbackTarget(QObject* target);
    void setCallbackSelector(CallbackSelector selector);
    void setCallbackObject(const QVariant& object);
    bool hasCallback() const;

    // Reacts to the top (previous comment page) and the bottom (more items) of the list.
    void checkScrollerBound();
    // Loads more at the bottom, by kind.
    void reloadPreappendData();
    void drawScroller();

protected:
    // Whether the left mouse button is held (a drag may still be under way).
    virtual bool isLeftMouseButtonDown() const;
    // One counts request (the client's statusCounts); the seam where a test watches the batches.
    virtual weibo::Reply<std::string> requestStatusCounts(const std::vector<std::uint64_t>& ids);

private:
    friend class ListPresenter;
    friend class ConversationStreams;
    // Resets a counter of the service in the background; the answer is ignored.
    void resetServiceCount(int type);
    // One request of a kind that takes options alone, parsed with its cell type.
    weibo::Reply<CellArray> cellsOfRequest(
        weibo::Reply<std::string> (weibo::SinaWeibo::*request)(const weibo::SinaWeiboOptions&), int cellType,
        const WeiboOptions& options);
    // Background work started here: counted, so that shutdown and the destructor can wait for it.
    void runInBackground(std::function<void()> work);
    // The merge of fetched cells into the array on the main thread, if the load is still current.
    bool applyMerge(std::uint64_t generation, const CellArray& newCells, int mode, std::uint64_t seamNewerThan = 0,
                    ListStore::Array which = ListStore::Array::Items);
    std::uint64_t commentTotalOfActiveStatus() const;

    const QString nibName_;
    const QString identifier_;
    const ListKind& kind_;
    TimelineHost* host_;

    mutable std::mutex weiboLock_;  // guards weibo_
    boost::shared_ptr<weibo::SinaWeibo> weibo_;

    ListStore store_;
    ListLoader loader_;
    std::unique_ptr<ListPresenter> presenter_;

    mutable std::mutex invocationLock_;  // guards invocation_
    FetchOperation invocation_;

    std::atomic<std::uint64_t> commentPage_{1};
    std::atomic<std::uint64_t> commentLoadFailedFor_{0};

    // Seams whose items are being loaded; main thread.
    std::set<const TimelineCellBase*> seamsLoading_;
    std::atomic<std::uint64_t> seamLoads_{0};

    platform::DispatchGroup background_;
    std::atomic<bool> destroying_{false};
};
