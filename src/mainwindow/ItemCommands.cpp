#include "mainwindow/ItemCommands.h"

#include "cells/AttributedString.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "compose/CommentViewController.h"
#include "compose/ComposeWindows.h"
#include "compose/HotkeyTextView.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/ItemActions.h"
#include "mainwindow/UserCard.h"
#include "timeline/PXListViewController.h"
#include "timeline/SeamCell.h"
#include "viewers/Viewers.h"
#include "widgets/PXListView.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

TimelineCellStatus* statusOf(const CellPtr& cell)
{
    auto* status = dynamic_cast<TimelineCellStatus*>(cell.get());
    return status && status->status() ? status : nullptr;
}

QString qs(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

// Who wrote the item (the other person of a conversation); empty when no one can be named.
QString authorOf(const CellPtr& cell)
{
    if (TimelineCellStatus* status = statusOf(cell))
        return status->status()->user ? qs(status->status()->user->screen_name) : QString();
    if (auto* comment = dynamic_cast<TimelineCellComment*>(cell.get()))
        return comment->comment() && comment->comment()->user ? qs(comment->comment()->user->screen_name) : QString();
    if (dynamic_cast<TimelineCellMessageGroup*>(cell.get()) || dynamic_cast<TimelineCellMessage*>(cell.get()))
        return cell->entityName();
    return QString();
}

PXListViewController* controllerOf(PXListView* view)
{
    return view ? dynamic_cast<PXListViewController*>(view->delegate()) : nullptr;
}

} // namespace

const QVector<ItemCommands::Entry>& ItemCommands::table()
{
    static const QVector<Entry> entries = {
        {Next, QStringLiteral("下一条"), {QKeySequence(Qt::Key_J), QKeySequence(Qt::Key_Down)}, true},
        {Previous, QStringLiteral("上一条"), {QKeySequence(Qt::Key_K), QKeySequence(Qt::Key_Up)}, true},
        {First, QStringLiteral("第一条"), {QKeySequence(Qt::Key_Home)}, true},
        {Last, QStringLiteral("最后一条"), {QKeySequence(Qt::Key_End)}, true},
        {Comments, QStringLiteral("评论"), {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_C)}, false},
        {Reply, QStringLiteral("回复"), {QKeySequence(Qt::Key_R)}, false},
        {Repost, QStringLiteral("转发"), {QKeySequence(Qt::Key_T)}, false},
        {Favorite, QStringLiteral("收藏"), {QKeySequence(Qt::Key_F)}, false},
        {Delete, QStringLiteral("删除"), {QKeySequence(Qt::Key_Delete)}, false},
        {OpenPicture, QStringLiteral("查看图片"), {QKeySequence(Qt::Key_P), QKeySequence(Qt::Key_Space)}, false},
        {Author, QStringLiteral("作者资料"), {QKeySequence(Qt::Key_U)}, false},
        {Message, QStringLiteral("发私信给作者"), {QKeySequence(Qt::Key_M)}, false},
    };
    return entries;
}

QString ItemCommands::menuText(const Entry& entry)
{
    QStringList keys;
    for (const QKeySequence& key : entry.keys)
        keys << key.toString(QKeySequence::NativeText);
    return entry.label + QLatin1Char('\t') + keys.join(QStringLiteral(", "));
}

ItemCommands::ItemCommands(QWidget* window, ItemCommandsHost& host)
    : QObject(window)
    , window_(window)
    , host_(host)
{
    // Keys reach only the widget that has the focus: a list is watched from the moment it first gets it.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { attachTo(now); });
}

void ItemCommands::attachTo(QWidget* focused)
{
    auto* view = qobject_cast<PXListView*>(focused);
    if (!view || view->window() != window_ || attached_.contains(view))
        return;
    attached_.removeAll(nullptr);
    attached_.append(view);
    view->installEventFilter(this);
    // The keys act on the current row: a list of this window always has one while it has the focus.
    view->setKeepsCurrentRow(true);
}

// ---------------------------------------------------------------------------------------------------------------
// Keys

bool ItemCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        if (auto* view = qobject_cast<PXListView*>(watched))
            return keyPressed(view, static_cast<QKeyEvent*>(event));
    return QObject::eventFilter(watched, event);
}

bool ItemCommands::keyPressed(PXListView* view, QKeyEvent* event)
{
    PXListViewController* list = controllerOf(view);
    if (!list || host_.isStarting() || host_.isShuttingDown())
        return false;
    const int key = event->key();
    // The list's own keys move as it always did; what the move means for the drawer follows.
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        static_cast<QObject*>(view)->event(event);
        afterMove(list);
        return true;
    default:
        break;
    }
    // Typed letters with Ctrl or Alt belong to the window's shortcuts and the menu bar.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (modifiers != Qt::NoModifier)
        return false;
    const QKeySequence pressed(key == Qt::Key_Enter ? Qt::Key_Return : key);
    for (const Entry& entry : table()) {
        if (entry.keys.contains(pressed)) {
            perform(entry.command, list);
            return true;
        }
    }
    return false;
}

