#include "timeline/RelativeTimeRefresher.h"

#include "cells/DateTimesince.h"
#include "cells/TimelineCellBase.h"
#include "timeline/TimelineCell.h"
#include "timeline/WBTextView.h"
#include "widgets/PXListView.h"

#include <QEvent>

#include <algorithm>

namespace {

// The rows in view that show an age, with the item each shows.
template <typename Fn>
void forEachDatedRow(PXListView* list, Fn&& fn)
{
    for (PXListViewCell* view : list->visibleCells()) {
        auto* row = dynamic_cast<TimelineCell*>(view);
        const CellPtr cell = row ? row->textView()->cellData() : nullptr;
        if (cell)
            fn(*row, *cell);
    }
}

} // namespace

RelativeTimeRefresher::RelativeTimeRefresher(PXListView* list) : QObject(list), list_(list)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RelativeTimeRefresher::refreshVisibleDates);
    // Rows come into view by scrolling and reloading, and the list by being shown: the plan follows them.
    connect(list, &PXListView::contentViewBoundsDidChange, this, &RelativeTimeRefresher::schedule);
    list->installEventFilter(this);
    timer_.start(kLongestWaitMs);
}

void RelativeTimeRefresher::refreshVisibleDates()
{
    if (!list_)
        return;
    if (list_->isVisible())
        forEachDatedRow(list_, [](TimelineCell& row, const TimelineCellBase& cell) {
            // Only a changed text repaints the row.
            if (!row.date().isEmpty())
                row.setDate(cell.date());
        });
    schedule();
}

void RelativeTimeRefresher::schedule()
{
    if (!list_)
        return;
    int wait = kLongestWaitMs;
    if (list_->isVisible()) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        forEachDatedRow(list_, [&](TimelineCell& row, const TimelineCellBase& cell) {
            if (row.date().isEmpty())
                return;
            const int seconds = secondsUntilTimesinceChanges(cell.createdAt(), now);
            if (seconds > 0)
                wait = std::min<qint64>(wait, qint64(seconds) * 1000);
        });
    }
    timer_.start(std::max(wait, 1));
}

bool RelativeTimeRefresher::eventFilter(QObject* watched, QEvent* event)
{
    // A list shown again (its tab chosen) may hold young rows: look at them at once.
    // The list itself is asked for by parent(): while it is being destroyed it is no longer a list, and the
    // guarded pointer would cast it to one.
    if (event->type() == QEvent::Show && watched == parent())
        QTimer::singleShot(0, this, &RelativeTimeRefresher::refreshVisibleDates);
    return QObject::eventFilter(watched, event);
}
