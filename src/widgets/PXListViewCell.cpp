#include "widgets/PXListViewCell.h"

#include "widgets/PXListView.h"

PXListViewCell::PXListViewCell(const QString &reusableIdentifier, QWidget *parent)
    : QWidget(parent), reusableIdentifier_(reusableIdentifier) {}

PXListViewCell::~PXListViewCell() {
    // A row view deleted behind the list's back must not stay in its tables.
    if (listView_)
        listView_->forgetCell(this);
}

void PXListViewCell::prepareForReuse() {}

void PXListViewCell::setSelected(bool selected) {
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}
