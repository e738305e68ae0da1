#include "mainwindow/TabSwitching.h"

#include "cells/ListKind.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/TabModel.h"
#include "mainwindow/WindowChrome.h"
#include "platform/Dispatch.h"
#include "platform/UnreadBadge.h"
#include "platform/UserDefaults.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"

#include <QPointer>
#include <QPushButton>

TabSwitching::TabSwitching(TabSwitchingHost& host, WindowChrome& chrome, TabModel& tabs, QObject* parent)
    : QObject(parent), host_(host), chrome_(chrome), tabs_(tabs)
{
}

void TabSwitching::leftTabClicked(LeftTab* tab)
{
    if (host_.isShuttingDown())
        return;
    if (host_.isStarting() || !tab) {
        updateLeftTabs(); // a click toggles the button's check; put the tabs back as they were
        return;
    }
    const int index = tab->tag();
    const bool same = index == chrome_.tabView->indexOfSelectedTabViewItem();
    if (!same)
        chrome_.tabView->selectTabViewItemAtIndex(index);
    else
        tabViewDidSelectTabViewItem(chrome_.tabView, chrome_.tabView->selectedTabViewItem());

    TabView* inner = tabs_.innerTabView(chrome_.tabView->selectedTabViewItem());
    if (inner && inner->indexOfSelectedTabViewItem() != 0) {
        inner->selectTabViewItemAtIndex(0);
        if (index >= 0 && index < chrome_.topTabs.size())
            chrome_.topTabs.at(index)->selectItemAtIndex(0);
    }

    if (PXListViewController* c = tabs_.selected()) {
        const std::uint64_t unread = c->unreadCount();
        if ((same && unread == 0) || unread > 0) {
            c->listView()->scrollToRow(0);
            // Conversations clear their counts one conversation at a time.
            if (unread > 0 && !c->kind().isConversations()) {
                c->setUnreadCount(0);
                c->resetUnreadCount();
            }
        }
        c->listView()->setFocus(Qt::OtherFocusReason);
    }
    updateLeftTabs();
}

void TabSwitching::topTabClicked(PopUpButton* popUp)
{
    if (!popUp || host_.isShuttingDown() || !chrome_.topTabs.contains(popUp))
        return;
    TabView* inner = tabs_.innerTabView(chrome_.tabView->selectedTabViewItem());
    if (host_.isStarting()) {
        // Ignored: the pop-up goes back to the entry that is shown.
        if (inner && popUp->tag() == chrome_.tabView->indexOfSelectedTabViewItem())
            popUp->selectItemAtIndex(inner->indexOfSelectedTabViewItem());
        return;
    }
    if (inner && popUp->indexOfSelectedItem() >= 0)
        inner->selectTabViewItemAtIndex(popUp->indexOfSelectedItem());
}

void TabSwitching::tabViewDidSelectTabViewItem(TabView*, TabViewItem*)
{
    if (host_.isStarting() || host_.isShuttingDown())
        return;
    PXListViewController* c = tabs_.selected();
    if (!c)
        return;
    // The filtered home timeline keeps the chooser as it is; every other list shows it only beside home.
    if (c != tabs_.lists()) {
        const bool home = c->kind().listsChooser;
        chrome_.listsButton->setVisible(home);
        if (home)
            chrome_.listsButton->selectItemAtIndex(0);
    }
    host_.loadShownList(c);
}

void TabSwitching::updateLeftTabs()
{
    if (!platform::isMainThread()) {
        platform::dispatchMainAsync([self = QPointer<TabSwitching>(this)] {
            if (self && !self->host_.isShuttingDown())
                self->updateLeftTabs();
        });
        return;
    }
    const int selected = chrome_.tabView->indexOfSelectedTabViewItem();
    const auto& defaults = platform::UserDefaults::standard();
    std::uint64_t sum = 0;
    for (LeftTab* tab : chrome_.leftTabs) {
        PXListViewController* c = tabs_.controllerAt(tab->tag(), 0);
        const std::uint64_t unread = c ? c->unreadCount() : 0;
        tab->setChecked(tab->tag() == selected);
        tab->setUnreadCount(unread);
        tab->update();
        // The dock counts the lists whose notifications are switched on.
        const QString& switchName = c ? c->kind().notificationSwitch : QString();
        if (!switchName.isEmpty() && defaults.boolForKey(switchName))
            sum += unread;
    }
    platform::UnreadBadge::shared().setUnreadCount(sum);
    host_.showUnreadInTitle(sum);

    for (PopUpButton* popUp : chrome_.topTabs)
        popUp->setVisible(popUp->tag() == selected);
    PXListViewController* shown = tabs_.controllerAt(selected, 0);
    chrome_.newMessageButton->setVisible(shown && shown->kind().newMessage);
}
