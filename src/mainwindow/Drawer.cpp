#include "mainwindow/Drawer.h"

#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "compose/CommentViewController.h"
#include "compose/ComposeEditor.h"
#include "compose/MessageViewController.h"
#include "compose/RepostViewController.h"
#include "compose/DrawerEditorContext.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMainWindow>
#include <QPainter>
#include <QScreen>
#include <QVariantAnimation>

#include <algorithm>

// ---------------------------------------------------------------------------------------------------------------
// Content and placement

void DrawerContentView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.949, 0.949, 0.949, 1.0));
    // An edge all round: the panel is one piece beside its row.
    painter.setPen(QColor::fromRgbF(0.78, 0.78, 0.78));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

DrawerBackdrop::DrawerBackdrop(QWidget* parent, int titleHeight, int tabsHeight)
    : QWidget(parent), titleHeight_(titleHeight), tabsHeight_(tabsHeight)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void DrawerBackdrop::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    QLinearGradient title(0, 0, 0, titleHeight_);
    title.setColorAt(0, QColor(232, 232, 232));
    title.setColorAt(1, QColor(208, 208, 208));
    painter.fillRect(QRect(0, 0, w, titleHeight_), title);
    painter.fillRect(QRect(0, titleHeight_ - 1, w, 1), QColor(160, 160, 160));
    painter.fillRect(QRect(0, titleHeight_, w, tabsHeight_), QColor::fromRgbF(0.949, 0.949, 0.949));
    painter.fillRect(QRect(0, titleHeight_ + tabsHeight_ - 1, w, 1), QColor::fromRgbF(0.835, 0.835, 0.835));
    const int top = titleHeight_ + tabsHeight_;
    painter.fillRect(QRect(0, top, w, height() - top), Qt::white);
    painter.fillRect(QRect(0, top, 1, height() - top), QColor::fromRgbF(0.835, 0.835, 0.835));
}

DrawerOffsets drawerOffsetsForRow(double H, double rowY, double rowHeight, double visibleY, double V, double W)
{
    double c = rowY + rowHeight / 2 - visibleY;
    if (H / 2 > c)
        c = H / 2;
    else if (c > std::max(V, H) - H / 2)
        c = std::max(V, H) - H / 2;
    const double e = W - V;
    const double m = e / 2 + 20;
    return DrawerOffsets{c - H / 2 + m, (V - c) - H / 2 + (e - m)};
}

// ---------------------------------------------------------------------------------------------------------------
// The panel

DrawerPanel::DrawerPanel(QMainWindow* window, int titleHeight, int tabsHeight)
    : QWidget(window), window_(window), stash_(new QWidget(this)),
      backdrop_(new DrawerBackdrop(window, titleHeight, tabsHeight))
{
    setObjectName(QStringLiteral("drawer"));
    hide();
    stash_->hide();
    window_->installEventFilter(this);
    animation_ = new QVariantAnimation(this);
    animation_->setDuration(kSlideMilliseconds);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        revealed_ = v.toDouble();
        place();
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        if (state_ == State::Opening)
            state_ = State::Open;
        else if (state_ == State::Closing) {
            state_ = State::Closed;
            hide();
            reserve(false);
        }
    });
}

void DrawerPanel::setContentView(DrawerContentView* content)
{
    if (content == content_)
        return;
    if (content_) {
        // The editors and lists the old content held are kept for their next use.
        for (QWidget* child : content_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            child->hide();
            child->setParent(stash_);
        }
        content_->deleteLater();
    }
    content_ = content;
    if (content_) {
        if (content_->parentWidget() != this)
            content_->setParent(this);
        content_->move(0, 0);
        content_->show();
    }
}

void DrawerPanel::setContentSize(const QSize& size)
{
    contentSize_ = size;
    if (content_)
        content_->resize(size);
    place();
}

void DrawerPanel::setOffsets(const DrawerOffsets& offsets)
{
    leading_ = offsets.leading;
    trailing_ = offsets.trailing;
    place();
}

void DrawerPanel::open()
{
    if (isOpenOrOpening())
        return;
    state_ = State::Opening;
    reserve(true);
    show();
    raise();
    slide(1.0);
}

void DrawerPanel::close()
{
    if (state_ == State::Closed || state_ == State::Closing)
        return;
    state_ = State::Closing;
    slide(0.0);
}

