// The list controller as data source and delegate of its list view: rows, heights, reloads, scroll modes, the
// triggers at the ends of the list, the scroller and the selection of conversations.
#include "timeline/PXListViewController.h"

#include "cells/CellContext.h"
#include "cells/ItemSpeech.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "platform/Dispatch.h"
#include "timeline/AvatarButton.h"
#include "timeline/ChatCell.h"
#include "timeline/SeamCell.h"
#include "timeline/MessageGroupCell.h"
#include "timeline/RelativeTimeRefresher.h"
#include "timeline/TimelineCell.h"
#include "timeline/TimelineHost.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"
#include "widgets/PXThinScroller.h"

#include <QGuiApplication>
#include <QWheelEvent>

#include <algorithm>

// ---------------------------------------------------------------------------------------------------------------
// Data source and delegate

int PXListViewController::numberOfRowsInListView(PXListView*) { return int(dataOfCells()->size()); }

double PXListViewController::listViewHeightOfRow(PXListView*, int row)
{
    const CellArrayPtr cells = dataOfCells();
    if (row < 0 || std::size_t(row) >= cells->size())
        return kMinHeightOfCell_;
    return std::max(kMinHeightOfCell_, (*cells)[std::size_t(row)]->textViewHeight() + kSpaceHeightOfCell_);
}

PXListViewCell* PXListViewController::listViewCellForRow(PXListView* listView, int row)
{
    const CellArrayPtr cells = dataOfCells();
    if (row < 0 || std::size_t(row) >= cells->size())
        return nullptr;
    auto* view = static_cast<TimelineRowView*>(listView->dequeueCellWithReusableIdentifier(rowNibName_));
    if (!view)
        view = TimelineRowView::create(rowNibName_);
    fillRowView(view, (*cells)[std::size_t(row)]);
    return view;
}

void PXListViewController::fillRowView(TimelineRowView* view, const CellPtr& cell)
{
    cell->setListViewController(this);
    bool determinate = true;
    const AttributedString text = cell->stringForTextView(determinate);
    view->setHost(host_);
    WBTextView* textView = view->textView();

    if (auto* chat = dynamic_cast<ChatCell*>(view)) {
        auto* message = dynamic_cast<TimelineCellMessage*>(cell.get());
        textView->setAttributedString(text);
        textView->setCellData(cell);
        textView->setDelegate(host_);
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
        textView->setAttributedString(text);
        textView->setCellData(cell);
        textView->setDelegate(host_);
        conversation->setDate(cell->date());
        conversation->button()->setImage(cell->profileImage());
        return;
    }

    auto* status = dynamic_cast<TimelineCellStatus*>(cell.get());
    view->setDecorativeRect(status ? status->retweetRect() : QRectF());
    textView->setAttributedString(text);
    textView->setCellData(cell);
    textView->setDelegate(host_);
    view->setDate(cell->date());
    view->button()->setImage(cell->profileImage());
    view->button()->setName(cell->entityName());
}

void PXListViewController::listViewSelectionDidChange(PXListView* listView)
{
    // The keys move through the rows; Return acts on one (a click acts at once).
    if (listView->selectionChangedByKeyboard())
        return;
    {
        // A click on a seam row loads what is missing there.
        const int row = listView->selectedRow();
        const CellArrayPtr cells = dataOfCells();
        if (row >= 0 && std::size_t(row) < cells->size() && dynamic_cast<SeamCell*>((*cells)[std::size_t(row)].get())) {
            const CellPtr seam = (*cells)[std::size_t(row)];
            loadItemsAtSeam(seam);
            listView->deselectRows();
            return;
        }
    }
    if (!isKind(weibo::WEIBO_API_MESSAGE) || !host_)
        return;
    const int row = listView->selectedRow();
    const CellArrayPtr cells = dataOfCells();
    if (row >= 0 && std::size_t(row) < cells->size()) {
        const CellPtr& cell = (*cells)[std::size_t(row)];
        if (host_->isDrawerOpenOrOpening() && host_->activeDataCell() == cell)
            return;
        host_->displayMessageFromDataCell(cell, true, true, kModeNewer);
        return;
    }
    if (row < 0) {
        // The active cell goes first, so that closing the drawer finds no rows left to deselect.
        host_->setActiveDataCell(nullptr);
        host_->closeDrawer();
    }
}

void PXListViewController::listViewDidEndLiveResize(PXListView*) { reloadData(); }

// ---------------------------------------------------------------------------------------------------------------
// Reload

