#pragma once

#include "cells/AttributedString.h"
#include "cells/CellTypes.h"
#include "cells/MyTextAttachmentCell.h"
#include "cells/RichText.h"

#include <QSizeF>
#include <QWidget>

#include <memory>

class QContextMenuEvent;
class QMenu;
class QTextDocument;
class WBTextView;

// Receives what the user does with the text of a list item. The main window is the delegate of every item's
// text view; each call comes on the main thread.
class WBTextViewDelegate {
public:
    virtual ~WBTextViewDelegate() = default;

    // A link (an address, a topic or an @name) was clicked; `index` is the character position.
    virtual bool textViewClickedOnLink(WBTextView* textView, const LinkValue& link, int index)
    {
        (void)textView; (void)link; (void)index;
        return false;
    }
    // A clickable picture (a thumbnail, a video still, a toolbar icon) was clicked; `rect` is where it sits in
    // the text view.
    virtual void textViewClickedOnCell(WBTextView* textView, const MyTextAttachmentCell& cell, const QRectF& rect,
                                       int index)
    {
        (void)textView; (void)cell; (void)rect; (void)index;
    }
    // A context menu was asked for over character `index` (-1 when over no character); the menu to show, or
    // none for no menu.
    virtual QMenu* textViewMenuForEvent(WBTextView* textView, QContextMenuEvent* event, int index)
    {
        (void)textView; (void)event; (void)index;
        return nullptr;
    }
};

// The text of one list item: a laid-out rich text drawn at the width of the view, with clickable links and
// pictures. It is cheap on purpose (no editing machinery), because every visible row has one. It shows no tool
// tips, and hands wheel events and presses outside links and pictures on to the row, so the list scrolls and
// selects as usual.
class WBTextView : public QWidget {
    Q_OBJECT
public:
    explicit WBTextView(QWidget* parent = nullptr);
    ~WBTextView() override;

    // Shows `text` (replacing what was shown), laid out at the current width less the insets.
    void setAttributedString(const AttributedString& text);
    void clear();
    const QTextDocument* document() const { return document_.get(); }
    // Lays the text out again (after a width change this happens by itself).
    void layoutText();

    // Room between the view's edges and its text: horizontal on both sides, vertical above and below.
    QSizeF textContainerInset() const { return inset_; }
    void setTextContainerInset(const QSizeF& inset);

    // The item whose text is shown.
    const CellPtr& cellData() const { return cellData_; }
    void setCellData(const CellPtr& cell) { cellData_ = cell; }

    WBTextViewDelegate* delegate() const { return delegate_; }
    void setDelegate(WBTextViewDelegate* delegate) { delegate_ = delegate; }

    // The character under a point of the view, or -1.
    int characterIndexForPoint(const QPointF& point, bool exact = true) const;
    // Where character `index` sits in the view (empty for no such character).
    QRectF rectForCharacter(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // A press that hit no link or picture: ignored here, so the row view and the list see it.
    virtual void plainClick(QMouseEvent* event);

private:
    bool isActiveAt(int index) const;

    std::unique_ptr<QTextDocument> document_;
    QSizeF inset_;
    CellPtr cellData_;
    WBTextViewDelegate* delegate_ = nullptr;
    int pressedIndex_ = -1;
    double laidOutWidth_ = -1;
};

// The text of a conversation row: a click does not select text, it toggles the row's selection in its list
// (which opens or closes the conversation).
class WBTextView2 : public WBTextView {
    Q_OBJECT
public:
    using WBTextView::WBTextView;

protected:
    void plainClick(QMouseEvent* event) override;
};