void DrawerPanel::slide(double to)
{
    animation_->stop();
    animation_->setStartValue(revealed_);
    animation_->setEndValue(to);
    animation_->start();
}

void DrawerPanel::reserve(bool on)
{
    const int wanted = on ? contentSize_.width() : 0;
    if (wanted == reserved_)
        return;
    const int delta = wanted - reserved_;
    reserved_ = wanted;
    // The lists keep their width: a normal window grows by the panel (staying on its screen) and gives the
    // room back when the panel goes; a maximised or full-screen one makes room from the lists instead.
    if (!(window_->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        QRect frame = window_->geometry();
        frame.setWidth(std::max(window_->minimumWidth(), frame.width() + delta));
        if (const QScreen* screen = window_->screen()) {
            const QRect available = screen->availableGeometry();
            if (frame.right() > available.right())
                frame.moveRight(std::max(available.left(), available.right()));
        }
        window_->setGeometry(frame);
    }
    window_->setContentsMargins(0, 0, reserved_, 0);
    backdrop_->setVisible(reserved_ > 0);
    place();
}

void DrawerPanel::place()
{
    if (!window_)
        return;
    const int height = std::max(1, window_->height() - int(leading_) - int(trailing_));
    const int width = std::max(1, int(contentSize_.width() * revealed_));
    // Slides out from behind the lists' right edge: the content keeps its place against that edge.
    setGeometry(window_->width() - reserved_, int(leading_), width, height);
    const int top = window_->centralWidget() ? window_->centralWidget()->y() : 0;
    backdrop_->setGeometry(window_->width() - reserved_, top, reserved_, window_->height() - top);
    backdrop_->lower();
    if (content_)
        content_->move(width - contentSize_.width(), 0);
}

bool DrawerPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        place();
    return QWidget::eventFilter(watched, event);
}

void DrawerPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit escapePressed();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------------------------
// The drawer's logic

namespace {

PXListViewController* listOf(const CellPtr& cell)
{
    return cell ? dynamic_cast<PXListViewController*>(cell->listViewController()) : nullptr;
}

} // namespace

Drawer::Drawer(QMainWindow* window, DrawerHost& host, int titleHeight, int tabsHeight)
    : QObject(window), window_(window), host_(host), panel_(new DrawerPanel(window, titleHeight, tabsHeight))
{
    connect(panel_, &DrawerPanel::escapePressed, this, &Drawer::closeDrawer);
}

Drawer::~Drawer()
{
    // The panel holds the list views of the comment and chat lists: it goes while their controllers still
    // exist, and before the window takes its children apart.
    delete panel_;
}

PXListViewController* Drawer::commentListViewController()
{
    if (!commentList_) {
        commentList_ = new PXListViewController(QStringLiteral("PXListView"),
                                                QString::fromStdString(weibo::WEIBO_API_TIMELINE_COMMENTS),
                                                host_.weiboInstance(), host_.listHost(), this);
        commentList_->listView()->setParent(panel_->stash());
        commentList_->listView()->hide();
    }
    return commentList_;
}

RepostViewController* Drawer::repostViewController()
{
    if (!repost_) {
        repost_ = new RepostViewController(host_.drawerEditorContext(), panel_->stash());
        repost_->hide();
    }
    return repost_;
}

CommentViewController* Drawer::commentViewController()
{
    if (!comment_) {
        comment_ = new CommentViewController(host_.drawerEditorContext(), panel_->stash());
        comment_->hide();
    }
    return comment_;
}

MessageViewController* Drawer::chatViewController()
{
    if (!chat_) {
        chat_ = new MessageViewController(host_.drawerEditorContext(), panel_->stash());
        chat_->hide();
        if (PXListView* chatList = host_.chatListViewController()->listView(); chatList && !chatList->parent())
            chatList->setParent(panel_->stash());
    }
    return chat_;
}

bool Drawer::toggleOff(const CellPtr& cell, std::uint64_t activeId, bool toggle, qint64 tag)
{
    if (!toggle || cell != host_.activeDataCell() || activeId != host_.activeEntityId() ||
        !isDrawerOpenOrOpening())
        return false;
    const qint64 shown = panel_->contentView() ? panel_->contentView()->tag() : DrawerContentView::kNone;
    closeDrawer();
    return shown == tag;
}

