// The window's entry points for acting on items: each is a short call into the drawer, the item actions or the
// user card.
#include "mainwindow/MyWindowController.h"

#include "compose/DrawerEditorContext.h"
#include "mainwindow/ItemCopy.h"

Drawer* MyWindowController::drawer()
{
    if (!drawer_)
        drawer_ = new Drawer(this, *this, WindowChrome::kTitleBarHeight, WindowChrome::kTopTabsHeight);
    return drawer_;
}

ItemActions* MyWindowController::itemActions()
{
    if (!itemActions_)
        itemActions_ = new ItemActions(this, *this);
    return itemActions_;
}

UserCard* MyWindowController::userCard()
{
    if (!userCard_)
        userCard_ = new UserCard(this, *this);
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

void MyWindowController::removeCells(const std::set<std::uint64_t>& ids,
                                     const QList<PXListViewController*>& controllers)
{
    itemActions()->removeCells(ids, controllers);
}


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
    return itemCopy_->menuFor(textView, index);
}

void MyWindowController::profileButtonMenuRequested(const QString& name, const CellPtr& cell,
                                                    const QPoint& globalPos)
{
    if (!destroying_)
        userCard()->requestCardForItem(name, cell, globalPos);
}
