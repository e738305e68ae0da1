#pragma once

#include <QString>
#include <QStringList>

class PXListView;
class PXListViewCell;

// Data source and delegate of a PXListView. Every call comes on the main thread, from inside the list's own
// reload, layout, event handling or timers.
class PXListViewDelegate {
public:
    virtual ~PXListViewDelegate() = default;

    virtual int numberOfRowsInListView(PXListView *listView) = 0;

    // Height of the row in pixels. The list rounds it up to whole pixels; a negative or non-finite height counts
    // as 0. Heights are read only by PXListView::reloadData, never while scrolling.
    virtual double listViewHeightOfRow(PXListView *listView, int row) = 0;

    // The row view of a row that has come into view. Take it from
    // PXListView::dequeueCellWithReusableIdentifier when one is queued, otherwise make a new one. The list takes
    // ownership, sizes and places it. Returning nullptr leaves the row blank.
    virtual PXListViewCell *listViewCellForRow(PXListView *listView, int row) = 0;

    // The set of selected rows has changed (by a click, a key, a reload that removed selected rows, or a
    // select/deselect call). Not called when a call leaves the selection as it was.
    virtual void listViewSelectionDidChange(PXListView *listView) { (void)listView; }

    // A burst of size changes has been followed by a quiet period: heights computed for the old width are stale.
    virtual void listViewDidEndLiveResize(PXListView *listView) { (void)listView; }

    virtual void listViewRowDoubleClicked(PXListView *listView, int row) { (void)listView; (void)row; }

    // What a screen reader says for a row: the whole item in one sentence, as a person would read it out.
    virtual QString listViewAccessibleTextOfRow(PXListView *listView, int row)
    {
        (void)listView;
        (void)row;
        return QString();
    }
    // The commands assistive technology may run on a row (their names are shown to the user), and running one.
    virtual QStringList listViewAccessibleActionsOfRow(PXListView *listView, int row)
    {
        (void)listView;
        (void)row;
        return {};
    }
    virtual void listViewPerformAccessibleAction(PXListView *listView, int row, const QString &action)
    {
        (void)listView;
        (void)row;
        (void)action;
    }
};
