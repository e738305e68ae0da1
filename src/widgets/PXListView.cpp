#include "widgets/PXListView.h"

#include "widgets/FocusMark.h"
#include "widgets/PXListViewAccessible.h"
#include "widgets/PXListViewCell.h"
#include "widgets/PXListViewDelegate.h"
#include "widgets/PXThinScroller.h"

#include <QAccessible>
#include <QApplication>
#include <QEasingCurve>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {
// Scroll offsets live in an int scroll bar; keep the document well inside that.
constexpr qint64 kMaxDocumentHeight = INT_MAX / 2;
// One line of a wheel notch; a notch scrolls QApplication::wheelScrollLines() of them.
constexpr int kWheelLinePixels = 20;
constexpr int kWheelAnimationMs = 140;
constexpr int kDefaultLiveResizeQuietMs = 250;

int heightToPixels(double height) {
    if (!std::isfinite(height) || height <= 0.0)
        return 0;
    if (height >= double(QWIDGETSIZE_MAX))
        return QWIDGETSIZE_MAX;
    // Round up so that text laid out for a fractional height is never clipped, but do not let float noise
    // (57.0000001) add a pixel.
    return int(std::ceil(height - 1e-6));
}

// Drawn over the current row while the list has the focus: row views draw their own selection, this shows
// where the keys act. It lets clicks through to the row below.
class CurrentRowMark : public QWidget {
public:
    explicit CurrentRowMark(QWidget *parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        focusmark::draw(painter, QRectF(rect()), 3.0);
    }
};

// Runs `fn` with `flag` set, restoring it afterwards.
template <class Fn>
void withFlag(bool &flag, Fn fn) {
    const bool before = flag;
    flag = true;
    fn();
    flag = before;
}
}  // namespace

PXListView::PXListView(QWidget *parent) : QAbstractScrollArea(parent) {
    installListViewAccessibility();
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(kWheelLinePixels);
    verticalScrollBar()->setRange(0, 0);

    scroller_ = new PXThinScroller(this);
    scroller_->hide();
    connect(scroller_, &PXThinScroller::valueDragged, this, [this](double value) {
        setContentOffset(int(std::lround(value * maximumContentOffset())));
    });
    connect(scroller_, &PXThinScroller::pageRequested, this, [this](int direction) {
        setContentOffset(contentOffset() + direction * std::max(1, viewport()->height()));
    });

    scrollAnimation_ = new QVariantAnimation(this);
    scrollAnimation_->setDuration(kWheelAnimationMs);
    scrollAnimation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(scrollAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { verticalScrollBar()->setValue(value.toInt()); });

    liveResizeTimer_.setSingleShot(true);
    liveResizeTimer_.setInterval(kDefaultLiveResizeQuietMs);
    connect(&liveResizeTimer_, &QTimer::timeout, this, &PXListView::endLiveResize);

    currentRowMark_ = new CurrentRowMark(viewport());
}

PXListView::~PXListView() {
    // The row views outlive this object's own destructor by a moment (the base class deletes the viewport and
    // its children); they must not call back into a list that is already gone.
    for (PXListViewCell *cell : realized_)
        if (cell)
            cell->listView_ = nullptr;
    for (auto &queue : reuseQueues_)
        for (PXListViewCell *cell : queue)
            cell->listView_ = nullptr;
    delegate_ = nullptr;
    scrollAnimation_->stop();
}

void PXListView::setDelegate(PXListViewDelegate *delegate) { delegate_ = delegate; }

// ---------------------------------------------------------------------------------------------------------------
// Reload and layout

void PXListView::reloadData() {
    if (inLayout_) {
        // Asked from inside listViewCellForRow: finish the pass in hand first.
        reloadPending_ = true;
        return;
    }
    const int rows = delegate_ ? std::max(0, delegate_->numberOfRowsInListView(this)) : 0;
    std::vector<int> tops(size_t(rows) + 1, 0);
    qint64 total = 0;
    for (int row = 0; row < rows; ++row) {
        total = std::min(kMaxDocumentHeight, total + heightToPixels(delegate_->listViewHeightOfRow(this, row)));
        tops[size_t(row) + 1] = int(total);
    }
    rowTops_.swap(tops);

    // Every row in view is filled afresh. Queue its row view bottom row first, so the reuse queue hands the top
    // row its own row view back and most row views stay where they are.
    for (auto it = realized_.rbegin(); it != realized_.rend(); ++it)
        if (*it)
            enqueueCell(*it);
    realized_.clear();
    realizedRange_ = PXRowRange();

    if (anchorRow_ >= rows)
        anchorRow_ = -1;
    if (leadRow_ >= rows)
        leadRow_ = -1;
    updateDocumentGeometry();

    // Selected rows that no longer exist are dropped, and the delegate hears of it once the list is consistent.
    if (!selection_.empty() && *selection_.rbegin() >= rows)
        applySelection(std::set<int>(selection_.begin(), selection_.lower_bound(rows)));
    adoptCurrentRow();
    announceReload();
}

