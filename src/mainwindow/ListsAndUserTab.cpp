#include "mainwindow/ListsAndUserTab.h"

#include "cells/FailureText.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/TabModel.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QPair>
#include <QVariant>

void ListsAndUserTab::makeWeiboLists()
{
    if (listsMade_)
        return;
    listsMade_ = true;
    const QString uid = host_.selfUserIdString();
    if (uid.isEmpty())
        return;
    PopUpButton* button = host_.listsButton();
    button->clear();
    button->addItemWithTitle(QStringLiteral("所有"), QVariant::fromValue<qulonglong>(0));
    const auto client = host_.weiboInstance();
    // The lists request runs away from the window; the entries arrive when it answers.
    host_.runInBackground([this, client, uid] {
        weibo::SinaWeiboOptions options;
        options.listType_ = 1;
        const auto lists = weibo::listsOf(client->userLists(uid.toStdString(), options));
        QList<QPair<QString, qulonglong>> entries;
        for (const auto& list : lists.value)
            entries.append({QString::fromStdString(list->name), qulonglong(list->id)});
        const weibo::TransferOutcome outcome = lists.outcome;
        platform::dispatchMainSync([this, entries, outcome] {
            if (host_.isShuttingDown())
                return;
            // Without its lists the chooser offers "所有" only; the failure line says why.
            host_.showTransferOutcome(outcome);
            for (const auto& entry : entries)
                host_.listsButton()->addItemWithTitle(entry.first, QVariant::fromValue(entry.second));
        });
    });
}

void ListsAndUserTab::weiboListClicked(int index)
{
    PopUpButton* button = host_.listsButton();
    if (index < 0)
        index = button->indexOfSelectedItem();
    if (host_.isStarting() || index < 0)
        return;
    const qulonglong listId = button->representedObjectAt(index).toULongLong();
    PXListViewController* filtered = host_.tabs().lists();
    // Every choice outdates the ones before it.
    const std::uint64_t generation = filtered->loader().renew();
    if (listId == 0) {
        host_.showHomeTimeline();
        return;
    }
    const QString key = QString::number(listId);
    const auto cached = members_.constFind(key);
    if (cached != members_.cend()) {
        applyListMembers(*cached);
        return;
    }
    // The members are gathered page by page away from the window, then kept for the run.
    const QString uid = host_.selfUserIdString();
    const BusyText busy = host_.displayBusy(QStringLiteral("正在加载分组成员..."));
    host_.runInBackground([this, filtered, key, uid, generation, busy]() mutable {
        const weibo::Reply<std::set<std::uint64_t>> members = totalMembersOfUser(uid, key);
        platform::dispatchMainSync([this, filtered, key, members, generation, &busy] {
            busy.done();
            if (host_.isShuttingDown())
                return;
            if (!members.ok()) {
                // Not kept: the next choice of the list asks again.
                alertFailure(QStringLiteral("加载分组成员失败！"), members.outcome, host_.alertParent());
                return;
            }
            members_.insert(key, members.value);
            if (filtered->loader().isCurrent(generation))
                applyListMembers(members.value);
        });
        busy.done();
    });
}

void ListsAndUserTab::applyListMembers(const std::set<std::uint64_t>& members)
{
    PXListViewController* home = host_.tabs().home();
    PXListViewController* lists = host_.tabs().lists();
    CellArray cells;
    for (const CellPtr& cell : *home->dataOfCells()) {
        const auto* status = dynamic_cast<const TimelineCellStatus*>(cell.get());
        if (status && members.count(status->userIdNumber()))
            cells.push_back(cell);
    }
    lists->setDataOfCells(std::move(cells));
    TabView* tabView = host_.tabView();
    TabView* inner = host_.tabs().innerTabView(tabView->tabViewItemAtIndex(0));
    if (tabView->indexOfSelectedTabViewItem() == 0 && inner && inner->indexOfSelectedTabViewItem() == 2) {
        lists->reloadData();
        return;
    }
    tabView->selectTabViewItemAtIndex(0);
    if (inner) {
        if (inner->indexOfSelectedTabViewItem() == 2)
            host_.reselect(inner);
        else
            inner->selectTabViewItemAtIndex(2);
    }
    host_.subHome()->selectItemAtIndex(2);
    host_.updateLeftTabs();
}

