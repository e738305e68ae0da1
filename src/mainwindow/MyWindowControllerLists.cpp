// The "分组" chooser, the list filter of the home timeline and the user tab.
#include "mainwindow/MyWindowController.h"

#include "cells/TimelineCellStatus.h"
#include "mainwindow/PopUpButton.h"
#include "mainwindow/TabView.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

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
        const auto lists = weibo::parseLists(weibo->userLists(uid.toStdString(), options));
        QList<QPair<QString, qulonglong>> entries;
        for (const auto& list : lists)
            entries.append({QString::fromStdString(list->name), qulonglong(list->id)});
        performOnMain([this, entries] {
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
    // The members are gathered page by page away from the window, then kept for the run.
    displayBusy(QStringLiteral("正在加载分组成员..."));
    runInBackground([this, key] {
        const std::set<std::uint64_t> members = totalMembersOfMyList(key);
        performOnMain([this, key, members] {
            weiboListMembers_.insert(key, members);
            displayBusy(QString());
            applyListMembers(key, members);
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

std::set<std::uint64_t> MyWindowController::totalMembersOfMyList(const QString& listId)
{
    return totalMembersOfUser(selfUserIdString(), listId);
}

std::set<std::uint64_t> MyWindowController::totalMembersOfUser(const QString& userId, const QString& listId)
{
    std::set<std::uint64_t> members;
    int cursor = -1;
    // A failed or unreadable page gives a next cursor of 0 and ends the loop; so does a cursor that does not move.
    for (int pages = 0; pages < 10000; ++pages) {
        weibo::SinaWeiboOptions options;
        options.cursor_ = cursor;
        int previous = 0, next = 0, total = 0;
        const auto page = weibo::parseListMembers(
            weibo_->membersOfUserList(userId.toStdString(), listId.toStdString(), options), previous, next, total);
        for (const auto& member : page) {
            if (member && member->user)
                members.insert(member->user->id);
        }
        if (next == 0 || next == cursor)
            break;
        cursor = next;
    }
    return members;
}

void MyWindowController::replaceStatusUserTabViewItemWithUser(const QString& screenName)
{
    displayBusy(QStringLiteral("正在加载该用户的微博..."));
    TabViewItem* item = secondLayerItem(0, 1);
    PXListViewController* c = userListViewController();
    if (!item || !c) {
        displayBusy(QString());
        return;
    }
    const QString label = screenName.isEmpty() ? QStringLiteral("我的微博") : screenName;
    item->setLabel(label);
    c->listView()->scrollToRow(0);
    runInBackground([this, c, screenName, label] {
        weibo::SinaWeiboOptions options;
        options.screen_name_ = screenName.toStdString();
        c->fetchDataWithOptions(options, PXListViewController::kModeInitial, false);
        platform::dispatchMainSync([this, c, label] {
            if (destroying_)
                return;
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
            displayBusy(QString());
        });
    });
}

void MyWindowController::profileButtonClicked(const QString& name)
{
    if (isStarting())
        return;
    replaceStatusUserTabViewItemWithUser(name);
}
