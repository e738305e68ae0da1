// The window's entry points for acting on items: each is a short call into the drawer, the item actions or the
// user card.
#include "mainwindow/MyWindowController.h"
#include "mainwindow/ItemCopy.h"

#include "compose/DrawerEditorContext.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/ItemActions.h"
#include "mainwindow/ItemCommands.h"
#include "mainwindow/UserCard.h"

Drawer* MyWindowController::drawer()
{
    if (!drawer_)
        drawer_ = new Drawer(this);
    return drawer_;
}

ItemActions* MyWindowController::itemActions()
{
    if (!itemActions_)
        itemActions_ = new ItemActions(this);
    return itemActions_;
}

UserCard* MyWindowController::userCard()
{
    if (!userCard_)
        userCard_ = new UserCard(this);
    return userCard_;
}

DrawerEditorContext MyWindowController::drawerEditorContext()
{
    DrawerEditorContext context;
    context.host = this;
    context.client = [this] { return weibo_; };
    context.homeList = [this] { return weiboListViewController(); };
    context.selectedList = [this] { return selectedListViewController(); };
    context.commentList = [this] { return commentListViewController(); };
    return context;
}

bool MyWindowController::isDrawerOpenOrOpening() const { return drawer_ && drawer_->isDrawerOpenOrOpening(); }
void MyWindowController::checkDrawer() { if (drawer_) drawer_->checkDrawer(); else activeDataCell_.reset(); }
void MyWindowController::closeDrawer()
{
    if (drawer_) {
        drawer_->closeDrawer();
    } else {
        activeDataCell_.reset();
        activeEntityId_ = 0;
    }
}
void MyWindowController::setDrawerOffsetWithRow(int row) { drawer()->setDrawerOffsetWithRow(row); }
PXListViewController* MyWindowController::commentListViewController() { return drawer()->commentListViewController(); }

void MyWindowController::displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode)
{
    drawer()->displayMessageFromDataCell(cell, toggle, init, mode);
}

void MyWindowController::displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle,
                                                     bool fetchData)
{
    drawer()->displayCommentsFromDataCell(cell, activeId, toggle, fetchData);
}

void MyWindowController::displayRepostFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle)
{
    drawer()->displayRepostFromDataCell(cell, activeId, toggle);
}

void MyWindowController::replyOtherCommentFromCommentCell(const CellPtr& cell)
{
    drawer()->replyOtherCommentFromCommentCell(cell);
}

void MyWindowController::removeCells(const std::set<std::uint64_t>& ids,
                                     const QList<PXListViewController*>& controllers)
{
    itemActions()->removeCells(ids, controllers);
}

void MyWindowController::favorite(const CellPtr& cell) { itemActions()->favorite(cell); }
void MyWindowController::follow() { userCard()->follow(); }
void MyWindowController::sendMessage() { userCard()->sendMessage(); }

bool MyWindowController::textViewClickedOnLink(WBTextView* textView, const LinkValue& link, int index)
{
    if (userCard_ && userCard_->isCardOwnTextView(textView))
        userCard_->close();
    return itemActions()->textViewClickedOnLink(textView, link, index);
}

void MyWindowController::textViewClickedOnCell(WBTextView* textView, const MyTextAttachmentCell& cell,
                                               const QRectF&, int index)
{
    if (!isStarting())
        itemActions()->textViewClickedOnCell(textView, cell, index);
}

QMenu* MyWindowController::textViewMenuForEvent(WBTextView* textView, QContextMenuEvent* event, int index)
{
    // An @name shows its user's card; everything else can be copied.
    if (textView && textView->document() && index >= 0 &&
        linkAtDocumentPosition(*textView->document(), index).kind == LinkValue::ScreenName)
        return userCard()->textViewMenuForEvent(textView, event, index);
    return findChild<ItemCopy*>()->menuFor(textView, index);
}

void MyWindowController::profileButtonMenuRequested(const QString& name, const CellPtr& cell,
                                                    const QPoint& globalPos)
{
    if (!destroying_)
        userCard()->requestCardForItem(name, cell, globalPos);
}

QStringList MyWindowController::itemCommandNames(PXListViewController* list, const CellPtr& cell)
{
    return findChild<ItemCommands*>()->commandNames(list, cell);
}

void MyWindowController::performItemCommand(PXListViewController* list, const CellPtr& cell, const QString& name)
{
    findChild<ItemCommands*>()->performNamed(list, cell, name);
}