void ItemCommands::move(PXListView* view, Command command)
{
    const int rows = view->numberOfRows();
    if (rows <= 0)
        return;
    const int current = view->currentRow();
    int row = current;
    switch (command) {
    case Next:
        row = current < 0 ? std::max(0, view->visibleRange().location) : std::min(current + 1, rows - 1);
        break;
    case Previous:
        row = current < 0 ? std::max(0, view->visibleRange().end() - 1) : std::max(current - 1, 0);
        break;
    case First:
        row = 0;
        break;
    case Last:
        row = rows - 1;
        break;
    default:
        return;
    }
    view->selectRowFromKeyboard(row);
}

void ItemCommands::afterMove(PXListViewController* list)
{
    const CellPtr active = host_.activeDataCell();
    if (!active || !host_.isDrawerOpenOrOpening() || active->listViewController() != list)
        return;
    PXListView* view = list->listView();
    const int row = view->currentRow();
    if (row < 0 || list->rowForCell(active.get()) == row)
        return;
    host_.closeDrawer();
    view->selectRowFromKeyboard(row);
}

// ---------------------------------------------------------------------------------------------------------------
// Commands

PXListViewController* ItemCommands::currentList() const
{
    if (auto* view = qobject_cast<PXListView*>(QApplication::focusWidget()); view && view->window() == window_)
        if (PXListViewController* list = controllerOf(view))
            return list;
    return host_.selectedListViewController();
}

CellPtr ItemCommands::currentItem(PXListViewController* list)
{
    if (!list || !list->listView())
        return nullptr;
    const int row = list->listView()->currentRow();
    const auto cells = list->dataOfCells();
    return row >= 0 && std::size_t(row) < cells->size() ? (*cells)[std::size_t(row)] : nullptr;
}

bool ItemCommands::canPerform(Command command, PXListViewController* list, const CellPtr& cell) const
{
    if (!cell || !list)
        return false;
    TimelineCellStatus* status = statusOf(cell);
    const bool comment = dynamic_cast<TimelineCellComment*>(cell.get()) != nullptr;
    const bool conversation = dynamic_cast<TimelineCellMessageGroup*>(cell.get()) != nullptr;
    // A comment received is answered in the drawer; one in the drawer's own list is answered in its editor.
    const bool answerable = comment && list->kind().answersComments;
    switch (command) {
    case Comments:
        return status || conversation || answerable || dynamic_cast<SeamCell*>(cell.get());
    case Reply:
        return status || conversation || answerable;
    case Repost:
    case Favorite:
        return status != nullptr;
    case Delete:
        return (status || comment) && cell->isRemovable();
    case OpenPicture: {
        if (!status)
            return false;
        const auto& s = status->status();
        return !s->thumbnail_pic.empty() || status->video() || status->retweetVideo() ||
               (s->retweeted_status && !s->retweeted_status->thumbnail_pic.empty());
    }
    case Author:
        return !authorOf(cell).isEmpty();
    case Message:
        return conversation || (!authorOf(cell).isEmpty() && !cell->isWrittenBySelf() &&
                                !dynamic_cast<TimelineCellMessage*>(cell.get()));
    default:
        return false;
    }
}

bool ItemCommands::perform(Command command, PXListViewController* list)
{
    if (host_.isStarting() || host_.isShuttingDown())
        return false;
    if (!list)
        list = currentList();
    if (!list || !list->listView())
        return false;
    const auto it = std::find_if(table().begin(), table().end(), [command](const Entry& e) { return e.command == command; });
    if (it != table().end() && it->movesOnly) {
        move(list->listView(), command);
        afterMove(list);
        return true;
    }
    const CellPtr cell = currentItem(list);
    if (!canPerform(command, list, cell))
        return false;
    run(command, list, cell);
    return true;
}

bool ItemCommands::focusDrawerEditor(const CellPtr& cell, qint64 tag)
{
    // Asked again for what the drawer already shows: the keyboard goes to its editor, whose text stays.
    Drawer* drawer = host_.drawer();
    DrawerContentView* content = drawer->panel()->contentView();
    if (!drawer->isDrawerOpenOrOpening() || host_.activeDataCell() != cell || !content || content->tag() != tag ||
        (tag != DrawerContentView::kMessages && host_.activeEntityId() != cell->entityId()))
        return false;
    if (auto* editor = content->findChild<HotkeyTextView*>())
        editor->setFocus(Qt::OtherFocusReason);
    return true;
}

