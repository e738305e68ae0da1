#include "compose/OwnStatus.h"

#include "cells/TimelineCellStatus.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

void showOwnStatus(PXListViewController* home, bool homeShown, const boost::shared_ptr<weibo::WBStatus>& status)
{
    if (!home || !status)
        return;
    auto cell = std::make_shared<TimelineCellStatus>(status);
    cell->setListViewController(home);
    home->addFakeCell(cell);
    if (homeShown)
        home->reloadData();
    // The new item is the top row: the list goes there rather than keeping the rows below in place.
    if (PXListView* list = home->listView())
        list->scrollToRow(0);
}