void Drawer::selectRowOf(const CellPtr& cell)
{
    PXListViewController* list = listOf(cell);
    if (!list || !list->listView())
        return;
    const int row = list->rowForCell(cell.get());
    if (row >= 0 && !list->listView()->isRowSelected(row))
        list->listView()->selectRow(row);
}

double Drawer::visibleHeightOf(const CellPtr& cell) const
{
    PXListViewController* list = listOf(cell);
    return list && list->listView() ? list->listView()->visibleRect().height() : window_->height();
}

QLabel* Drawer::commentsHeader(const CellPtr& cell, std::uint64_t activeId)
{
    if (!commentsHeader_) {
        commentsHeader_ = new QLabel(panel_->stash());
        commentsHeader_->setContentsMargins(10, 4, 10, 4);
        QFont font = commentsHeader_->font();
        font.setBold(true);
        commentsHeader_->setFont(font);
        commentsHeader_->hide();
    }
    const auto* status = dynamic_cast<const TimelineCellStatus*>(cell.get());
    const bool original = status && activeId != status->entityId();
    const std::uint64_t count = !status ? 0 : (original ? status->originalCommentCount() : status->commentCount());
    QString text = original ? QStringLiteral("原微博的评论") : QStringLiteral("评论");
    if (count > 0)
        text += QStringLiteral("（%1）").arg(count);
    commentsHeader_->setText(text);
    return commentsHeader_;
}

void Drawer::show(qint64 tag, QWidget* editor, QWidget* header, QWidget* list, double e, double l,
                  const CellPtr& cell, QWidget* focus)
{
    const int width = editor->width();
    const int headerHeight = header ? header->sizeHint().height() : 0;
    const double h = list ? e + headerHeight + l + 2 : e;
    // Everything the panel shows stays inside the window: widgets never move between top-level windows.
    auto* content = new DrawerContentView(panel_);
    content->setTag(tag);
    content->setDrawerHeight(h);
    content->resize(width, int(h));
    editor->setParent(content);
    editor->setGeometry(0, 0, width, int(e));
    editor->show();
    if (header) {
        header->setParent(content);
        header->setGeometry(0, int(e), width, headerHeight);
        header->show();
    }
    if (list) {
        list->setParent(content);
        list->setGeometry(0, int(e) + headerHeight + 2, width, int(l));
        list->setVisible(l > 0);
    }
    panel_->setContentView(content);
    panel_->setContentSize(QSize(width, int(h)));
    if (PXListViewController* c = listOf(cell)) {
        const int row = c->rowForCell(cell.get());
        if (row >= 0)
            setDrawerOffsetWithRow(row);
    }
    panel_->open();
    focus->setFocus(Qt::OtherFocusReason);
}

void Drawer::displayRepostFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle)
{
    if (!cell || toggleOff(cell, activeId, toggle, DrawerContentView::kRepost))
        return;
    host_.setActiveDataCell(cell);
    host_.setActiveEntityId(activeId);
    RepostViewController* editor = repostViewController();
    editor->reset();
    selectRowOf(cell);
    show(DrawerContentView::kRepost, editor, nullptr, nullptr, editor->height() + 2, 0, cell, editor->editTextView());
}

void Drawer::displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle, bool fetchData)
{
    if (!cell || toggleOff(cell, activeId, toggle, DrawerContentView::kComments))
        return;
    host_.setActiveDataCell(cell);
    host_.setActiveEntityId(activeId);
    const bool s = dynamic_cast<TimelineCellStatus*>(cell.get()) != nullptr;
    PXListViewController* list = commentListViewController();
    CommentViewController* editor = commentViewController();
    const int width = editor->width();
    list->listView()->resize(width, list->listView()->height());
    // A page that failed to load earlier is loaded again now that the drawer shows the status again.
    if (s && (fetchData || list->commentsNeedReload(activeId))) {
        list->setCommentPage(1);
        list->reloadCommentPageData();
    }
    if (toggle)
        editor->reset();
    selectRowOf(cell);
    QLabel* header = s ? commentsHeader(cell, activeId) : nullptr;
    // The header goes with the editor: what the list part may take is what both leave.
    const double e = editor->height() + (header ? header->sizeHint().height() : 0);
    double l = 0;
    if (s) {
        if (list->listView()->numberOfRows() != int(list->dataOfCells()->size()))
            list->reloadData();
        l = list->listView()->documentHeight() + 2;
        const double visible = visibleHeightOf(cell);
        if (e + l > visible)
            l = std::max(0.0, visible - e); // a tall editor leaves no room, never a negative one
    }
    show(DrawerContentView::kComments, editor, header, s ? list->listView() : nullptr, editor->height(), l, cell,
         editor->textView());
    if (!s)
        list->listView()->hide();
}

