#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>
#include <QTimer>
#include <set>
#include <vector>

class PXListViewCell;
class PXListViewDelegate;
class PXThinScroller;
class QVariantAnimation;

// A run of rows: location is the first row, length the number of rows.
struct PXRowRange {
    int location = 0;
    int length = 0;

    int end() const { return location + length; }
    bool contains(int row) const { return row >= location && row < end(); }
    bool operator==(const PXRowRange &other) const {
        return location == other.location && length == other.length;
    }
};

// A vertical list of rows of variable height whose row views are made on demand and reused.
//
// Geometry: the document is the stack of all rows, y growing downwards from 0 at the top of row 0. The content
// (clip) view is the viewport; its bounds are the part of the document it shows: (0, contentOffset, viewport
// width, viewport height). Only rows that intersect those bounds have row views; a row view that leaves them goes
// into a queue under its reuse identifier, where the delegate picks it up again for the next row it fills.
//
// Row tops are kept as cumulative sums, so finding the visible rows is a binary search however long the list.
// The native scroll bars are never shown; a thin overlay scroller (scroller()) sits at the right edge.
class PXListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PXListView(QWidget *parent = nullptr);
    ~PXListView() override;

    PXListViewDelegate *delegate() const { return delegate_; }
    // The delegate is not owned. One that goes away before the list must set nullptr first.
    void setDelegate(PXListViewDelegate *delegate);

    // Asks the delegate for the row count and every row height, then fills the rows in view afresh (their row
    // views are queued first, so the delegate gets them back). Keeps the scroll position, clamped to the new
    // document; keeps selected rows that still exist.
    void reloadData();

    // A queued row view with this identifier (prepareForReuse already called), or nullptr.
    PXListViewCell *dequeueCellWithReusableIdentifier(const QString &identifier);

    int numberOfRows() const { return int(rowTops_.size()) - 1; }

    // Rows intersecting the content view's bounds (partly visible rows included).
    PXRowRange visibleRange() const;
    // Row views of the visible rows, top to bottom (rows left blank by the delegate are skipped).
    QList<PXListViewCell *> visibleCells() const;
    // The row view of a visible row, or nullptr.
    PXListViewCell *cellForRowAtIndex(int row) const;

    // Rectangle of a row in document coordinates (the width is the content view's); empty for no such row.
    QRect rectOfRow(int row) const;
    // The row at a document y, or -1 above or below every row.
    int rowAtOffset(int documentY) const;
    // The row under a point in the content view's (viewport's) coordinates, or -1.
    int rowAtViewportPoint(const QPoint &point) const;

    // --- Scrolling. Every scroll stops a running wheel animation first, and reports the bounds change. ---

    // Brings the top of the row to the top of the content view, or scrolls to the end when the document below
    // the row is too short for that.
    void scrollToRow(int row);
    // Scrolls as little as needed to show the whole row (its top when it is taller than the content view).
    void scrollRowToVisible(int row);
    // Vertical origin of the content view's bounds in the document.
    int contentOffset() const;
    // Moves the content view's bounds to this document y, clamped to [0, maximumContentOffset()].
    void setContentOffset(int documentY);
    int maximumContentOffset() const;
    // Brings rows, scroller and listeners in line with the current content offset. Scrolling does this by
    // itself; it is here for code that moves the offset and wants to be sure everything follows.
    void reflectScrolledClipView();

    int documentHeight() const { return rowTops_.back(); }
    // Bounds of the content (clip) view in document coordinates: (0, contentOffset, width, height).
    QRect contentViewBounds() const;
    QRect visibleRect() const { return contentViewBounds(); }
    // Frame of the content view in this widget's coordinates.
    QRect contentViewFrame() const;

    // --- Selection ---

    bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
    void setAllowsMultipleSelection(bool allows);
    // Whether a click on no row (or a toggle of the only selected row) may leave nothing selected. Calls of
    // deselectRow/deselectRows always work.
    bool allowsEmptySelection() const { return allowsEmptySelection_; }
    void setAllowsEmptySelection(bool allows) { allowsEmptySelection_ = allows; }

    // Selected rows, ascending.
    QList<int> selectedRows() const;
    // The first selected row, or -1.
    int selectedRow() const;
    bool isRowSelected(int row) const { return selection_.count(row) != 0; }
    void selectRow(int row, bool byExtendingSelection = false);
    // Rows out of range are ignored; a call with no valid row changes nothing (deselectRows empties the
    // selection). Without multiple selection only the last valid row is taken, replacing the selection.
    void selectRowIndexes(const QList<int> &rows, bool byExtendingSelection);
    void deselectRow(int row);
    void deselectRows();

    // --- Keyboard ---

    // The row the keys act on: the moving end of the selection, or -1 when nothing is selected.
    int currentRow() const { return keyboardCurrentRow(); }
    // Makes `row` the current row as the arrow keys do: the only selected row, brought into view. Rows out of
    // range change nothing.
    void selectRowFromKeyboard(int row);
    // True while the delegate hears of a selection change that a key made: the keyboard moves through a list
    // without acting on every row it passes, where a click on a row acts on it.
    bool selectionChangedByKeyboard() const { return keyboardSelecting_; }
    // Whether the list, while it has the focus, always has a current row for the keys: with rows but nothing
    // selected (rows came, a reload dropped the selected ones, the focus came by Tab) the first row in view
    // becomes current, without scrolling and as a key would select it. Off by default.
    bool keepsCurrentRow() const { return keepsCurrentRow_; }
    void setKeepsCurrentRow(bool keeps);

    // --- Wheel scrolling ---

    // When on (the default), wheel notches scroll in a short animation; pixel deltas (touchpads) always apply
    // at once, since they already arrive in small steps.
    bool smoothScrolling() const { return smoothScrolling_; }
    void setSmoothScrolling(bool smooth);
    bool isScrollAnimating() const;
    // Where a running wheel animation will end (the content offset when none runs).
    int scrollTarget() const;

    // --- Live resize ---

    // True from the first size change of a burst until the burst has been quiet for liveResizeQuietPeriod().
    bool inLiveResize() const { return inLiveResize_; }
    int liveResizeQuietPeriod() const { return liveResizeTimer_.interval(); }
    void setLiveResizeQuietPeriod(int milliseconds) { liveResizeTimer_.setInterval(milliseconds); }

    // The overlay scroller. The list keeps it placed and up to date; a controller may restyle it.
    PXThinScroller *scroller() const { return scroller_; }

