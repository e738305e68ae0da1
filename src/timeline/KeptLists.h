#pragma once
// The account's lists kept on disk, joined to the lists on screen. A list of a kind the store keeps is filled from
// it when it is made (its rows, seams, unread marks and the place the user was reading) and handed back to it after
// every change: the main thread hands over a snapshot of the arrays (shared, immutable), the store's own thread
// writes. Without a store (none could be opened) every call does nothing and the lists start empty as before.
#include "cells/CellTypes.h"
#include "cells/ListKind.h"
#include "store/StoredList.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace store {
class TimelineStore;
}
class CellListController;
class ListStore;
class PXListViewController;
class QTimer;

namespace keptlists {

// The rows of a list for the store: newest first, locally made items left out, a seam row as a gap. The unread
// rows of a list are its top `unread` ones; a message row carries its own flag instead.
std::vector<store::Row> rowsOf(const CellArray& cells, std::uint64_t unread, const ListStore& list);
// The cells of stored rows for a list whose items are `cells`, each owned by `owner`; `unread` gets how many rows
// are marked unread.
CellArray cellsOf(const std::vector<store::Row>& rows, ListKind::Cells cells, CellListController* owner,
                  std::uint64_t& unread);
// Whether every status of the cells is by `account`: the user tab is kept only while it shows one's own.
bool allByAccount(const CellArray& cells, std::uint64_t account);
// What the busy line says while the service cannot be reached and the lists are the ones kept on disk.
QString offlineText(const QDateTime& lastReached, const QDateTime& now);

} // namespace keptlists

class KeptLists : public QObject {
    Q_OBJECT
public:
    // How long the view must stand still before its place is kept.
    static constexpr int kScrollSettleMs = 400;
    // The fact that says when the service last answered (seconds since the epoch).
    static constexpr const char* kLastReached = "LastReached";

    // The folder under the application data that holds the stores.
    static QString defaultFolder();
    // Removes every file of the account's store (it must not be open). True when none is left.
    static bool removeAccount(const QString& folder, const QString& account);

    // Opens (or makes) the store of `account` in `folder`.
    KeptLists(const QString& folder, const QString& account, QObject* parent = nullptr);
    ~KeptLists() override;

    bool isKeeping() const { return store_ != nullptr && !closed_; }
    QString path() const;
    // What the user should know about the file (moved aside, or nothing can be stored), once; empty otherwise.
    QString takeNotice();

    // Fills the list from the store at once and keeps it from now on. Main thread.
    void attach(PXListViewController* c);
    // The same with its records read away from the main thread, in the list's turn (so its loads come after):
    // `run` runs a block in the background. Its badge count is set at once from the list's summary.
    void attachInBackground(PXListViewController* c, const std::function<void(std::function<void()>)>& run);
    // Whether some list came from the store with rows.
    bool hadRows() const { return hadRows_; }

    // Where the user was reading the list when it was last kept.
    store::Position storedPosition(const PXListViewController* c) const;
    // Where the user is reading it now; and a scroll there (false when that item is not in the list).
    static store::Position positionOf(PXListViewController* c);
    static bool scrollTo(PXListViewController* c, const store::Position& position);

    // The service answered: remembered as the time of the content shown.
    void serviceReached();
    QDateTime lastReached() const;

    // Quitting: what changed is handed over and written (waiting at most timeoutMs); nothing is kept after. False
    // when the writes did not end in time.
    bool close(int timeoutMs);
    // The account is being deleted: nothing more is written and the files go.
    void discard();

signals:
    // takeNotice found something to say after a write (the file was damaged meanwhile).
    void noticeReady(const QString& text);

private:
    struct Entry;
    struct Filling;
    static Filling readList(store::TimelineStore& store, const ListKind& kind, CellListController* owner);
    std::shared_ptr<Entry> makeEntry(PXListViewController* c);
    void fill(Entry& entry, const Filling& filling);
    void keep(const std::shared_ptr<Entry>& entry);
    void handOver(Entry& entry);
    // Any thread; touches the entry only (the keeper may be going).
    static void scheduleHandOver(const std::shared_ptr<Entry>& entry);

    std::shared_ptr<store::TimelineStore> store_;
    QString notice_;
    std::uint64_t account_ = 0;
    std::vector<std::shared_ptr<Entry>> entries_;  // main thread
    qint64 lastReachedSaved_ = 0;
    bool hadRows_ = false;
    bool closed_ = false;
};