void PXListView::setKeepsCurrentRow(bool keeps) {
    keepsCurrentRow_ = keeps;
    adoptCurrentRow();
}

void PXListView::adoptCurrentRow() {
    // The first row in view is where the eye is.
    if (!keepsCurrentRow_ || !hasFocus() || !selection_.empty() || numberOfRows() <= 0)
        return;
    const int row = std::max(0, visibleRange().location);
    anchorRow_ = leadRow_ = row;
    withFlag(keyboardSelecting_, [&] { applySelection({row}); });
}

void PXListView::updateDocumentGeometry() {
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(std::max(1, viewport()->height()));
    bar->setRange(0, maximumContentOffset());  // clamps the offset, which scrolls through scrollContentsBy
    layoutCells();
    updateScroller();
    notifyBoundsIfChanged();
}

void PXListView::layoutCells() {
    if (inLayout_) {
        layoutPending_ = true;
        return;
    }
    inLayout_ = true;
    // A delegate that scrolls while filling a row asks for another pass; a handful settles any sane delegate.
    int passes = 0;
    do {
        layoutPending_ = false;
        layoutCellsOnce();
    } while (layoutPending_ && ++passes < 8);
    inLayout_ = false;
    updateCurrentRowMark();
    if (reloadPending_) {
        reloadPending_ = false;
        reloadData();
    }
}

void PXListView::layoutCellsOnce() {
    const PXRowRange wanted = delegate_ ? visibleRange() : PXRowRange();
    const PXRowRange old = realizedRange_;

    // Row views of rows that left the view go back to their queues first, so the delegate can take them for the
    // rows that came in.
    std::vector<PXListViewCell *> next(size_t(wanted.length), nullptr);
    for (int i = 0; i < old.length; ++i) {
        PXListViewCell *cell = realized_[size_t(i)];
        if (!cell)
            continue;
        const int row = old.location + i;
        if (wanted.contains(row))
            next[size_t(row - wanted.location)] = cell;
        else
            enqueueCell(cell);
    }
    realized_.swap(next);
    realizedRange_ = wanted;

    for (int row = wanted.location; row < wanted.end(); ++row) {
        const size_t slot = size_t(row - wanted.location);
        if (old.contains(row)) {
            if (realized_[slot])
                placeCell(realized_[slot], row);
            continue;
        }
        PXListViewCell *cell = delegate_ ? delegate_->listViewCellForRow(this, row) : nullptr;
        if (cell) {
            if (cell->queued_) {
                // Handed back without going through dequeue: take it out of its queue all the same.
                for (auto &queue : reuseQueues_)
                    queue.erase(std::remove(queue.begin(), queue.end(), cell), queue.end());
            }
            // A delegate that returns the row view of another visible row moves it here.
            if (cell->listView_ == this && cell->row_ != row && realizedRange_.contains(cell->row_) &&
                realized_[size_t(cell->row_ - realizedRange_.location)] == cell)
                realized_[size_t(cell->row_ - realizedRange_.location)] = nullptr;
            placeCell(cell, row);
        }
        realized_[slot] = cell;
    }

    // Row views still queued are not shown.
    for (auto &queue : reuseQueues_)
        for (PXListViewCell *cell : queue)
            if (!cell->isHidden())
                cell->hide();
    trimReuseQueues(std::max(8, 2 * wanted.length));
}

