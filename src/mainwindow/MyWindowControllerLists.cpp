// The "分组" chooser, the list filter of the home timeline and the user tab.
#include "mainwindow/MyWindowController.h"

#include "cells/FailureText.h"
#include "cells/TimelineCellStatus.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"

void MyWindowController::makeWeiboLists()
{
    if (listsMade_)
        return;
    listsMade_ = true;
    const QString uid = selfUserIdString();
    if (uid.isEmpty())
        return;
    listsButton_->clear();
    listsButton_->addItemWithTitle(QStringLiteral("所有"), QVariant::fromValue<qulonglong>(0));
    auto weibo = weibo_;
    // The lists request runs away from the window; the entries arrive when it answers.
    runInBackground([this, weibo, uid] {
        weibo::SinaWeiboOptions options;
        options.listType_ = 1;
        const auto lists = weibo::listsOf(weibo->userLists(uid.toStdString(), options));
        QList<QPair<QString, qulonglong>> entries;
        for (const auto& list : lists.value)
            entries.append({QString::fromStdString(list->name), qulonglong(list->id)});
        const weibo::TransferOutcome outcome = lists.outcome;
        performOnMain([this, entries, outcome] {
            // Without its lists the chooser offers "所有" only; the failure line says why.
            showTransferOutcome(outcome);
            for (const auto& entry : entries)
                listsButton_->addItemWithTitle(entry.first, QVariant::fromValue(entry.second));
        });
    });
}

void MyWindowController::weiboListClicked(int index)
{
    if (index < 0)
        index = listsButton_->indexOfSelectedItem();
    if (isStarting() || index < 0)
        return;
    const qulonglong listId = listsButton_->representedObjectAt(index).toULongLong();
    ++listChoice_;
    if (listId == 0) {
        leftTabClicked(timelineHome_);
        return;
    }
    const QString key = QString::number(listId);
    const auto cached = weiboListMembers_.constFind(key);
    if (cached != weiboListMembers_.cend()) {
        applyListMembers(key, *cached);
        return;
    }
    // The members are gathered page by page away from the window, then kept for the run. Only the last choice
    // is applied: a slow answer for a list chosen before must not switch the tab back to it.
    const std::uint64_t generation = listChoice_;
    const BusyText busy = displayBusy(QStringLiteral("正在加载分组成员..."));
    runInBackground([this, key, generation, busy]() mutable {
        const weibo::Reply<std::set<std::uint64_t>> members = totalMembersOfMyList(key);
        performOnMain([this, key, members, generation, busy]() mutable {
            busy.done();
            if (!members.ok()) {
                // Not kept: the next choice of the list asks again.
                alertFailure(QStringLiteral("加载分组成员失败！"), members.outcome, this);
                return;
            }
            weiboListMembers_.insert(key, members.value);
            if (generation == listChoice_)
                applyListMembers(key, members.value);
        });
    });
}

void MyWindowController::applyListMembers(const QString&, const std::set<std::uint64_t>& members)
{
    PXListViewController* home = weiboListViewController();
    PXListViewController* lists = listsListViewController();
    if (!home || !lists)
        return;
    CellArray cells;
    for (const CellPtr& cell : *home->dataOfCells()) {
        const auto* status = dynamic_cast<const TimelineCellStatus*>(cell.get());
        if (status && members.count(status->userIdNumber()))
            cells.push_back(cell);
    }
    lists->setDataOfCells(std::move(cells));
    TabView* inner = qobject_cast<TabView*>(tabView_->tabViewItemAtIndex(0)->view());
    if (tabView_->indexOfSelectedTabViewItem() == 0 && inner && inner->indexOfSelectedTabViewItem() == 2) {
        lists->reloadData();
        return;
    }
    tabView_->selectTabViewItemAtIndex(0);
    if (inner) {
        if (inner->indexOfSelectedTabViewItem() == 2)
            tabViewDidSelectTabViewItem(inner, inner->selectedTabViewItem());
        else
            inner->selectTabViewItemAtIndex(2);
    }
    subHome_->selectItemAtIndex(2);
    updateLeftTabs();
}

