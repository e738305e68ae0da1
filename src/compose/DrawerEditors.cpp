#include "compose/DrawerEditorContext.h"

#include "cells/TimelineCellStatus.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"

void insertIntoHomeTimeline(const DrawerEditorContext& context, const boost::shared_ptr<weibo::WBStatus>& status)
{
    PXListViewController* home = context.homeList ? context.homeList() : nullptr;
    if (!home || !status)
        return;
    auto cell = std::make_shared<TimelineCellStatus>(status);
    cell->setListViewController(home);
    home->addFakeCell(cell);
    if (context.selectedList && context.selectedList() == home) {
        home->setScrollMode(PXListViewController::kScrollHold);
        home->reloadData();
        if (context.host)
            context.host->updateLeftTabs();
    }
}
