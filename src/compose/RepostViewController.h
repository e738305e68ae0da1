#pragma once
// The repost editor of the drawer: the quoted status in its box, the repost text, and whether to comment to the
// author of the status and of its original at the same time.
#include "compose/DrawerEditorContext.h"
#include "cells/AttributedString.h"
#include "compose/HotkeyTextView.h"

#include <QFrame>
#include <QWidget>

#include <cstdint>

class ComposeEditor;
class QCheckBox;
class QLabel;
class QPushButton;
class WBTextView;

// The frame around the quoted status; filled with its stroke colour.
class QuoteBox : public QFrame {
    Q_OBJECT
public:
    explicit QuoteBox(QWidget* parent = nullptr);
};

class RepostViewController : public QWidget, public HotkeyTextViewDelegate {
    Q_OBJECT
public:
    explicit RepostViewController(const DrawerEditorContext& context, QWidget* parent = nullptr);

    QuoteBox* quoteBox() const { return quoteBox_; }
    WBTextView* quoteTextView() const { return quoteTextView_; }
    ComposeEditor* editor() const { return editor_; }
    HotkeyTextView* editTextView() const;
    QLabel* inputTipLabel() const;
    QPushButton* doit() const { return doit_; }
    QCheckBox* toCurrentAuthor() const { return toCurrentAuthor_; }
    QCheckBox* toOriginalAuthor() const { return toOriginalAuthor_; }

    void reset() { initContent(); }
    void initContent();
    void repost();
    void editFinished() override { repost(); }
    // 3 both, 1 the current author only, 2 the original author only, 0 none.
    static int isCommentValue(bool toCurrentAuthor, bool toOriginalAuthor);

signals:
    void repostFinished(bool ok);

private:
    // The editor's width, its height without the quote, and the quote's least and greatest height.
    static constexpr int kWidth = 340;
    static constexpr int kHeightWithoutQuote = 202;
    static constexpr int kShortestQuote = 48;
    static constexpr int kTallestQuote = 280;
    void showQuote(const AttributedString& quote);

    DrawerEditorContext context_;
    QuoteBox* quoteBox_ = nullptr;
    WBTextView* quoteTextView_ = nullptr;
    ComposeEditor* editor_ = nullptr;
    QCheckBox* toCurrentAuthor_ = nullptr;
    QCheckBox* toOriginalAuthor_ = nullptr;
    QPushButton* doit_ = nullptr;
};
