#include "timeline/ListPresenter.h"

#include "cells/CellContext.h"
#include "cells/ItemSpeech.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "platform/Dispatch.h"
#include "timeline/AvatarButton.h"
#include "timeline/ChatCell.h"
#include "timeline/MessageGroupCell.h"
#include "timeline/PXListViewController.h"
#include "timeline/RelativeTimeRefresher.h"
#include "timeline/SeamCell.h"
#include "timeline/TimelineCell.h"
#include "timeline/TimelineHost.h"
#include "timeline/TimelineRowView.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"
#include "widgets/PXThinScroller.h"

#include <QWheelEvent>

#include <algorithm>

// The row view of a kind: conversations and chats have their own, every other list shows status rows.
QString ListPresenter::rowNibNameFor(const ListKind& kind)
{
    switch (kind.rows) {
    case ListKind::Rows::Conversation:
        return QString::fromLatin1(MessageGroupCell::kIdentifier);
    case ListKind::Rows::Chat:
        return QString::fromLatin1(ChatCell::kIdentifier);
    case ListKind::Rows::Status:
        break;
    }
    return QString::fromLatin1(TimelineCell::kIdentifier);
}

ListPresenter::ListPresenter(PXListViewController& list)
    : list_(list)
{
    // The row view of the kind gives the row height constants: its design height is the least a row takes,
    // and what the design leaves around the text view is added to every text height.
    dummyCell_ = TimelineRowView::create(rowNibNameFor(list.kind()));
    const double frameHeight = dummyCell_->designSize().height();
    minHeight_ = frameHeight;
    spaceHeight_ = frameHeight - dummyCell_->textView()->height() + 2;
    if (list.kind().rows == ListKind::Rows::Chat)
        spaceHeight_ += 2 * dummyCell_->textView()->textContainerInset().height();

    listView_ = new PXListView;
    listView_->setDelegate(&list);
    scrollHook_ = connect(listView_.data(), &PXListView::contentViewBoundsDidChange, this,
                          &ListPresenter::contentViewBoundsDidChange);
    listView_->viewport()->installEventFilter(this);
    new RelativeTimeRefresher(listView_);
}

ListPresenter::~ListPresenter()
{
    detach();
    if (listView_ && !listView_->parent())
        delete listView_.data();
    delete dummyCell_;
}

