#pragma once
// The commands on the current item of a list (its selected row): the keys while a list has the keyboard focus,
// the menu bar and assistive technology all come here, and each does what a click on the row's own control
// does. Moving with the keys never acts on the rows passed: Return (or the command's key) does.
#include "cells/CellTypes.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

class ComposeWindows;
class Drawer;
class ItemActions;
class LeftTab;
class PXListView;
class PXListViewController;
class QKeyEvent;
class TabView;
class UserCard;

// What the keys and the menu bar need of the window: the lists and tabs, the drawer's item, the pieces that act
// on an item, and the window's own commands.
class ItemCommandsHost {
public:
    virtual ~ItemCommandsHost() = default;
    virtual bool isStarting() const = 0;
    virtual bool isShuttingDown() const = 0;
    virtual PXListViewController* selectedListViewController() = 0;
    virtual TabView* tabView() const = 0;
    virtual const QList<LeftTab*>& leftTabs() const = 0;
    virtual void leftTabClicked(LeftTab* tab) = 0;
    virtual CellPtr activeDataCell() const = 0;
    virtual std::uint64_t activeEntityId() const = 0;
    virtual bool isDrawerOpenOrOpening() const = 0;
    virtual void closeDrawer() = 0;
    virtual Drawer* drawer() = 0;
    virtual ItemActions* itemActions() = 0;
    virtual UserCard* userCard() = 0;
    virtual ComposeWindows* composeWindows() = 0;
    virtual void postWeibo() = 0;
    virtual void refreshWeibo() = 0;
};

class ItemCommands : public QObject {
    Q_OBJECT
public:
    enum Command {
        Next, Previous, First, Last,
        Comments, Reply, Repost, Favorite, Delete, OpenPicture, Author, Message,
    };
    struct Entry {
        Command command;
        QString label;
        QList<QKeySequence> keys;
        bool movesOnly; // a move through the list, not a command on the item
    };
    // Every command with its name and keys, in the order the menus show them.
    static const QVector<Entry>& table();
    // "评论\tReturn, C": the label with its keys, as a menu shows them.
    static QString menuText(const Entry& entry);

    // Acts on the lists of `window`.
    ItemCommands(QWidget* window, ItemCommandsHost& host);

    // The list the commands act on: the one that has the keyboard focus, else the list shown.
    PXListViewController* currentList() const;
    static CellPtr currentItem(PXListViewController* list);

    // Whether `command` means something for `cell` of `list` (the menu greys out the others).
    bool canPerform(Command command, PXListViewController* list, const CellPtr& cell) const;
    // Runs the command on the current item of `list` (currentList() when none); false when it means nothing there.
    bool perform(Command command, PXListViewController* list = nullptr);
    // The name the menu and assistive technology give a command for that item ("取消收藏" for a favourite).
    static QString nameOf(Command command, const CellPtr& cell);
    // The commands an item offers assistive technology, and running one by its name.
    QStringList commandNames(PXListViewController* list, const CellPtr& cell) const;
    void performNamed(PXListViewController* list, const CellPtr& cell, const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attachTo(QWidget* focused);
    bool keyPressed(PXListView* view, QKeyEvent* event);
    void move(PXListView* view, Command command);
    // A move away from the drawer's item closes the drawer: it belongs to that item. The row moved to stays
    // current.
    void afterMove(PXListViewController* list);
    void run(Command command, PXListViewController* list, const CellPtr& cell);
    void openPicture(const CellPtr& cell);
    bool focusDrawerEditor(const CellPtr& cell, qint64 tag);

    QWidget* window_;
    ItemCommandsHost& host_;
    QList<QPointer<PXListView>> attached_;
};