void PXListView::placeCell(PXListViewCell *cell, int row) {
    if (cell->parentWidget() != viewport())
        cell->setParent(viewport());
    cell->listView_ = this;
    cell->row_ = row;
    cell->queued_ = false;
    cell->setSelected(isRowSelected(row));
    const QRect frame(0, rowTops_[size_t(row)] - contentOffset(), viewport()->width(),
                      rowTops_[size_t(row) + 1] - rowTops_[size_t(row)]);
    if (cell->geometry() != frame)
        cell->setGeometry(frame);
    if (cell->isHidden())
        cell->show();
}

void PXListView::enqueueCell(PXListViewCell *cell) {
    cell->row_ = -1;
    cell->queued_ = true;
    reuseQueues_[cell->reusableIdentifier()].push_back(cell);
}

void PXListView::trimReuseQueues(int keepPerIdentifier) {
    // A delegate that never dequeues would otherwise pile up one hidden row view per row ever shown.
    for (auto &queue : reuseQueues_) {
        if (int(queue.size()) <= keepPerIdentifier)
            continue;
        const auto surplus = queue.begin() + (int(queue.size()) - keepPerIdentifier);
        for (auto it = queue.begin(); it != surplus; ++it) {
            (*it)->listView_ = nullptr;
            (*it)->queued_ = false;
            // Later, not now: the row view may be the one whose event handler scrolled it out of view.
            (*it)->deleteLater();
        }
        queue.erase(queue.begin(), surplus);
    }
}

void PXListView::forgetCell(PXListViewCell *cell) {
    for (PXListViewCell *&slot : realized_)
        if (slot == cell)
            slot = nullptr;
    for (auto &queue : reuseQueues_)
        queue.erase(std::remove(queue.begin(), queue.end(), cell), queue.end());
}

PXListViewCell *PXListView::dequeueCellWithReusableIdentifier(const QString &identifier) {
    auto it = reuseQueues_.find(identifier);
    if (it == reuseQueues_.end() || it->empty())
        return nullptr;
    PXListViewCell *cell = it->back();
    it->pop_back();
    cell->queued_ = false;
    cell->prepareForReuse();
    return cell;
}

// ---------------------------------------------------------------------------------------------------------------
// Geometry

PXRowRange PXListView::visibleRange() const {
    const int rows = numberOfRows();
    const int document = documentHeight();
    const int height = viewport()->height();
    const int top = contentOffset();
    if (rows <= 0 || document <= 0 || height <= 0 || top >= document)
        return PXRowRange();
    const int bottom = std::min(top + height, document);  // exclusive
    // First row: the last whose top is at or above the top edge. Last row: the last that starts above the bottom
    // edge. Rows of height 0 on either edge are not counted as visible.
    const int first = int(std::upper_bound(rowTops_.begin(), rowTops_.end(), top) - rowTops_.begin()) - 1;
    const int last = int(std::lower_bound(rowTops_.begin(), rowTops_.end(), bottom) - rowTops_.begin()) - 1;
    if (last < first)
        return PXRowRange();
    return PXRowRange{first, last - first + 1};
}

QList<PXListViewCell *> PXListView::visibleCells() const {
    QList<PXListViewCell *> cells;
    for (PXListViewCell *cell : realized_)
        if (cell)
            cells.append(cell);
    return cells;
}

PXListViewCell *PXListView::cellForRowAtIndex(int row) const {
    if (!realizedRange_.contains(row))
        return nullptr;
    return realized_[size_t(row - realizedRange_.location)];
}

QRect PXListView::rectOfRow(int row) const {
    if (row < 0 || row >= numberOfRows())
        return QRect();
    return QRect(0, rowTops_[size_t(row)], viewport()->width(), rowTops_[size_t(row) + 1] - rowTops_[size_t(row)]);
}

int PXListView::rowAtOffset(int documentY) const {
    if (documentY < 0 || documentY >= documentHeight())
        return -1;
    return int(std::upper_bound(rowTops_.begin(), rowTops_.end(), documentY) - rowTops_.begin()) - 1;
}

int PXListView::rowAtViewportPoint(const QPoint &point) const {
    if (point.x() < 0 || point.x() >= viewport()->width())
        return -1;
    return rowAtOffset(point.y() + contentOffset());
}

QRect PXListView::contentViewBounds() const {
    return QRect(0, contentOffset(), viewport()->width(), viewport()->height());
}

QRect PXListView::contentViewFrame() const { return viewport()->geometry(); }

// ---------------------------------------------------------------------------------------------------------------
// Scrolling

int PXListView::contentOffset() const { return verticalScrollBar()->value(); }