void PXListViewController::reloadData()
{
    if (!listView_ || destroying_)
        return;
    // The dummy row takes the list's size; its text view's width is the width the heights are for.
    dummyCell_->setFrameSize(listView_->contentViewFrame().size());
    const double width = dummyCell_->textView()->width();
    const CellArrayPtr cells = dataOfCells();
    const bool newWidth = width != cellWidth();
    if (newWidth)
        setCellWidth(width);
    bool determinate = true;
    for (const CellPtr& cell : *cells) {
        cell->setListViewController(this);
        if (newWidth)
            cell->setRecalculateTextViewHeight(true);
        if (!cell->calculateTextViewHeight())
            determinate = false;
    }
    // A picture in some text is still loading: its end reloads (defferedReloadData).
    if (!cells->empty() && !determinate)
        return;

    listView_->reloadData();
    // The rows just filled may be young: their ages are looked at again in time.
    if (auto* ages = listView_->findChild<RelativeTimeRefresher*>(QString(), Qt::FindDirectChildrenOnly))
        ages->schedule();

    if (countdownToReloadData() == 0) {
        const std::uint64_t mode = scrollMode();
        if (mode == kScrollIdle && hasCallback()) {
            // The first load of the first list: the unread rows lie just above the visible area.
            setScrollMode(kScrollBusy);
            const int row = int(std::min<std::uint64_t>(unreadCount(), kMaxUnreadCount));
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
            setScrollMode(kScrollIdle);
        } else if (mode == kScrollHold) {
            listView_->setContentOffset(
                int(listView_->documentHeight() - listView_->contentViewBounds().height() - belowFixedHeight()));
            listView_->reflectScrolledClipView();
            setScrollMode(kScrollIdle);
        } else if (mode == kScrollBusy) {
            setScrollMode(kScrollIdle);
        }
    }

    if (host_ && !isInDrawer())
        host_->checkDrawer();
    checkUnread();

    if (hasCallback()) {
        const CallbackSelector selector = std::move(callbackSelector_);
        const QVariant object = callbackObject_;
        callbackTarget_.clear();
        callbackSelector_ = nullptr;
        callbackObject_ = QVariant();
        selector(object);
    }

    std::weak_ptr<void> alive = lifetime();
    platform::dispatchMainAsync([this, alive] {
        if (!alive.expired())
            drawScroller();
    });
}

void PXListViewController::beginImageLoad() { ++countdownToReloadData_; }

void PXListViewController::defferedReloadData()
{
    std::uint64_t count = countdownToReloadData_.load();
    while (count > 0 && !countdownToReloadData_.compare_exchange_weak(count, count - 1)) {
    }
    if (count <= 1)
        reloadData();
}

void PXListViewController::reloadIfCellVisible(const TimelineCellBase& cell)
{
    if (!listView_)
        return;
    const int row = rowForCell(&cell);
    if (row < 0 || !listView_->visibleRange().contains(row) || rowReloadPending_)
        return;
    // Avatars arrive in bursts; one reload of the rows in view after the burst shows them all.
    rowReloadPending_ = true;
    std::weak_ptr<void> alive = lifetime();
    platform::dispatchMainAsync([this, alive] {
        if (alive.expired())
            return;
        rowReloadPending_ = false;
        if (listView_ && !destroying_)
            listView_->reloadData();
    });
}

// ---------------------------------------------------------------------------------------------------------------
// Scroll modes and the completion callback

void PXListViewController::setScrollMode(std::uint64_t mode)
{
    std::lock_guard<std::recursive_mutex> lock(lock_);
    scrollMode_ = mode;
    if (mode == kScrollHold && listView_) {
        // The distance from the bottom of the visible area to the bottom of the document: after newer items go
        // on top, the same distance puts the rows the user was reading back where they were.
        belowFixedHeight_ = double(listView_->documentHeight()) - listView_->contentViewBounds().y() -
                            listView_->contentViewBounds().height();
    }
}

double PXListViewController::belowFixedHeight() const
{
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return belowFixedHeight_;
}

void PXListViewController::setCallbackTarget(QObject* target) { callbackTarget_ = target; }

void PXListViewController::setCallbackSelector(CallbackSelector selector) { callbackSelector_ = std::move(selector); }

void PXListViewController::setCallbackObject(const QVariant& object) { callbackObject_ = object; }

// ---------------------------------------------------------------------------------------------------------------
// Scroll hook, ends of the list, scroller

void PXListViewController::installScrollHook()
{
    if (!listView_ || scrollHook_)
        return;
    scrollHook_ = connect(listView_.data(), &PXListView::contentViewBoundsDidChange, this,
                          &PXListViewController::contentViewBoundsDidChange);
    listView_->viewport()->installEventFilter(this);
}

void PXListViewController::uninstallScrollHook()
{
    if (scrollHook_)
        disconnect(scrollHook_);
    scrollHook_ = QMetaObject::Connection();
    if (listView_)
        listView_->viewport()->removeEventFilter(this);
}

