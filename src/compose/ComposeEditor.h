#pragma once
// One editor as every composing place uses it: the text view (with the send shortcut and name completion),
// the emotion pop-up button and the remaining-length label, under the length rule on every change.
// The windows put their own buttons into bottomBar().
#include "compose/EmotionViewController.h"

#include <QWidget>

class DroppableHKTextView;
class EmotionPopUpButton;
class HotkeyTextView;
class QHBoxLayout;
class QLabel;

class ComposeEditor : public QWidget, public EmotionDelegate {
    Q_OBJECT
public:
    // A droppable editor takes a dropped file (the new-status window); the others do not.
    explicit ComposeEditor(bool droppable = false, QWidget* parent = nullptr);
    ~ComposeEditor() override;

    HotkeyTextView* textView() const { return textView_; }
    // The same view when the editor is droppable, else none.
    DroppableHKTextView* droppableTextView() const;
    EmotionPopUpButton* emotionButton() const { return emotionButton_; }
    QLabel* inputTipLabel() const { return inputTipLabel_; }
    QHBoxLayout* bottomBar() const { return bottomBar_; }

    // The text as it is sent: emotion pictures as their codes.
    QString plainString() const;
    // Replaces the content (the length rule applies) and puts the insertion point at the end.
    void setPlainString(const QString& text);
    // Empties the text and hides the label.
    void clear();
    bool isEmpty() const;

    // Inserts the chosen emotion at the insertion point, as typed text.
    void didSelectEmotion(const AttributedString& emotion) override;
    // The length rule (called on every change of the text).
    void textDidChange();

signals:
    // The user changed the text (not clear() or setPlainString()).
    void textEdited();

private:
    HotkeyTextView* textView_ = nullptr;
    EmotionPopUpButton* emotionButton_ = nullptr;
    QLabel* inputTipLabel_ = nullptr;
    QHBoxLayout* bottomBar_ = nullptr;
    bool constraining_ = false;
    bool programmatic_ = false;
};
