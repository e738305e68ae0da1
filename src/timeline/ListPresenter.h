#pragma once
// How one list is shown: the rows of its list view, their heights and row views, reloads, the scroll modes that
// settle the position after a reload, the one-shot callback after the next complete reload, the ends of the list
// and the scroller, and the selection, which stays on its item across reloads, merges and removals (or clears when
// the item leaves). Main thread.
#include "cells/CellTypes.h"
#include "cells/ListKind.h"
#include "widgets/PXListView.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class PXListViewCell;
class PXListViewController;
class TimelineRowView;

class ListPresenter : public QObject {
    Q_OBJECT
public:
    explicit ListPresenter(PXListViewController& list);
    ~ListPresenter() override;
    // The name, and reuse identifier, of the row view of a kind ("WeiboCell", "MessageGroupCell", "ChatCell").
    static QString rowNibNameFor(const ListKind& kind);

    PXListView* listView() const { return listView_.data(); }
    TimelineRowView* dummyCell() const { return dummyCell_; }
    double minHeightOfRow() const { return minHeight_; }
    double spaceHeightOfRow() const { return spaceHeight_; }

    // The list view's data source and delegate.
    int numberOfRows() const;
    double heightOfRow(int row) const;
    PXListViewCell* cellForRow(int row);
    void selectionDidChange();
    // What assistive technology reads of a row (the item in one sentence) and the commands it may run there.
    QString accessibleTextOfRow(int row) const;
    QStringList accessibleActionsOfRow(int row) const;
    void performAccessibleAction(int row, const QString& action);

    void reloadData();
    // The rows now, at the heights of their text as it stands, when a reload would wait for pictures still on the
    // way (a kept list shown while the picture host does not answer); the next complete reload measures them again.
    void reloadProvisionally();
    double cellWidth() const { return cellWidth_.load(); }
    void setCellWidth(double width) { cellWidth_.store(width); }
    void beginImageLoad() { ++countdown_; }
    void defferedReloadData();
    void reloadIfCellVisible(const TimelineCellBase& cell);
    std::uint64_t countdownToReloadData() const { return countdown_.load(); }

    void setScrollMode(std::uint64_t mode);
    std::uint64_t scrollMode() const { return scrollMode_.load(); }
    double belowFixedHeight() const;

    // The one-shot callback: armed by its selector, run once after the next complete reload, then disarmed.
    struct Callback {
        QPointer<QObject> target;
        std::function<void(const QVariant&)> selector;
        QVariant object;
        bool armed() const { return target && selector; }
    };
    Callback& callback() { return callback_; }

    void checkScrollerBound();
    void drawScroller();
    // Unread rows in view clear the list's unread count (kinds with unread rows).
    void checkUnread();
    // What the end of the list loads, by kind.
    void reloadPreappendData();
    // The item of the selected row, followed across reloads (none when nothing is selected).
    CellPtr selectedItem() const { return selected_; }

    // Stops reacting to the list view (the controller is going).
    void detach();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void contentViewBoundsDidChange(const QRect& bounds);
    void fillRowView(TimelineRowView* view, const CellPtr& cell);
    // Puts the selection back on its item after the rows changed.
    void restoreSelection(const CellArray& cells);
    CellPtr cellAtRow(int row) const;
    void settleScrollPosition();

    PXListViewController& list_;
    QPointer<PXListView> listView_;
    TimelineRowView* dummyCell_ = nullptr;
    double minHeight_ = 0;
    double spaceHeight_ = 0;
    std::atomic<double> cellWidth_{0};
    std::atomic<std::uint64_t> countdown_{0};

    mutable std::mutex scrollLock_;  // guards belowFixedHeight_ (the mode is set from the poll's thread)
    std::atomic<std::uint64_t> scrollMode_{0};
    double belowFixedHeight_ = 0;

    Callback callback_;
    CellPtr selected_;
    bool restoringSelection_ = false;

    QMetaObject::Connection scrollHook_;
    bool recheckPending_ = false;
    // The user moved to the top (by a scroll that ended there, or a wheel turned up at the top); a list that
    // merely lands at the top (a reload, a resize) does not go back a comment page.
    bool topReachedByUser_ = false;
    int lastContentOffset_ = 0;
    bool rowReloadPending_ = false;
    bool detached_ = false;
};