void Drawer::displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode)
{
    auto group = std::dynamic_pointer_cast<TimelineCellMessageGroup>(cell);
    if (!group || (cell == host_.activeDataCell() && toggle)) {
        if (isDrawerOpenOrOpening())
            closeDrawer();
        return;
    }
    host_.setActiveDataCell(cell);
    host_.setActiveEntityId(0);
    PXListViewController* conversations = listOf(cell);
    if (const int u = group->unreadMessages(); u > 0 && conversations) {
        conversations->resetUnreadMessageCount();
        group->clearUnreadMessages();
        group->setRecalculateTextViewHeight(true);
        if (conversations->unreadCount() >= std::uint64_t(u))
            conversations->setUnreadCount(conversations->unreadCount() - std::uint64_t(u));
        host_.updateLeftTabs();
        conversations->reloadData();
    }
    PXListViewController* chat = host_.chatListViewController();
    MessageViewController* editor = chatViewController();
    chat->listView()->resize(editor->width(), chat->listView()->height());
    if (mode != PXListViewController::kModeOlder) {
        chat->setScrollMode(PXListViewController::kScrollBusy);
        chat->setDataOfCells(CellArray());
        chat->reloadData();
    }
    chat->setDataOfCells(CellArray(group->messages().begin(), group->messages().end()));
    chat->reloadData();
    editor->resetWithCell(group, init);
    selectRowOf(cell);
    const double e = editor->height();
    double l = chat->listView()->documentHeight() + 2;
    const double visible = visibleHeightOf(cell);
    if (e + l > visible)
        l = std::max(0.0, visible - e);
    show(DrawerContentView::kMessages, editor, nullptr, chat->listView(), e, l, cell, editor->textView());
}

void Drawer::checkDrawer()
{
    const CellPtr active = host_.activeDataCell();
    // A closed drawer has an item only while it is being opened for it (a list reloads on the way): nothing to
    // check yet, and closing would drop the item half-way.
    if (!active || !isDrawerOpenOrOpening())
        return;
    PXListViewController* list = listOf(active);
    if (list && list == host_.selectedListViewController() && isDrawerOpenOrOpening() && list->listView()) {
        const int row = list->rowForCell(active.get());
        const PXRowRange visible = list->listView()->visibleRange();
        // A list in the middle of a resize shows no rows for a moment: that says nothing about the item's row.
        if (row >= 0 && visible.length == 0)
            return;
        if (row >= 0 && visible.contains(row)) {
            if (!list->listView()->isRowSelected(row))
                list->listView()->selectRow(row);
            setDrawerOffsetWithRow(row);
            return;
        }
    }
    closeDrawer();
}

void Drawer::closeDrawer()
{
    const CellPtr active = host_.activeDataCell();
    // The item goes first: deselecting a conversation row asks to close again and finds nothing left.
    host_.setActiveDataCell(nullptr);
    host_.setActiveEntityId(0);
    if (PXListViewController* list = listOf(active))
        if (list->listView())
            list->listView()->deselectRows();
    panel_->close();
}

void Drawer::setDrawerOffsetWithRow(int row)
{
    PXListViewController* list = listOf(host_.activeDataCell());
    if (!list || !list->listView() || !panel_->contentView())
        return;
    PXListView* view = list->listView();
    const QRect rowRect = view->rectOfRow(row);
    const QRect visible = view->visibleRect();
    // The list's visible area in the window decides the window part the panel is centred in.
    panel_->setOffsets(drawerOffsetsForRow(panel_->contentView()->drawerHeight(), rowRect.y(), rowRect.height(),
                                           visible.y(), visible.height(), window_->height()));
}

void Drawer::replyOtherCommentFromCommentCell(const CellPtr& cell)
{
    auto* comment = dynamic_cast<TimelineCellComment*>(cell.get());
    if (!comment || !comment->comment() || !comment->comment()->user)
        return;
    commentViewController()->preappendString(
        QStringLiteral("回复@%1:").arg(QString::fromStdString(comment->comment()->user->screen_name)));
}
