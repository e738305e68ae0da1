#include "timeline/KeptLists.h"

#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "platform/Dispatch.h"
#include "store/TimelineStore.h"
#include "timeline/ListStore.h"
#include "timeline/PXListViewController.h"
#include "timeline/SeamCell.h"
#include "widgets/PXListView.h"

#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace {

// The store's list of a kind; the conversations are kept as their two streams.
store::ListKind storedKind(ListKind::Kept kept, bool sent = false)
{
    switch (kept) {
    case ListKind::Kept::Home: return store::ListKind::Home;
    case ListKind::Kept::Own: return store::ListKind::Own;
    case ListKind::Kept::Mentions: return store::ListKind::Mentions;
    case ListKind::Kept::CommentsReceived: return store::ListKind::CommentsReceived;
    case ListKind::Kept::CommentsSent: return store::ListKind::CommentsSent;
    case ListKind::Kept::Conversations:
        return sent ? store::ListKind::MessagesSent : store::ListKind::MessagesReceived;
    case ListKind::Kept::Favorites:
    case ListKind::Kept::None: break;
    }
    return store::ListKind::Favorites;
}

// The id a position names: a conversation row is its correspondent, any other row its item.
std::uint64_t positionId(const TimelineCellBase& cell)
{
    if (const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(&cell))
        return group->groupId();
    return cell.entityId();
}

} // namespace

// What a list holds when read from the store: made away from the list, put in on the main thread.
struct KeptLists::Filling {
    CellArray items, sent;
    std::uint64_t unread = 0;
    store::Position position;
};

KeptLists::Filling KeptLists::readList(store::TimelineStore& store, const ListKind& kind, CellListController* owner)
{
    Filling f;
    const store::StoredList list = store.read(storedKind(kind.kept));
    f.items = keptlists::cellsOf(list.rows, kind.cells, owner, f.unread);
    f.position = list.position;
    if (kind.isConversations()) {
        std::uint64_t none = 0;
        f.sent = keptlists::cellsOf(store.read(storedKind(kind.kept, true)).rows, kind.cells, owner, none);
    }
    return f;
}

namespace keptlists {

std::vector<store::Row> rowsOf(const CellArray& cells, std::uint64_t unread, const ListStore& list)
{
    std::vector<store::Row> rows;
    rows.reserve(cells.size());
    // Read once: a hand-over runs on the main thread after every change of a list of up to 1024 rows.
    const CellArray fakes = list.fakeCells();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const TimelineCellBase& cell = *cells[i];
        const bool top = i < unread;
        if (const auto* seam = dynamic_cast<const SeamCell*>(&cell)) {
            rows.emplace_back(store::Gap{seam->newerThan(), seam->olderThan()});
            rows.back().unread = top;  // counted with the rows around it, so the unread region comes back whole
            continue;
        }
        const auto fake = [&](const CellPtr& f) { return f->isEqual(cell); };
        if (!fakes.empty() && std::any_of(fakes.begin(), fakes.end(), fake))
            continue;
        if (const auto* status = dynamic_cast<const TimelineCellStatus*>(&cell))
            rows.emplace_back(status->status(), top);
        else if (const auto* comment = dynamic_cast<const TimelineCellComment*>(&cell))
            rows.emplace_back(comment->comment(), top);
        else if (const auto* message = dynamic_cast<const TimelineCellMessage*>(&cell))
            rows.emplace_back(message->message(), message->unread());
    }
    return rows;
}

CellArray cellsOf(const std::vector<store::Row>& rows, ListKind::Cells cells, CellListController* owner,
                  std::uint64_t& unread)
{
    CellArray made;
    made.reserve(rows.size());
    unread = 0;
    for (const store::Row& row : rows) {
        CellPtr cell;
        if (const auto* gap = std::get_if<store::Gap>(&row.entry)) {
            cell = std::make_shared<SeamCell>(gap->newerThan, gap->olderThan);
        } else if (const auto* status = std::get_if<boost::shared_ptr<weibo::WBStatus>>(&row.entry)) {
            if (cells == ListKind::Cells::Favorite)
                cell = std::make_shared<TimelineCellFavorite>(*status);
            else if (cells == ListKind::Cells::Status)
                cell = std::make_shared<TimelineCellStatus>(*status);
        } else if (const auto* comment = std::get_if<boost::shared_ptr<weibo::WBComment>>(&row.entry)) {
            if (cells == ListKind::Cells::Comment)
                cell = std::make_shared<TimelineCellComment>(*comment);
        } else if (const auto* message = std::get_if<boost::shared_ptr<weibo::WBMessage>>(&row.entry)) {
            if (cells == ListKind::Cells::Message) {
                auto m = std::make_shared<TimelineCellMessage>(*message);
                m->setUnread(row.unread);
                cell = m;
            }
        }
        if (!cell)
            continue;  // a record of another type than the list shows: the file was not written by this kind
        cell->setListViewController(owner);
        if (row.unread)
            ++unread;
        made.push_back(std::move(cell));
    }
    return made;
}