void ListPresenter::detach()
{
    detached_ = true;
    if (scrollHook_)
        disconnect(scrollHook_);
    scrollHook_ = QMetaObject::Connection();
    if (listView_) {
        listView_->viewport()->removeEventFilter(this);
        listView_->setDelegate(nullptr);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Rows

int ListPresenter::numberOfRows() const { return int(list_.dataOfCells()->size()); }

double ListPresenter::heightOfRow(int row) const
{
    const auto cells = list_.dataOfCells();
    if (row < 0 || std::size_t(row) >= cells->size())
        return minHeight_;
    return std::max(minHeight_, (*cells)[std::size_t(row)]->textViewHeight() + spaceHeight_);
}

PXListViewCell* ListPresenter::cellForRow(int row)
{
    const auto cells = list_.dataOfCells();
    if (row < 0 || std::size_t(row) >= cells->size())
        return nullptr;
    const QString identifier = rowNibNameFor(list_.kind());
    auto* view = static_cast<TimelineRowView*>(listView_->dequeueCellWithReusableIdentifier(identifier));
    if (!view)
        view = TimelineRowView::create(identifier);
    fillRowView(view, (*cells)[std::size_t(row)]);
    return view;
}

void ListPresenter::fillRowView(TimelineRowView* view, const CellPtr& cell)
{
    TimelineHost* host = list_.host();
    cell->setListViewController(&list_);
    bool determinate = true;
    const AttributedString text = cell->stringForTextView(determinate);
    view->setHost(host);
    WBTextView* textView = view->textView();
    textView->setAttributedString(text);
    textView->setCellData(cell);
    textView->setDelegate(host);

    if (auto* chat = dynamic_cast<ChatCell*>(view)) {
        auto* message = dynamic_cast<TimelineCellMessage*>(cell.get());
        const bool mine = message && message->isSentFromMe();
        chat->setDecorativeRect(message ? message->rect() : QRectF());
        chat->setSentFromMe(mine);
        const QFont dateFont = Appearance::systemFont(9);
        const QColor dateColor = CellContext::current().appearance().dateColor();
        AvatarButton* other = chat->button();
        AvatarButton* own = chat->selfUserBtn();
        for (AvatarButton* button : {other, own}) {
            button->setTitleFont(dateFont);
            button->setTitleColor(dateColor);
        }
        other->setName(cell->entityName());
        if (!mine) {
            // The other party's message: their avatar on the left, the date in the user's own slot.
            own->setImage(QImage());
            own->setTitle(cell->date());
            own->setTitleAlignment(Qt::AlignRight | Qt::AlignTop);
            other->setImage(message ? message->otherProfileImage() : QImage());
            other->setTitle(QString());
        } else {
            own->setImage(cell->profileImage());
            own->setTitle(QString());
            other->setImage(QImage());
            other->setTitle(cell->date());
            other->setTitleAlignment(Qt::AlignLeft | Qt::AlignTop);
        }
        return;
    }
    if (auto* conversation = dynamic_cast<MessageGroupCell*>(view)) {
        auto* group = dynamic_cast<TimelineCellMessageGroup*>(cell.get());
        conversation->button()->setName(cell->entityName());
        conversation->button()->setUnreadCount(group ? unsigned(std::max(0, group->unreadMessages())) : 0);
        conversation->setDate(cell->date());
        conversation->button()->setImage(cell->profileImage());
        return;
    }
    auto* status = dynamic_cast<TimelineCellStatus*>(cell.get());
    view->setDecorativeRect(status ? status->retweetRect() : QRectF());
    view->setDate(cell->date());
    view->button()->setImage(cell->profileImage());
    view->button()->setName(cell->entityName());
}

// ---------------------------------------------------------------------------------------------------------------
// Selection

void ListPresenter::selectionDidChange()
{
    if (restoringSelection_ || !listView_)
        return;
    const CellPtr cell = cellAtRow(listView_->selectedRow());
    // The keys move through the rows without acting on them (Return does); a click acts at once.
    if (listView_->selectionChangedByKeyboard()) {
        selected_ = cell;
        return;
    }
    // A click on a seam row loads what is missing there.
    if (cell && dynamic_cast<SeamCell*>(cell.get())) {
        list_.loadItemsAtSeam(cell);
        listView_->deselectRows();
        return;
    }
    selected_ = cell;
    TimelineHost* host = list_.host();
    if (!list_.kind().isConversations() || !host)
        return;
    if (cell) {
        if (!(host->isDrawerOpenOrOpening() && host->activeDataCell() == cell))
            host->displayMessageFromDataCell(cell, true, true, PXListViewController::kModeNewer);
        return;
    }
    // The active cell goes first, so that closing the drawer finds no rows left to deselect.
    host->setActiveDataCell(nullptr);
    host->closeDrawer();
}

void ListPresenter::restoreSelection(const CellArray& cells)
{
    if (!selected_ || !listView_)
        return;
    // The same item, or the item that replaced it (a conversation rebuilt, a fake item confirmed).
    int row = liststore::rowOf(selected_.get(), cells);
    for (std::size_t i = 0; row < 0 && i < cells.size(); ++i)
        if (cells[i]->isEqual(*selected_))
            row = int(i);
    restoringSelection_ = true;
    if (row < 0) {
        selected_.reset();
        if (listView_->selectedRow() >= 0)
            listView_->deselectRows();
    } else {
        selected_ = cells[std::size_t(row)];
        if (listView_->selectedRow() != row)
            listView_->selectRow(row);
    }
    restoringSelection_ = false;
}

// ---------------------------------------------------------------------------------------------------------------
// Reload

void ListPresenter::reloadProvisionally()
{
    if (!listView_ || detached_)
        return;
    dummyCell_->setFrameSize(listView_->contentViewFrame().size());
    const double width = dummyCell_->textView()->width();
    if (width != cellWidth())
        setCellWidth(width);
    const auto cells = list_.dataOfCells();
    for (const CellPtr& cell : *cells) {
        cell->setListViewController(&list_);
        cell->calculateProvisionalTextViewHeight();
    }
    listView_->reloadData();
    restoreSelection(*cells);
}

void ListPresenter::reloadData()
{
    if (!listView_ || detached_)
        return;
    // The dummy row takes the list's size; its text view's width is the width the heights are for.
    dummyCell_->setFrameSize(listView_->contentViewFrame().size());
    const double width = dummyCell_->textView()->width();
    const auto cells = list_.dataOfCells();
    const bool newWidth = width != cellWidth();
    if (newWidth)
        setCellWidth(width);
    bool determinate = true;
    for (const CellPtr& cell : *cells) {
        cell->setListViewController(&list_);
        if (newWidth)
            cell->setRecalculateTextViewHeight(true);
        if (!cell->calculateTextViewHeight())
            determinate = false;
    }
    // A picture in some text is still loading: its end reloads (defferedReloadData).
    if (!cells->empty() && !determinate)
        return;

    listView_->reloadData();
    restoreSelection(*cells);
    // The rows just filled may be young: their ages are looked at again in time.
    if (auto* ages = listView_->findChild<RelativeTimeRefresher*>(QString(), Qt::FindDirectChildrenOnly))
        ages->schedule();
    if (countdownToReloadData() == 0)
        settleScrollPosition();

    TimelineHost* host = list_.host();
    if (host && !list_.kind().inDrawer)
        host->checkDrawer();
    list_.checkUnread();

    if (callback_.armed()) {
        Callback fired = std::move(callback_);
        callback_ = Callback();
        fired.selector(fired.object);
    }

    std::weak_ptr<void> alive = list_.lifetime();
    platform::dispatchMainAsync([this, alive] {
        if (!alive.expired())
            drawScroller();
    });
}

void ListPresenter::settleScrollPosition()
{
    const std::uint64_t mode = scrollMode();
    if (mode == PXListViewController::kScrollIdle && callback_.armed()) {
        // The first load of the first list: the unread rows lie just above the visible area.
        setScrollMode(PXListViewController::kScrollBusy);
        const int row = int(std::min<std::uint64_t>(list_.unreadCount(), PXListViewController::kMaxUnreadCount));
        auto scroll = [&] {
            if (row >= listView_->numberOfRows())
                listView_->setContentOffset(listView_->maximumContentOffset());
            else
                listView_->scrollToRow(row);
        };
        scroll();
        const PXRowRange visible = listView_->visibleRange();
        if (row - visible.location >= visible.length)
            scroll();
        setScrollMode(PXListViewController::kScrollIdle);
    } else if (mode == PXListViewController::kScrollHold) {
        listView_->setContentOffset(
            int(listView_->documentHeight() - listView_->contentViewBounds().height() - belowFixedHeight()));
        listView_->reflectScrolledClipView();
        setScrollMode(PXListViewController::kScrollIdle);
    } else if (mode == PXListViewController::kScrollBusy) {
        setScrollMode(PXListViewController::kScrollIdle);
    }
}

void ListPresenter::defferedReloadData()
{
    std::uint64_t count = countdown_.load();
    while (count > 0 && !countdown_.compare_exchange_weak(count, count - 1)) {
    }
    if (count <= 1)
        reloadData();
}

void ListPresenter::reloadIfCellVisible(const TimelineCellBase& cell)
{
    if (!listView_)
        return;
    const int row = list_.rowForCell(&cell);
    if (row < 0 || !listView_->visibleRange().contains(row) || rowReloadPending_)
        return;
    // Avatars arrive in bursts; one reload of the rows in view after the burst shows them all.
    rowReloadPending_ = true;
    std::weak_ptr<void> alive = list_.lifetime();
    platform::dispatchMainAsync([this, alive] {
        if (alive.expired())
            return;
        rowReloadPending_ = false;
        if (listView_ && !detached_)
            listView_->reloadData();
    });
}

// ---------------------------------------------------------------------------------------------------------------
// Scroll modes

void ListPresenter::setScrollMode(std::uint64_t mode)
{
    std::lock_guard<std::mutex> lock(scrollLock_);
    scrollMode_ = mode;
    if (mode == PXListViewController::kScrollHold && listView_) {
        // The distance from the bottom of the visible area to the bottom of the document: after newer items go
        // on top, the same distance puts the rows the user was reading back where they were.
        belowFixedHeight_ = double(listView_->documentHeight()) - listView_->contentViewBounds().y() -
                            listView_->contentViewBounds().height();
    }
}

double ListPresenter::belowFixedHeight() const
{
    std::lock_guard<std::mutex> lock(scrollLock_);
    return belowFixedHeight_;
}

// ---------------------------------------------------------------------------------------------------------------
// Ends of the list, scroller

bool ListPresenter::eventFilter(QObject* watched, QEvent* event)
{
    // A wheel turned upwards at the top: the list cannot move, but the user asked for what lies above (a list
    // shorter than its view never moves at all).
    if (event->type() == QEvent::Wheel && listView_ && watched == listView_->viewport() && !detached_) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const bool upwards = wheel->angleDelta().y() > 0 || wheel->pixelDelta().y() > 0;
        if (upwards && listView_->contentOffset() == 0 && !listView_->isScrollAnimating()) {
            topReachedByUser_ = true;
            checkScrollerBound();
        }
    }
    return QObject::eventFilter(watched, event);
}

void ListPresenter::contentViewBoundsDidChange(const QRect& bounds)
{
    if (detached_)
        return;
    if (bounds.y() != lastContentOffset_)
        topReachedByUser_ = bounds.y() == 0 && scrollMode() != PXListViewController::kScrollBusy;
    lastContentOffset_ = bounds.y();
    list_.checkUnread();
    checkScrollerBound();
    if (list_.host() && !list_.kind().inDrawer)
        list_.host()->checkDrawer();
    drawScroller();
}

void ListPresenter::checkScrollerBound()
{
    if (!listView_ || scrollMode() == PXListViewController::kScrollBusy)
        return;
    const QRect bounds = listView_->contentViewBounds();
    const int y = bounds.y();
    const int document = listView_->documentHeight();
    std::weak_ptr<void> alive = list_.lifetime();
    // While the button is held the user may still be dragging: look again shortly (one look at a time).
    auto recheckLater = [this, alive] {
        if (recheckPending_)
            return;
        recheckPending_ = true;
        platform::dispatchAfter(0.5, [this, alive] {
            if (alive.expired())
                return;
            recheckPending_ = false;
            checkScrollerBound();
        });
    };

    if (y == 0) {
        if (!list_.kind().isCommentPages())
            return;
        if (list_.isLeftMouseButtonDown()) {
            recheckLater();
            return;
        }
        // Only the user's own move to the top goes back a page: the list lands at the top after every page
        // load, and the drawer resizes it there.
        if (list_.commentPage() >= 2 && topReachedByUser_) {
            topReachedByUser_ = false;
            list_.setCommentPage(list_.commentPage() - 1);
            setScrollMode(PXListViewController::kScrollBusy);
            list_.reloadCommentPageData();
        }
        return;
    }
    if (y + bounds.height() == document) {
        if (list_.isLeftMouseButtonDown()) {
            recheckLater();
            return;
        }
        setScrollMode(PXListViewController::kScrollBusy);
        platform::dispatchAfter(0.5, [this, alive] {
            if (!alive.expired() && !detached_)
                list_.reloadPreappendData();
        });
    }
}

void ListPresenter::checkUnread()
{
    if (!list_.kind().unreadRows)
        return;
    // A list laid out during the start-up (a picture's reload) is not yet in front of the user: the start-up's
    // unread rows stay unread until the first display.
    TimelineHost* host = list_.host();
    const std::uint64_t unread = list_.unreadCount();
    if (scrollMode() == PXListViewController::kScrollBusy || unread == 0 || !listView_ || (host && host->isStarting()))
        return;
    const PXRowRange visible = listView_->visibleRange();
    // The unread rows [0, unread) overlap the visible rows: the user has seen new items.
    if (visible.length <= 0 || std::uint64_t(visible.location) >= unread)
        return;
    list_.resetUnreadCount();
    list_.setUnreadCount(0);
    setScrollMode(PXListViewController::kScrollIdle);
    if (host)
        host->updateLeftTabs();
}

void ListPresenter::reloadPreappendData()
{
    switch (list_.kind().older) {
    case ListKind::Older::NextCommentPage: {
        const std::uint64_t perPage = PXListViewController::kCommentPageCount;
        if (list_.dataOfCells()->size() >= perPage) {
            const std::uint64_t pages = (list_.commentTotalOfActiveStatus() + perPage - 1) / perPage;
            if (list_.commentPage() < pages) {
                list_.setCommentPage(list_.commentPage() + 1);
                list_.reloadCommentPageData();
            }
        }
        // Also when no page follows: the list stays usable (the top still goes back a page).
        setScrollMode(PXListViewController::kScrollIdle);
        return;
    }
    case ListKind::Older::NextPage:
        list_.setCommentPage(list_.commentPage() + 1);
        list_.reloadFavoritesPageData();
        return;
    case ListKind::Older::Older:
        if (list_.host())
            list_.host()->moreWeibo();
        return;
    case ListKind::Older::Conversations:
    case ListKind::Older::None:
        return;
    }
}

void ListPresenter::drawScroller()
{
    if (!listView_)
        return;
    PXThinScroller* scroller = listView_->scroller();
    const QRect frame = listView_->contentViewFrame();
    const double document = listView_->documentHeight();
    const double height = frame.height();
    if (document == 0 || document == height || height >= document) {
        scroller->hide();
        return;
    }
    scroller->setDoubleValue(listView_->contentViewBounds().y() / (document - height));
    scroller->setKnobProportion(height / document);
    const int width = PXThinScroller::scrollerWidth();
    scroller->setGeometry(frame.x() + frame.width() - width, frame.y(), width, frame.height());
    scroller->raise();
    scroller->show();
}

CellPtr ListPresenter::cellAtRow(int row) const
{
    const auto cells = list_.dataOfCells();
    return row >= 0 && std::size_t(row) < cells->size() ? (*cells)[std::size_t(row)] : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Assistive technology

QString ListPresenter::accessibleTextOfRow(int row) const
{
    const CellPtr cell = cellAtRow(row);
    return cell ? spokenTextOfItem(*cell, CellContext::current().hotTextResources()) : QString();
}

QStringList ListPresenter::accessibleActionsOfRow(int row) const
{
    const CellPtr cell = cellAtRow(row);
    TimelineHost* host = list_.host();
    return cell && host ? host->itemCommandNames(&list_, cell) : QStringList();
}

void ListPresenter::performAccessibleAction(int row, const QString& action)
{
    TimelineHost* host = list_.host();
    if (const CellPtr cell = cellAtRow(row); cell && host)
        host->performItemCommand(&list_, cell, action);
}
