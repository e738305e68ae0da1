#pragma once
#include "service/Reply.h"
// The window that writes a direct message to any user by screen name. The window closes when the service
// answers with the message; otherwise it warns and keeps the text. Unsent text is kept as a draft.
#include "compose/DraftStore.h"
#include "compose/HotkeyTextView.h"

#include <QWidget>

#include <cstdint>
#include <string>

class ComposeEditor;
class DraftsButton;
class EmotionPopUpButton;
class QLabel;
class QLineEdit;
class QPushButton;

class SendMessageWindowController : public QWidget, public HotkeyTextViewDelegate {
    Q_OBJECT
public:
    explicit SendMessageWindowController(QWidget* parent = nullptr, const QString& draftFolder = QString());
    ~SendMessageWindowController() override;

    ComposeEditor* editor() const { return editor_; }
    HotkeyTextView* textView() const;
    QLabel* inputTipLabel() const;
    EmotionPopUpButton* emotionButton() const;
    QLineEdit* recipient() const { return recipient_; }
    QPushButton* sendButton() const { return sendButton_; }
    DraftsButton* draftsButton() const { return draftsButton_; }

    // Keeps unsent text as a draft, fills the recipient, empties the text and hides the hint.
    void resetWithRecipient(const QString& screenName);
    void showWindow();
    void sendMessage();
    void editFinished() override { sendMessage(); }
    void closeWindow();
    bool isSending() const { return sending_; }

    DraftKeeper& drafts() { return *drafts_; }
    void restoreDraft(const Draft& draft);

signals:
    void sendFinished(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void sendDidEnd(std::uint64_t generation, const QString& draftId, const weibo::TransferOutcome& outcome);
    void setSending(bool sending);

    ComposeEditor* editor_ = nullptr;
    QLineEdit* recipient_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    DraftKeeper* drafts_ = nullptr;
    DraftsButton* draftsButton_ = nullptr;
    bool sending_ = false;
    std::uint64_t generation_ = 0;
};