bool allByAccount(const CellArray& cells, std::uint64_t account)
{
    for (const CellPtr& cell : cells) {
        const auto* status = dynamic_cast<const TimelineCellStatus*>(cell.get());
        if (status && (!status->status()->user || status->status()->user->id != account))
            return false;
    }
    return account != 0;
}

QString offlineText(const QDateTime& lastReached, const QDateTime& now)
{
    if (!lastReached.isValid())
        return QStringLiteral("无法连接到服务器，显示的是上次保存的内容");
    const QDate day = lastReached.date();
    QString when;
    if (day == now.date())
        when = QStringLiteral("今天 ") + lastReached.toString(QStringLiteral("HH:mm"));
    else if (day == now.date().addDays(-1))
        when = QStringLiteral("昨天 ") + lastReached.toString(QStringLiteral("HH:mm"));
    else if (day.year() == now.date().year())
        when = QStringLiteral("%1月%2日 ").arg(day.month()).arg(day.day()) + lastReached.toString(QStringLiteral("HH:mm"));
    else
        when = QStringLiteral("%1年%2月%3日").arg(day.year()).arg(day.month()).arg(day.day());
    return QStringLiteral("无法连接到服务器，显示的是%1的内容").arg(when);
}

} // namespace keptlists

// One kept list. `dirty` is set from any thread (the hook) and cleared by the main thread's hand-over.
struct KeptLists::Entry {
    KeptLists* owner = nullptr;
    QPointer<PXListViewController> list;
    const ListKind* kind = nullptr;
    std::atomic<bool> dirty{false};
    bool filled = false;  // main thread: nothing is handed over before the stored rows are in
    store::Position stored;
    QTimer* scrollSettle = nullptr;
};

QString KeptLists::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/timelines");
}

bool KeptLists::removeAccount(const QString& folder, const QString& account)
{
    return store::TimelineStore::remove(folder.toStdString(), account.toStdString());
}

KeptLists::KeptLists(const QString& folder, const QString& account, QObject* parent)
    : QObject(parent), account_(account.toULongLong())
{
    store::TimelineStore::Opened opened = store::TimelineStore::open(folder.toStdString(), account.toStdString());
    store_ = std::shared_ptr<store::TimelineStore>(std::move(opened.store));
    notice_ = QString::fromStdString(opened.notice);
    if (store_)
        if (const auto reached = store_->fact(kLastReached))
            lastReachedSaved_ = QString::fromStdString(*reached).toLongLong();
}

KeptLists::~KeptLists()
{
    close(0);
}

QString KeptLists::path() const
{
    return store_ ? QString::fromStdString(store_->path()) : QString();
}

QString KeptLists::takeNotice()
{
    QString notice = notice_;
    notice_.clear();
    if (notice.isEmpty() && store_)
        notice = QString::fromStdString(store_->takeNotice());
    return notice;
}

void KeptLists::attach(PXListViewController* c)
{
    if (!isKeeping() || !c || c->kind().kept == ListKind::Kept::None)
        return;
    const auto entry = makeEntry(c);
    fill(*entry, readList(*store_, c->kind(), c));
    keep(entry);
}

std::shared_ptr<KeptLists::Entry> KeptLists::makeEntry(PXListViewController* c)
{
    auto entry = std::make_shared<Entry>();
    entry->owner = this;
    entry->list = c;
    entry->kind = &c->kind();
    return entry;
}

void KeptLists::fill(Entry& entry, const Filling& f)
{
    PXListViewController* c = entry.list;
    if (entry.kind->isConversations()) {
        c->setReceivedMessageCells(f.items);
        c->setSentMessageCells(f.sent);
        c->makeMessageGroups();
    } else {
        c->setDataOfCells(f.items);
    }
    c->setUnreadCount(f.unread);
    entry.stored = f.position;
    entry.filled = true;
    hadRows_ = hadRows_ || !f.items.empty();
}

void KeptLists::attachInBackground(PXListViewController* c, const std::function<void(std::function<void()>)>& run)
{
    if (!isKeeping() || !c || c->kind().kept == ListKind::Kept::None)
        return;
    const auto entry = makeEntry(c);
    // The badge at once: the summary costs microseconds, the records tens of milliseconds.
    c->setUnreadCount(store_->summary(storedKind(c->kind().kept)).unread);
    keep(entry);
    // Shared: the block may still read when the keeper closes at quit.
    std::shared_ptr<store::TimelineStore> kept = store_;
    std::weak_ptr<Entry> weak = entry;
    run([c, kept, weak] {
        const std::uint64_t generation = c->loader().generation();
        const auto turn = c->loader().turn();
        const Filling f = readList(*kept, c->kind(), c);
        const bool applied = c->loader().applyOnMain(generation, [&] {
            if (const auto e = weak.lock(); e && e->owner->isKeeping())
                e->owner->fill(*e, f);
        });
        if (!applied) {
            // Another choice of what the list shows came first: it is kept from now on as it is.
            platform::dispatchMainAsync([weak] {
                if (const auto e = weak.lock())
                    e->filled = true;
            });
        }
    });
}