weibo::Reply<std::set<std::uint64_t>> ListsAndUserTab::totalMembersOfUser(const QString& userId, const QString& listId)
{
    std::set<std::uint64_t> members;
    const auto client = host_.weiboInstance();
    int cursor = -1;
    // A failed or unreadable page ends the loop and makes the whole set a failure (a part of a list would filter
    // the timeline wrongly); a cursor that does not move ends it too.
    for (int pages = 0; pages < 10000; ++pages) {
        weibo::SinaWeiboOptions options;
        options.cursor_ = cursor;
        const auto page =
            weibo::listMembersOf(client->membersOfUserList(userId.toStdString(), listId.toStdString(), options));
        if (!page.ok())
            return weibo::Reply<std::set<std::uint64_t>>(std::move(members), page.outcome);
        for (const auto& member : page.value.members)
            if (member && member->user)
                members.insert(member->user->id);
        const int next = page.value.next_cursor;
        if (next == 0 || next == cursor)
            break;
        cursor = next;
    }
    return weibo::Reply<std::set<std::uint64_t>>(std::move(members), weibo::TransferOutcome());
}

void ListsAndUserTab::replaceStatusUserTabViewItemWithUser(const QString& screenName)
{
    PXListViewController* c = host_.tabs().user();
    if (!host_.tabs().secondLayerItem(0, 1) || !c)
        return;
    const QString label = screenName.isEmpty() ? QStringLiteral("我的微博") : screenName;
    // Only the last click is shown: an earlier user's late answer must not fill the tab labelled with another.
    const std::uint64_t generation = c->loader().renew();
    BusyText busy = host_.displayBusy(QStringLiteral("正在加载该用户的微博..."));
    host_.runInBackground([this, c, screenName, label, generation, busy]() mutable {
        weibo::SinaWeiboOptions options;
        options.screen_name_ = screenName.toStdString();
        // Fetched beside the tab, in its turn: the tab keeps its user and statuses until the new ones are in.
        const auto turn = c->loader().turn();
        const weibo::Reply<CellArray> cells =
            c->fetchCellsWithRequired(PXListViewController::RequiredArguments(), options);
        c->loader().applyOnMain(generation, [&] {
            busy.done();
            if (!cells.ok()) {
                alertFailure(QStringLiteral("加载用户微博失败！"), cells.outcome, host_.alertParent());
                return;
            }
            host_.tabs().secondLayerItem(0, 1)->setLabel(label);
            c->setDataOfCells(c->cellsByMergeNewCells(cells.value, CellArray(), PXListViewController::kModeInitial));
            c->listView()->scrollToRow(0);
            TabView* tabView = host_.tabView();
            TabView* inner = host_.tabs().innerTabView(tabView->tabViewItemAtIndex(0));
            const bool firstSelected = tabView->indexOfSelectedTabViewItem() == 0;
            const bool userSelected = inner && inner->indexOfSelectedTabViewItem() == 1;
            if (firstSelected && userSelected) {
                c->reloadData();
            } else {
                if (!firstSelected)
                    tabView->selectTabViewItemAtIndex(0);
                if (!userSelected && inner)
                    inner->selectTabViewItemAtIndex(1);
            }
            host_.updateLeftTabs();
            host_.subHome()->setItemText(1, label);
            host_.subHome()->selectItemAtIndex(1);
        });
        busy.done();
    });
}

QString ListsAndUserTab::otherUserOfEmptyUserTab(const PXListViewController* c)
{
    if (!c->kind().perUser || !c->dataOfCells()->empty())
        return QString();
    // The tab's label is the name of the user it shows, "我的微博" for the signed-in user.
    TabViewItem* item = host_.tabs().secondLayerItem(0, 1);
    return item && item->label() != QStringLiteral("我的微博") ? item->label() : QString();
}