int PXListView::maximumContentOffset() const { return std::max(0, documentHeight() - viewport()->height()); }

void PXListView::setContentOffset(int documentY) {
    stopScrollAnimation();
    verticalScrollBar()->setValue(std::clamp(documentY, 0, maximumContentOffset()));
}

void PXListView::scrollToRow(int row) {
    if (row < 0 || row >= numberOfRows())
        return;
    setContentOffset(rowTops_[size_t(row)]);
}

void PXListView::scrollRowToVisible(int row) {
    if (row < 0 || row >= numberOfRows())
        return;
    stopScrollAnimation();
    const QRect rect = rectOfRow(row);
    const int top = contentOffset();
    const int height = viewport()->height();
    if (rect.top() < top || rect.height() > height)
        setContentOffset(rect.top());
    else if (rect.top() + rect.height() > top + height)
        setContentOffset(rect.top() + rect.height() - height);
}

void PXListView::reflectScrolledClipView() {
    layoutCells();
    updateScroller();
    notifyBoundsIfChanged();
}

void PXListView::scrollContentsBy(int dx, int dy) {
    Q_UNUSED(dx);
    // Moves the row views with the pixels already drawn; only the uncovered strip is painted anew.
    if (dy != 0)
        viewport()->scroll(0, dy);
    layoutCells();
    updateScroller();
    notifyBoundsIfChanged();
}

void PXListView::notifyBoundsIfChanged() {
    const QRect bounds = contentViewBounds();
    if (bounds == lastBounds_)
        return;
    lastBounds_ = bounds;
    emit contentViewBoundsDidChange(bounds);
}

