#include "compose/ComposeEditor.h"

#include "cells/Appearance.h"
#include "cells/CellContext.h"
#include "cells/MyTextAttachmentCell.h"
#include "cells/WBUtility.h"
#include "compose/DroppableHKTextView.h"
#include "compose/EmotionPopUpButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTextCursor>
#include <QVBoxLayout>

ComposeEditor::ComposeEditor(bool droppable, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    textView_ = droppable ? new DroppableHKTextView(this) : new HotkeyTextView(this);
    textView_->setFont(CellContext::current().appearance().bodyFont());
    AttachmentObjectHandler::registerWith(textView_->document());
    layout->addWidget(textView_, 1);
    bottomBar_ = new QHBoxLayout;
    emotionButton_ = new EmotionPopUpButton(this, this, this);
    bottomBar_->addWidget(emotionButton_);
    bottomBar_->addStretch(1);
    inputTipLabel_ = new QLabel(this);
    inputTipLabel_->setMinimumWidth(32);
    inputTipLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bottomBar_->addWidget(inputTipLabel_);
    layout->addLayout(bottomBar_);
    inputTipLabel_->hide();
    connect(textView_, &QTextEdit::textChanged, this, &ComposeEditor::textDidChange);
}

ComposeEditor::~ComposeEditor() = default;

DroppableHKTextView* ComposeEditor::droppableTextView() const
{
    return qobject_cast<DroppableHKTextView*>(textView_);
}

QString ComposeEditor::plainString() const
{
    return plainStringOfDocument(*textView_->document());
}

bool ComposeEditor::isEmpty() const
{
    return textView_->document()->isEmpty();
}

void ComposeEditor::setPlainString(const QString& text)
{
    programmatic_ = true;
    textView_->setPlainText(text);
    textView_->moveCursor(QTextCursor::End);
    programmatic_ = false;
    inputTipLabel_->setVisible(!text.isEmpty());
}

void ComposeEditor::clear()
{
    programmatic_ = true;
    textView_->clear();
    textView_->setCurrentCharFormat(QTextCharFormat());
    programmatic_ = false;
    inputTipLabel_->hide();
}

void ComposeEditor::didSelectEmotion(const AttributedString& emotion)
{
    QTextCursor cursor = textView_->textCursor();
    cursor.beginEditBlock();
    for (const AttributedString::Run& run : emotion.runs())
        cursor.insertText(run.text, run.isAttachment ? run.format : QTextCharFormat());
    cursor.endEditBlock();
    // What is typed after a picture is plain text again.
    cursor.setCharFormat(QTextCharFormat());
    textView_->setTextCursor(cursor);
    textView_->setCurrentCharFormat(QTextCharFormat());
    textView_->setFocus();
}

void ComposeEditor::textDidChange()
{
    if (constraining_)
        return;
    constraining_ = true;
    QTextCursor selection = textView_->textCursor();
    WBUtility::constrainCharCountInContainer(*textView_->document(), selection, [this](const QString& hint) {
        inputTipLabel_->setText(hint);
    });
    if (selection.document() == textView_->document() && selection != textView_->textCursor()) {
        textView_->setTextCursor(selection);
    }
    constraining_ = false;
    if (!programmatic_) {
        inputTipLabel_->show();
        emit textEdited();
    }
}