weibo::Reply<std::set<std::uint64_t>> MyWindowController::totalMembersOfMyList(const QString& listId)
{
    return totalMembersOfUser(selfUserIdString(), listId);
}

weibo::Reply<std::set<std::uint64_t>> MyWindowController::totalMembersOfUser(const QString& userId,
                                                                            const QString& listId)
{
    std::set<std::uint64_t> members;
    int cursor = -1;
    // A failed or unreadable page ends the loop and makes the whole set a failure (a part of a list would filter
    // the timeline wrongly); a cursor that does not move ends it too.
    for (int pages = 0; pages < 10000; ++pages) {
        weibo::SinaWeiboOptions options;
        options.cursor_ = cursor;
        const auto page =
            weibo::listMembersOf(weibo_->membersOfUserList(userId.toStdString(), listId.toStdString(), options));
        if (!page.ok())
            return weibo::Reply<std::set<std::uint64_t>>(std::move(members), page.outcome);
        for (const auto& member : page.value.members) {
            if (member && member->user)
                members.insert(member->user->id);
        }
        const int next = page.value.next_cursor;
        if (next == 0 || next == cursor)
            break;
        cursor = next;
    }
    return weibo::Reply<std::set<std::uint64_t>>(std::move(members), weibo::TransferOutcome());
}

void MyWindowController::replaceStatusUserTabViewItemWithUser(const QString& screenName)
{
    TabViewItem* item = secondLayerItem(0, 1);
    PXListViewController* c = userListViewController();
    if (!item || !c)
        return;
    const QString label = screenName.isEmpty() ? QStringLiteral("我的微博") : screenName;
    // Only the last click is shown: an earlier user's late answer must not fill the tab labelled with another.
    const std::uint64_t generation = ++userTabChoice_;
    BusyText busy = displayBusy(QStringLiteral("正在加载该用户的微博..."));
    runInBackground([this, c, screenName, label, generation, busy]() mutable {
        weibo::SinaWeiboOptions options;
        options.screen_name_ = screenName.toStdString();
        // Fetched beside the tab: the tab keeps its user and statuses until the new ones are in.
        const weibo::Reply<CellArray> cells =
            c->fetchCellsWithRequired(PXListViewController::RequiredArguments(), options);
        platform::dispatchMainSync([this, c, label, generation, cells, &busy] {
            busy.done();
            if (destroying_ || generation != userTabChoice_)
                return;
            if (!cells.ok()) {
                alertFailure(QStringLiteral("加载用户微博失败！"), cells.outcome, this);
                return;
            }
            if (TabViewItem* tab = secondLayerItem(0, 1))
                tab->setLabel(label);
            c->setDataOfCells(c->cellsByMergeNewCells(cells.value, CellArray(), PXListViewController::kModeInitial));
            c->listView()->scrollToRow(0);
            TabView* inner = qobject_cast<TabView*>(tabView_->tabViewItemAtIndex(0)->view());
            const bool firstSelected = tabView_->indexOfSelectedTabViewItem() == 0;
            const bool userSelected = inner && inner->indexOfSelectedTabViewItem() == 1;
            if (firstSelected && userSelected) {
                c->reloadData();
            } else {
                if (!firstSelected)
                    tabView_->selectTabViewItemAtIndex(0);
                if (!userSelected && inner)
                    inner->selectTabViewItemAtIndex(1);
            }
            updateLeftTabs();
            subHome_->setItemText(1, label);
            subHome_->selectItemAtIndex(1);
        });
        busy.done();
    });
}

void MyWindowController::profileButtonClicked(const QString& name)
{
    if (isStarting())
        return;
    replaceStatusUserTabViewItemWithUser(name);
}