void KeptLists::keep(const std::shared_ptr<Entry>& entry)
{
    entries_.push_back(entry);
    std::weak_ptr<Entry> weak = entry;
    entry->list->store().setChangeHook([weak] {
        if (const auto e = weak.lock())
            scheduleHandOver(e);
    });
    entry->scrollSettle = new QTimer(this);
    entry->scrollSettle->setSingleShot(true);
    entry->scrollSettle->setInterval(kScrollSettleMs);
    connect(entry->scrollSettle, &QTimer::timeout, this, [this, weak] {
        const auto e = weak.lock();
        if (!e || !e->list || !e->filled || !isKeeping())
            return;
        store_->savePosition(storedKind(e->kind->kept), positionOf(e->list));
    });
    connect(entry->list->listView(), &PXListView::contentViewBoundsDidChange, entry->scrollSettle,
            qOverload<>(&QTimer::start));
}

void KeptLists::scheduleHandOver(const std::shared_ptr<Entry>& entry)
{
    // Any thread. A burst of changes becomes one hand-over on the main thread.
    if (entry->dirty.exchange(true))
        return;
    std::weak_ptr<Entry> weak = entry;
    platform::dispatchMainAsync([weak] {
        if (const auto e = weak.lock())
            e->owner->handOver(*e);
    });
}

void KeptLists::handOver(Entry& entry)
{
    entry.dirty = false;
    PXListViewController* c = entry.list;
    if (!c || !entry.filled || !isKeeping())
        return;
    const ListKind::Kept kept = entry.kind->kept;
    if (entry.kind->isConversations()) {
        store_->save(storedKind(kept), keptlists::rowsOf(*c->receivedMessageCells(), 0, c->store()));
        store_->save(storedKind(kept, true), keptlists::rowsOf(*c->sentMessageCells(), 0, c->store()));
    } else {
        const auto cells = c->dataOfCells();
        // The user tab showing someone else keeps what was stored of one's own.
        if (kept == ListKind::Kept::Own && !cells->empty() && !keptlists::allByAccount(*cells, account_))
            return;
        store_->save(storedKind(kept), keptlists::rowsOf(*cells, c->unreadCount(), c->store()));
    }
    const QString notice = QString::fromStdString(store_->takeNotice());
    if (!notice.isEmpty())
        emit noticeReady(notice);
}

store::Position KeptLists::storedPosition(const PXListViewController* c) const
{
    for (const auto& e : entries_)
        if (e->list == c)
            return e->stored;
    return {};
}

store::Position KeptLists::positionOf(PXListViewController* c)
{
    PXListView* view = c ? c->listView() : nullptr;
    if (!view || view->contentOffset() <= 0)
        return {};
    const auto cells = c->dataOfCells();
    for (int row = view->visibleRange().location; row >= 0 && row < int(cells->size()); ++row) {
        // A seam names no item: the row below it does.
        if (const std::uint64_t id = positionId(*(*cells)[std::size_t(row)]))
            return {id, view->contentOffset() - view->rectOfRow(row).top()};
    }
    return {};
}

bool KeptLists::scrollTo(PXListViewController* c, const store::Position& position)
{
    PXListView* view = c ? c->listView() : nullptr;
    if (!view || position.topId == 0)
        return false;
    const auto cells = c->dataOfCells();
    for (std::size_t row = 0; row < cells->size() && int(row) < view->numberOfRows(); ++row)
        if (positionId(*(*cells)[row]) == position.topId) {
            view->setContentOffset(view->rectOfRow(int(row)).top() + position.offset);
            view->reflectScrolledClipView();
            return true;
        }
    return false;
}

void KeptLists::serviceReached()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // A minute is what the notice shows: the fact is not written more often.
    if (!isKeeping() || now - lastReachedSaved_ < 60)
        return;
    lastReachedSaved_ = now;
    store_->setFact(kLastReached, std::to_string(now));
}

QDateTime KeptLists::lastReached() const
{
    return lastReachedSaved_ > 0 ? QDateTime::fromSecsSinceEpoch(lastReachedSaved_) : QDateTime();
}

bool KeptLists::close(int timeoutMs)
{
    if (!store_ || closed_)
        return true;
    // The lists' last changes are handed over now (their queued hand-overs would come after the end), and the
    // place of a view that has not settled yet.
    for (const auto& e : entries_) {
        if (e->dirty)
            handOver(*e);
        if (e->list && e->filled && e->scrollSettle->isActive())
            store_->savePosition(storedKind(e->kind->kept), positionOf(e->list));
    }
    for (const auto& e : entries_) {
        if (e->list)
            e->list->store().setChangeHook(nullptr);
    }
    closed_ = true;
    entries_.clear();
    const bool written = store_->flush(timeoutMs);
    store_.reset();
    return written;
}

void KeptLists::discard()
{
    if (!store_)
        return;
    for (const auto& e : entries_)
        if (e->list)
            e->list->store().setChangeHook(nullptr);
    entries_.clear();
    closed_ = true;
    store_->discard();
    store_.reset();
}