bool PXListViewController::eventFilter(QObject* watched, QEvent* event)
{
    // A wheel turned upwards at the top: the list cannot move, but the user asked for what lies above (a list
    // shorter than its view never moves at all).
    if (event->type() == QEvent::Wheel && listView_ && watched == listView_->viewport() && !destroying_) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        const bool upwards = wheel->angleDelta().y() > 0 || wheel->pixelDelta().y() > 0;
        if (upwards && listView_->contentOffset() == 0 && !listView_->isScrollAnimating()) {
            topReachedByUser_ = true;
            checkScrollerBound();
        }
    }
    return QObject::eventFilter(watched, event);
}

void PXListViewController::contentViewBoundsDidChange(const QRect& bounds)
{
    if (destroying_)
        return;
    if (bounds.y() != lastContentOffset_)
        topReachedByUser_ = bounds.y() == 0 && scrollMode() != kScrollBusy;
    lastContentOffset_ = bounds.y();
    checkUnread();
    checkScrollerBound();
    if (host_ && !isInDrawer())
        host_->checkDrawer();
    drawScroller();
}

bool PXListViewController::isLeftMouseButtonDown() const
{
    return QGuiApplication::mouseButtons() & Qt::LeftButton;
}

void PXListViewController::checkScrollerBound()
{
    if (!listView_ || scrollMode() == kScrollBusy)
        return;
    const QRect bounds = listView_->contentViewBounds();
    const int y = bounds.y();
    const int h = bounds.height();
    const int document = listView_->documentHeight();
    std::weak_ptr<void> alive = lifetime();
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
        if (!isKind(weibo::WEIBO_API_TIMELINE_COMMENTS))
            return;
        if (isLeftMouseButtonDown()) {
            recheckLater();
            return;
        }
        // Only the user's own move to the top goes back a page: the list lands at the top after every page
        // load, and the drawer resizes it there.
        if (commentPage() >= 2 && topReachedByUser_) {
            topReachedByUser_ = false;
            setCommentPage(commentPage() - 1);
            setScrollMode(kScrollBusy);
            reloadCommentPageData();
        }
        return;
    }
    if (y + h == document) {
        if (isLeftMouseButtonDown()) {
            recheckLater();
            return;
        }
        setScrollMode(kScrollBusy);
        platform::dispatchAfter(0.5, [this, alive] {
            if (!alive.expired() && !destroying_)
                reloadPreappendData();
        });
    }
}

void PXListViewController::reloadPreappendData()
{
    if (isKind(weibo::WEIBO_API_TIMELINE_COMMENTS)) {
        if (dataOfCells()->size() >= std::size_t(kCommentPageCount)) {
            const std::uint64_t pages = (commentTotalOfActiveStatus() + kCommentPageCount - 1) / kCommentPageCount;
            if (commentPage() < pages) {
                setCommentPage(commentPage() + 1);
                reloadCommentPageData();
            }
        }
        // Also when no page follows: the list stays usable (the top still goes back a page).
        setScrollMode(kScrollIdle);
        return;
    }
    if (isKind(weibo::WEIBO_API_FAVORITES)) {
        setCommentPage(commentPage() + 1);
        reloadFavoritesPageData();
        return;
    }
    if (isKind(weibo::WEIBO_API_TIMELINE_FRIENDS) || isKind(weibo::WEIBO_API_TIMELINE_USER) ||
        isKind(weibo::WEIBO_API_TIMELINE_MENTIONS) || isKind(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME) ||
        isKind(weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME)) {
        if (host_)
            host_->moreWeibo();
    }
}

void PXListViewController::drawScroller()
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

// ---------------------------------------------------------------------------------------------------------------
// Assistive technology

namespace {
CellPtr cellAtRow(const PXListViewController::CellArrayPtr& cells, int row)
{
    return row >= 0 && std::size_t(row) < cells->size() ? (*cells)[std::size_t(row)] : nullptr;
}
} // namespace

QString PXListViewController::listViewAccessibleTextOfRow(PXListView*, int row)
{
    const CellPtr cell = cellAtRow(dataOfCells(), row);
    return cell ? spokenTextOfItem(*cell, CellContext::current().hotTextResources()) : QString();
}

QStringList PXListViewController::listViewAccessibleActionsOfRow(PXListView*, int row)
{
    const CellPtr cell = cellAtRow(dataOfCells(), row);
    return cell && host_ ? host_->itemCommandNames(this, cell) : QStringList();
}

void PXListViewController::listViewPerformAccessibleAction(PXListView*, int row, const QString& action)
{
    if (const CellPtr cell = cellAtRow(dataOfCells(), row); cell && host_)
        host_->performItemCommand(this, cell, action);
}
