#pragma once
// The reply box under an open conversation. A reply shows at once as a sent message of the conversation and
// is replaced by the service's own copy at the next refresh; a failed reply keeps its text.
#include "cells/CellTypes.h"
#include "compose/DrawerEditorContext.h"
#include "compose/HotkeyTextView.h"

#include <QWidget>

class ComposeEditor;
class QLabel;
class QPushButton;

class MessageViewController : public QWidget, public HotkeyTextViewDelegate {
    Q_OBJECT
public:
    explicit MessageViewController(const DrawerEditorContext& context, QWidget* parent = nullptr);

    ComposeEditor* editor() const { return editor_; }
    HotkeyTextView* textView() const;
    QLabel* inputTipLabel() const;
    QPushButton* sendButton() const { return send_; }
    const MessageGroupCellPtr& dataCell() const { return dataCell_; }

    void resetWithCell(const MessageGroupCellPtr& cell, bool init);
    void initContent();
    void sendDirectMessage();
    void editFinished() override { sendDirectMessage(); }

signals:
    void sendFinished(bool ok);

private:
    DrawerEditorContext context_;
    ComposeEditor* editor_ = nullptr;
    QPushButton* send_ = nullptr;
    MessageGroupCellPtr dataCell_;
    bool sending_ = false;
};
