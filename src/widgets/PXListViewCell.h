#pragma once

#include <QString>
#include <QWidget>

class PXListView;

// Base class of the row views of a PXListView. A row view is made for one row, shown while that row is in view,
// then queued under its reuse identifier and handed out again for another row of the same kind.
//
// Mouse presses that a row view (or its children) does not accept reach the list, which selects the row.
// Subclasses read isSelected() when they paint; the list repaints a row view whose selection changes.
class PXListViewCell : public QWidget {
    Q_OBJECT
public:
    explicit PXListViewCell(const QString &reusableIdentifier = QString(), QWidget *parent = nullptr);
    ~PXListViewCell() override;

    QString reusableIdentifier() const { return reusableIdentifier_; }
    void setReusableIdentifier(const QString &identifier) { reusableIdentifier_ = identifier; }

    // The list that shows this row view; nullptr before it first joins one.
    PXListView *listView() const { return listView_; }
    // The row shown, or -1 while the row view waits in the reuse queue.
    int row() const { return row_; }
    bool isSelected() const { return selected_; }

    // Called when the row view is taken from the reuse queue, before the delegate fills it for its new row.
    // Clear here whatever must not show through from the previous row.
    virtual void prepareForReuse();

private:
    friend class PXListView;
    void setSelected(bool selected);

    QString reusableIdentifier_;
    PXListView *listView_ = nullptr;
    int row_ = -1;
    bool selected_ = false;
    bool queued_ = false;
};