signals:
    // The content view's bounds have changed: a scroll, a resize, or a reload that clamped the offset.
    void contentViewBoundsDidChange(const QRect &bounds);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class PXListViewCell;

    void updateDocumentGeometry();
    void layoutCells();
    void layoutCellsOnce();
    void placeCell(PXListViewCell *cell, int row);
    void enqueueCell(PXListViewCell *cell);
    void trimReuseQueues(int keepPerIdentifier);
    void updateScroller();
    void notifyBoundsIfChanged();
    void applySelection(std::set<int> rows);
    int keyboardCurrentRow() const;
    // Moves as a key does (the delegate sees selectionChangedByKeyboard()) and keeps the row in view.
    void moveSelectionTo(int row, bool extend);
    void moveSelectionToRow(int row, bool extend);
    void scrollByPixels(int dy, bool animated);
    void stopScrollAnimation();
    void endLiveResize();
    void forgetCell(PXListViewCell *cell);
    // See keepsCurrentRow().
    void adoptCurrentRow();
    // The ring around the current row while the list has the focus.
    void updateCurrentRowMark();
    // Tells assistive technology that the rows were reloaded, or which row is now current.
    void announceReload();
    void announceCurrentRow();

    PXListViewDelegate *delegate_ = nullptr;
    std::vector<int> rowTops_{0};           // rowTops_[r] = top of row r; back() = document height
    PXRowRange realizedRange_;               // rows that have been filled
    std::vector<PXListViewCell *> realized_; // one per row of realizedRange_, nullptr for a blank row
    QHash<QString, std::vector<PXListViewCell *>> reuseQueues_;
    std::set<int> selection_;
    int anchorRow_ = -1;  // fixed end of a Shift-extended range
    int leadRow_ = -1;    // moving end; where the keyboard continues from
    bool allowsMultipleSelection_ = false;
    bool allowsEmptySelection_ = true;
    bool smoothScrolling_ = true;
    QVariantAnimation *scrollAnimation_ = nullptr;
    int scrollTarget_ = 0;
    double wheelRemainder_ = 0.0;  // fraction of a notch left over by high-resolution wheels
    QTimer liveResizeTimer_;
    bool inLiveResize_ = false;
    PXThinScroller *scroller_ = nullptr;
    QRect lastBounds_;
    bool inLayout_ = false;
    bool layoutPending_ = false;
    bool reloadPending_ = false;
    bool keyboardSelecting_ = false;
    bool keepsCurrentRow_ = false;
    QWidget *currentRowMark_ = nullptr;
};