void ItemCommands::run(Command command, PXListViewController* list, const CellPtr& cell)
{
    const bool conversation = dynamic_cast<TimelineCellMessageGroup*>(cell.get()) != nullptr;
    switch (command) {
    case Comments:
    case Reply:
        if (dynamic_cast<SeamCell*>(cell.get())) {
            list->loadItemsAtSeam(cell);
        } else if (conversation) {
            if (!focusDrawerEditor(cell, DrawerContentView::kMessages))
                host_.drawer()->displayMessageFromDataCell(cell, true, true, PXListViewController::kModeNewer);
        } else if (list->kind().inDrawer) {
            host_.drawer()->replyOtherCommentFromCommentCell(cell);
            host_.drawer()->commentViewController()->textView()->setFocus(Qt::OtherFocusReason);
        } else if (!focusDrawerEditor(cell, DrawerContentView::kComments)) {
            host_.drawer()->displayCommentsFromDataCell(cell, cell->entityId(), true, true);
        }
        break;
    case Repost:
        if (!focusDrawerEditor(cell, DrawerContentView::kRepost))
            host_.drawer()->displayRepostFromDataCell(cell, cell->entityId(), true);
        break;
    case Favorite:
        host_.itemActions()->favorite(cell);
        break;
    case Delete:
        if (statusOf(cell))
            host_.itemActions()->deleteStatus(cell);
        else
            host_.itemActions()->deleteComment(cell);
        break;
    case OpenPicture:
        openPicture(cell);
        break;
    case Author: {
        PXListView* view = list->listView();
        const QRect row = view->rectOfRow(view->currentRow()).translated(0, -view->contentOffset());
        host_.userCard()->requestCardForItem(authorOf(cell), cell,
                                                view->viewport()->mapToGlobal(row.topLeft() + QPoint(12, 12)));
        break;
    }
    case Message:
        if (conversation)
            run(Comments, list, cell);
        else
            host_.composeWindows()->sendMessageTo(authorOf(cell));
        break;
    default:
        break;
    }
}

void ItemCommands::openPicture(const CellPtr& cell)
{
    // The row's own first picture or video still, as a click on it would open it (its thumbnail shows at once).
    bool determinate = true;
    const AttributedString text = cell->stringForTextView(determinate);
    for (int position = 0; position < text.length(); ++position) {
        const std::optional<MyTextAttachmentCell> attachment = text.attachmentAt(position);
        if (attachment && Viewers::openAttachment(cell, *attachment))
            return;
    }
    // Its thumbnail is still on its way: the viewer opens on the picture's address alone.
    TimelineCellStatus* status = statusOf(cell);
    const auto& s = status->status();
    const auto& carrier = !s->thumbnail_pic.empty() || !s->retweeted_status ? s : s->retweeted_status;
    if (!carrier->thumbnail_pic.empty())
        Viewers::openPicture(QImage(), QByteArray(), QUrl(qs(carrier->bmiddle_pic)), QUrl(qs(carrier->original_pic)));
    else if (status->video())
        Viewers::openVideo(*status->video());
    else if (status->retweetVideo())
        Viewers::openVideo(*status->retweetVideo());
}

// ---------------------------------------------------------------------------------------------------------------
// Assistive technology

QString ItemCommands::nameOf(Command command, const CellPtr& cell)
{
    if (command == Favorite)
        if (TimelineCellStatus* status = statusOf(cell); status && status->status()->favorited)
            return QStringLiteral("取消收藏");
    if (command == Comments && dynamic_cast<TimelineCellMessageGroup*>(cell.get()))
        return QStringLiteral("打开对话");
    for (const Entry& entry : table())
        if (entry.command == command)
            return entry.label;
    return QString();
}

QStringList ItemCommands::commandNames(PXListViewController* list, const CellPtr& cell) const
{
    QStringList names;
    for (const Entry& entry : table()) {
        // Replying means commenting on a status and opening a conversation: one name each is enough.
        const bool same = entry.command == Reply && !dynamic_cast<TimelineCellComment*>(cell.get());
        if (!entry.movesOnly && !same && canPerform(entry.command, list, cell))
            names << nameOf(entry.command, cell);
    }
    return names;
}

void ItemCommands::performNamed(PXListViewController* list, const CellPtr& cell, const QString& name)
{
    for (const Entry& entry : table()) {
        if (!entry.movesOnly && nameOf(entry.command, cell) == name) {
            if (currentItem(list) == cell)
                perform(entry.command, list);
            return;
        }
    }
}