void PXListView::updateScroller() {
    const int document = documentHeight();
    const int height = viewport()->height();
    if (document == 0 || document == height || height >= document) {
        scroller_->hide();
        return;
    }
    scroller_->setDoubleValue(double(contentOffset()) / double(document - height));
    scroller_->setKnobProportion(double(height) / double(document));
    const QRect frame = contentViewFrame();
    const int width = PXThinScroller::scrollerWidth();
    const QRect place(frame.x() + frame.width() - width, frame.y(), width, frame.height());
    if (scroller_->geometry() != place)
        scroller_->setGeometry(place);
    if (scroller_->isHidden()) {
        scroller_->raise();
        scroller_->show();
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Wheel

void PXListView::setSmoothScrolling(bool smooth) {
    smoothScrolling_ = smooth;
    if (!smooth)
        stopScrollAnimation();
}

bool PXListView::isScrollAnimating() const {
    return scrollAnimation_->state() == QAbstractAnimation::Running;
}

int PXListView::scrollTarget() const { return isScrollAnimating() ? scrollTarget_ : contentOffset(); }

void PXListView::stopScrollAnimation() {
    if (isScrollAnimating())
        scrollAnimation_->stop();
}

void PXListView::scrollByPixels(int dy, bool animated) {
    const int target = std::clamp(scrollTarget() + dy, 0, maximumContentOffset());
    if (!animated || target == contentOffset()) {
        stopScrollAnimation();
        verticalScrollBar()->setValue(target);
        return;
    }
    // A notch that arrives mid-animation extends the same glide from where the view is now.
    scrollTarget_ = target;
    scrollAnimation_->stop();
    scrollAnimation_->setStartValue(contentOffset());
    scrollAnimation_->setEndValue(target);
    scrollAnimation_->start();
}

void PXListView::wheelEvent(QWheelEvent *event) {
    const QPoint pixels = event->pixelDelta();
    if (pixels.y() != 0) {
        wheelRemainder_ = 0.0;
        scrollByPixels(-pixels.y(), false);
        event->accept();
        return;
    }
    const int angle = event->angleDelta().y();
    if (angle == 0) {
        event->ignore();
        return;
    }
    // A notch is 120 eighths of a degree; high-resolution wheels send fractions of it, which add up here.
    if ((wheelRemainder_ > 0) != (angle > 0))
        wheelRemainder_ = 0.0;
    wheelRemainder_ += angle / 120.0 * QApplication::wheelScrollLines() * kWheelLinePixels;
    const int step = int(wheelRemainder_);
    wheelRemainder_ -= step;
    if (step != 0)
        scrollByPixels(-step, smoothScrolling_);
    event->accept();
}

// ---------------------------------------------------------------------------------------------------------------
// Live resize

void PXListView::resizeEvent(QResizeEvent *event) {
    // Called for the viewport: it already has its new size.
    QAbstractScrollArea::resizeEvent(event);
    updateDocumentGeometry();
    if (event->oldSize() != event->size()) {
        inLiveResize_ = true;
        liveResizeTimer_.start();
    }
}

void PXListView::endLiveResize() {
    inLiveResize_ = false;
    if (delegate_)
        delegate_->listViewDidEndLiveResize(this);
}

// ---------------------------------------------------------------------------------------------------------------
// Selection

void PXListView::setAllowsMultipleSelection(bool allows) {
    allowsMultipleSelection_ = allows;
    if (!allows && selection_.size() > 1) {
        const int keep = isRowSelected(leadRow_) ? leadRow_ : *selection_.begin();
        anchorRow_ = leadRow_ = keep;
        applySelection({keep});
    }
}

QList<int> PXListView::selectedRows() const { return QList<int>(selection_.begin(), selection_.end()); }

int PXListView::selectedRow() const { return selection_.empty() ? -1 : *selection_.begin(); }

void PXListView::selectRow(int row, bool byExtendingSelection) { selectRowIndexes({row}, byExtendingSelection); }

void PXListView::selectRowIndexes(const QList<int> &rows, bool byExtendingSelection) {
    const int count = numberOfRows();
    std::vector<int> valid;
    for (int row : rows)
        if (row >= 0 && row < count)
            valid.push_back(row);
    if (valid.empty())
        return;
    std::set<int> next;
    if (allowsMultipleSelection_) {
        if (byExtendingSelection)
            next = selection_;
        next.insert(valid.begin(), valid.end());
    } else {
        next.insert(valid.back());
    }
    anchorRow_ = leadRow_ = valid.back();
    applySelection(std::move(next));
}

void PXListView::deselectRow(int row) {
    if (!isRowSelected(row))
        return;
    std::set<int> next = selection_;
    next.erase(row);
    applySelection(std::move(next));
}

void PXListView::deselectRows() { applySelection({}); }

void PXListView::applySelection(std::set<int> rows) {
    if (rows == selection_)
        return;
    selection_.swap(rows);
    for (int i = 0; i < realizedRange_.length; ++i)
        if (PXListViewCell *cell = realized_[size_t(i)])
            cell->setSelected(isRowSelected(realizedRange_.location + i));
    updateCurrentRowMark();
    if (delegate_)
        delegate_->listViewSelectionDidChange(this);
    announceCurrentRow();
}

void PXListView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const int row = rowAtViewportPoint(event->position().toPoint());
    const bool toggle = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    const bool extend = (event->modifiers() & Qt::ShiftModifier) && allowsMultipleSelection_;
    event->accept();

    if (row < 0) {
        if (allowsEmptySelection_ && !toggle && !extend)
            deselectRows();
        return;
    }
    if (toggle) {
        if (!isRowSelected(row)) {
            selectRow(row, true);
        } else if (allowsEmptySelection_ || selection_.size() > 1) {
            anchorRow_ = leadRow_ = row;
            deselectRow(row);
        }
    } else if (extend && anchorRow_ >= 0 && anchorRow_ < numberOfRows()) {
        std::set<int> range;
        for (int r = std::min(anchorRow_, row); r <= std::max(anchorRow_, row); ++r)
            range.insert(r);
        leadRow_ = row;
        applySelection(std::move(range));
    } else {
        selectRow(row, false);
    }
}

void PXListView::mouseReleaseEvent(QMouseEvent *event) {
    // The press selected; the release only has to be taken so that it goes no further.
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QAbstractScrollArea::mouseReleaseEvent(event);
}

void PXListView::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    const int row = rowAtViewportPoint(event->position().toPoint());
    if (row >= 0 && delegate_)
        delegate_->listViewRowDoubleClicked(this, row);
}

// ---------------------------------------------------------------------------------------------------------------
// Keyboard

int PXListView::keyboardCurrentRow() const {
    if (selection_.empty())
        return -1;
    return isRowSelected(leadRow_) ? leadRow_ : *selection_.begin();
}

void PXListView::selectRowFromKeyboard(int row) {
    if (row >= 0 && row < numberOfRows())
        moveSelectionTo(row, false);
}

