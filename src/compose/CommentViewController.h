#pragma once
#include "service/Reply.h"
// The comment editor of the drawer: a comment on the drawer's status (optionally reposting it, or commenting
// on its original too), or, in the comments received, a reply to the comment. The text is kept until the
// service answers with a comment record.
#include "compose/DrawerEditorContext.h"
#include "compose/HotkeyTextView.h"

#include <QWidget>

class ComposeEditor;
class QCheckBox;
class QLabel;
class QPushButton;

class CommentViewController : public QWidget, public HotkeyTextViewDelegate {
    Q_OBJECT
public:
    explicit CommentViewController(const DrawerEditorContext& context, QWidget* parent = nullptr);

    ComposeEditor* editor() const { return editor_; }
    HotkeyTextView* textView() const;
    QLabel* inputTipLabel() const;
    QPushButton* doit() const { return doit_; }
    QCheckBox* repostButton() const { return repostButton_; }
    QCheckBox* toOriginalAuthor() const { return toOriginalAuthor_; }

    void reset() { initContent(); }
    void initContent();
    void comment();
    void editFinished() override { comment(); }
    // Starts the text with `text` unless it already names someone.
    void preappendString(const QString& text);

signals:
    void commentFinished(bool ok);

private:
    void reply();
    void commentOnStatus();
    void failed(const QString& headline, const weibo::TransferOutcome& outcome);

    DrawerEditorContext context_;
    ComposeEditor* editor_ = nullptr;
    QCheckBox* repostButton_ = nullptr;
    QCheckBox* toOriginalAuthor_ = nullptr;
    QPushButton* doit_ = nullptr;
};
