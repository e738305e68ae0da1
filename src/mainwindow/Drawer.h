#pragma once
// The side panel beside the lists: it holds the repost editor, the comments of a status under the comment
// editor, or a conversation under its reply box, always for one item (the window's activeDataCell). It hangs
// on the window's right side; its vertical place is given by two offsets from the top and bottom of the
// window's content, so that it stays beside the row it belongs to.
#include "cells/CellTypes.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <boost/shared_ptr.hpp>

#include <cstdint>

class CommentViewController;
class QLabel;
class MessageViewController;
struct DrawerEditorContext;
namespace weibo {
class SinaWeibo;
}
class PXListViewController;
class QMainWindow;
class QVariantAnimation;
class RepostViewController;

// What the panel shows: tag 1 comments (or the reply editor alone), 2 the repost editor, 3 a conversation.
class DrawerContentView : public QWidget {
    Q_OBJECT
public:
    enum Tag : qint64 { kNone = 0, kComments = 1, kRepost = 2, kMessages = 3 };
    explicit DrawerContentView(QWidget* parent = nullptr) : QWidget(parent) {}

    double drawerHeight() const { return drawerHeight_; }
    void setDrawerHeight(double height) { drawerHeight_ = height; }
    qint64 tag() const { return tag_; }
    void setTag(qint64 tag) { tag_ = tag; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double drawerHeight_ = 0;
    qint64 tag_ = kNone;
};

// Where the panel goes for a row: the offsets from the top (leading) and bottom (trailing) of the window's
// content. `drawerHeight` H, the row's top and height and the visible area's top and height V in list
// coordinates (y down), and W the height of the window's content. The panel's centre follows the row's centre
// but never leaves the visible area (nor max(V, H) when the panel is taller).
struct DrawerOffsets {
    double leading = 0;
    double trailing = 0;
};
DrawerOffsets drawerOffsetsForRow(double drawerHeight, double rowY, double rowHeight, double visibleY,
                                  double visibleHeight, double windowContentHeight);

// The room the panel takes on the window's right, drawn as the window's own chrome carried on (title area and
// tab bar at the top) above an empty list area, so that what the panel does not cover reads as part of the
// window, not as empty grey bands.
class DrawerBackdrop : public QWidget {
    Q_OBJECT
public:
    DrawerBackdrop(QWidget* parent, int titleHeight, int tabsHeight);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int titleHeight_;
    int tabsHeight_;
};

// The panel itself: a child of the main window beside its lists. Opening it makes room on the window's right
// (the window grows when it can) and slides the panel out; closing slides it back and gives the room back.
class DrawerPanel : public QWidget {
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open, Closing };
    static constexpr int kSlideMilliseconds = 120;

    // `titleHeight` and `tabsHeight`: the window's chrome above its lists, which the room beside them carries on.
    explicit DrawerPanel(QMainWindow* window, int titleHeight = 0, int tabsHeight = 0);

    // Where kept editors and lists wait, hidden, between uses.
    QWidget* stash() const { return stash_; }

    DrawerContentView* contentView() const { return content_; }
    // Replaces the content; the children of the previous content are kept (hidden) for the next use.
    void setContentView(DrawerContentView* content);
    void setContentSize(const QSize& size);
    QSize contentSize() const { return contentSize_; }
    double leadingOffset() const { return leading_; }
    double trailingOffset() const { return trailing_; }
    void setOffsets(const DrawerOffsets& offsets);

    void open();
    void close();
    State state() const { return state_; }
    bool isOpenOrOpening() const { return state_ == State::Open || state_ == State::Opening; }
    // Follows the window's place and size.
    void place();

signals:
    void escapePressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void slide(double to);
    void reserve(bool on);

    QMainWindow* window_;
    QWidget* stash_;
    DrawerBackdrop* backdrop_;
    DrawerContentView* content_ = nullptr;
    QSize contentSize_;
    double leading_ = 0, trailing_ = 0;
    double revealed_ = 0; // 0 hidden .. 1 fully out
    int reserved_ = 0;    // the room kept on the window's right
    State state_ = State::Closed;
    QVariantAnimation* animation_ = nullptr;
};

// What the drawer asks of its window (besides the window itself, beside whose lists it opens).
class TimelineHost;

class DrawerHost {
public:
    virtual ~DrawerHost() = default;
    virtual CellPtr activeDataCell() const = 0;
    virtual void setActiveDataCell(const CellPtr& cell) = 0;
    virtual std::uint64_t activeEntityId() const = 0;
    virtual void setActiveEntityId(std::uint64_t id) = 0;
    virtual DrawerEditorContext drawerEditorContext() = 0;
    virtual PXListViewController* chatListViewController() const = 0;
    virtual PXListViewController* selectedListViewController() = 0;
    virtual void updateLeftTabs() = 0;
    virtual boost::shared_ptr<weibo::SinaWeibo> weiboInstance() const = 0;
    // What the comments list behind the drawer reports to.
    virtual TimelineHost* listHost() = 0;
};

// The drawer's logic: which item it is about, its three contents (made on first use and kept), their heights,
// keeping it beside its row and closing it. The window's design entry points call into it.
class Drawer : public QObject {
    Q_OBJECT
public:
    // `titleHeight` and `tabsHeight`: the window's title area and tab bar, which the drawer's panel carries on.
    Drawer(QMainWindow* window, DrawerHost& host, int titleHeight, int tabsHeight);
    ~Drawer() override;

    DrawerPanel* panel() const { return panel_; }
    bool isDrawerOpenOrOpening() const { return panel_->isOpenOrOpening(); }

    void displayRepostFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle);
    void displayCommentsFromDataCell(const CellPtr& cell, std::uint64_t activeId, bool toggle, bool fetchData);
    void displayMessageFromDataCell(const CellPtr& cell, bool toggle, bool init, int mode);
    void checkDrawer();
    void closeDrawer();
    void setDrawerOffsetWithRow(int row);
    void replyOtherCommentFromCommentCell(const CellPtr& cell);

    // Made on first use.
    PXListViewController* commentListViewController();
    RepostViewController* repostViewController();
    CommentViewController* commentViewController();
    MessageViewController* chatViewController();

private:
    // Closes for a toggle of the same item; answers whether the caller stops there.
    bool toggleOff(const CellPtr& cell, std::uint64_t activeId, bool toggle, qint64 tag);
    void selectRowOf(const CellPtr& cell);
    // The visible height of the list that shows `cell`.
    double visibleHeightOf(const CellPtr& cell) const;
    // Puts editor (height e), the header when there is one, and a list part of height l below into a new
    // content view and opens the panel.
    void show(qint64 tag, QWidget* editor, QWidget* header, QWidget* list, double e, double l, const CellPtr& cell,
              QWidget* focus);
    // The line above the comments saying whose comments they are and how many.
    QLabel* commentsHeader(const CellPtr& cell, std::uint64_t activeId);

    QMainWindow* window_;
    DrawerHost& host_;
    DrawerPanel* panel_;
    PXListViewController* commentList_ = nullptr;
    QPointer<QLabel> commentsHeader_;
    QPointer<RepostViewController> repost_;
    QPointer<CommentViewController> comment_;
    QPointer<MessageViewController> chat_;
};