void PXListView::moveSelectionTo(int row, bool extend) {
    withFlag(keyboardSelecting_, [&] { moveSelectionToRow(row, extend); });
    scrollRowToVisible(row);
}

void PXListView::moveSelectionToRow(int row, bool extend) {
    if (extend && anchorRow_ >= 0 && anchorRow_ < numberOfRows()) {
        std::set<int> range;
        for (int r = std::min(anchorRow_, row); r <= std::max(anchorRow_, row); ++r)
            range.insert(r);
        leadRow_ = row;
        applySelection(std::move(range));
    } else {
        anchorRow_ = leadRow_ = row;
        applySelection({row});
    }
}

void PXListView::keyPressEvent(QKeyEvent *event) {
    const int rows = numberOfRows();
    const int current = keyboardCurrentRow();
    const int page = std::max(1, viewport()->height());
    const bool extend = (event->modifiers() & Qt::ShiftModifier) && allowsMultipleSelection_;
    const PXRowRange visible = visibleRange();

    switch (event->key()) {
    case Qt::Key_Down:
        if (rows > 0)
            moveSelectionTo(current < 0 ? visible.location : std::min(current + 1, rows - 1), extend);
        break;
    case Qt::Key_Up:
        if (rows > 0)
            moveSelectionTo(current < 0 ? std::max(0, visible.end() - 1) : std::max(current - 1, 0), extend);
        break;
    case Qt::Key_PageDown:
        if (current < 0) {
            setContentOffset(contentOffset() + page);
        } else {
            // The row a page below the current one, and at least the next row.
            const int y = rowTops_[size_t(current)] + page;
            int target = y >= documentHeight() ? rows - 1 : rowAtOffset(y);
            target = std::max(target, std::min(current + 1, rows - 1));
            moveSelectionTo(target, extend);
        }
        break;
    case Qt::Key_PageUp:
        if (current < 0) {
            setContentOffset(contentOffset() - page);
        } else {
            const int y = rowTops_[size_t(current)] - page;
            int target = y < 0 ? 0 : rowAtOffset(y);
            target = std::min(target, std::max(current - 1, 0));
            moveSelectionTo(target, extend);
        }
        break;
    case Qt::Key_Home:
        if (rows > 0)
            moveSelectionTo(0, extend && current >= 0);
        break;
    case Qt::Key_End:
        if (rows > 0)
            moveSelectionTo(rows - 1, extend && current >= 0);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PXListView::focusInEvent(QFocusEvent *event) {
    QAbstractScrollArea::focusInEvent(event);
    // A click picks its own row.
    if (event->reason() != Qt::MouseFocusReason)
        adoptCurrentRow();
    updateCurrentRowMark();
    announceCurrentRow();
}

void PXListView::focusOutEvent(QFocusEvent *event) {
    QAbstractScrollArea::focusOutEvent(event);
    updateCurrentRowMark();
}

void PXListView::updateCurrentRowMark() {
    const int row = keyboardCurrentRow();
    if (!hasFocus() || row < 0 || !visibleRange().contains(row)) {
        if (!currentRowMark_->isHidden())
            currentRowMark_->hide();
        return;
    }
    const QRect frame = rectOfRow(row).translated(0, -contentOffset());
    if (currentRowMark_->geometry() != frame)
        currentRowMark_->setGeometry(frame);
    // Row views placed since are stacked above it.
    if (viewport()->children().constLast() != currentRowMark_)
        currentRowMark_->raise();
    if (currentRowMark_->isHidden())
        currentRowMark_->show();
}

// ---------------------------------------------------------------------------------------------------------------
// Assistive technology

void PXListView::announceReload() {
    if (!QAccessible::isActive())
        return;
    if (auto *list = dynamic_cast<PXListViewAccessible *>(QAccessible::queryAccessibleInterface(this)))
        list->rowsReloaded();
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
}

void PXListView::announceCurrentRow() {
    const int row = keyboardCurrentRow();
    if (!QAccessible::isActive() || row < 0)
        return;
    auto *list = dynamic_cast<PXListViewAccessible *>(QAccessible::queryAccessibleInterface(this));
    QAccessibleInterface *item = list ? list->child(row) : nullptr;
    if (!item)
        return;
    QAccessibleEvent selection(item, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
    if (hasFocus()) {
        QAccessibleEvent focus(item, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}
