#include "compose/SendMessageWindowController.h"

#include "compose/ComposeEditor.h"
#include "compose/ComposeEnvironment.h"
#include "compose/DraftsButton.h"
#include "cells/FailureText.h"
#include "model/Replies.h"
#include "platform/AlertResponder.h"
#include "platform/Dispatch.h"
#include "platform/EscapeCloses.h"
#include "platform/WindowPlacement.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString kSendFailed = QStringLiteral("发送私信失败！");

} // namespace

SendMessageWindowController::SendMessageWindowController(QWidget* parent, const QString& draftFolder)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("发私信"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    recipient_ = new QLineEdit(this);
    form->addRow(QStringLiteral("收信人:"), recipient_);
    layout->addLayout(form);
    editor_ = new ComposeEditor(false, this);
    editor_->textView()->setFinishDelegate(this);
    editor_->textView()->setAccessibleName(QStringLiteral("私信内容"));
    // Escape closes the window; its text stays as a draft (closing keeps one).
    platform::closeOnEscape(this, [this] { closeWindow(); });
    layout->addWidget(editor_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    closeButton_ = new QPushButton(QStringLiteral("取消"), this);
    sendButton_ = new QPushButton(QStringLiteral("发送"), this);
    sendButton_->setDefault(true);
    buttons->addWidget(closeButton_);
    buttons->addWidget(sendButton_);
    layout->addLayout(buttons);
    resize(420, 260);

    drafts_ = new DraftKeeper(DraftStore(QStringLiteral("message"), draftFolder),
                              [this] {
                                  Draft d;
                                  d.text = editor_->plainString();
                                  d.recipient = recipient_->text();
                                  return d;
                              },
                              this);
    draftsButton_ = new DraftsButton(drafts_, [this](const Draft& d) { restoreDraft(d); }, this);
    editor_->bottomBar()->insertWidget(1, draftsButton_);
    connect(editor_, &ComposeEditor::textEdited, drafts_, &DraftKeeper::noteChange);
    connect(recipient_, &QLineEdit::textEdited, drafts_, &DraftKeeper::noteChange);
    connect(sendButton_, &QPushButton::clicked, this, &SendMessageWindowController::sendMessage);
    connect(closeButton_, &QPushButton::clicked, this, &SendMessageWindowController::closeWindow);
    resetWithRecipient(QString());
}

SendMessageWindowController::~SendMessageWindowController()
{
    drafts_->flush();
    drafts_->detach();
}

HotkeyTextView* SendMessageWindowController::textView() const { return editor_->textView(); }
QLabel* SendMessageWindowController::inputTipLabel() const { return editor_->inputTipLabel(); }
EmotionPopUpButton* SendMessageWindowController::emotionButton() const { return editor_->emotionButton(); }

void SendMessageWindowController::resetWithRecipient(const QString& screenName)
{
    drafts_->startNew();
    ++generation_;
    recipient_->setText(screenName);
    editor_->clear();
}

void SendMessageWindowController::showWindow()
{
    platform::showCentred(this);
    if (recipient_->text().isEmpty())
        recipient_->setFocus();
    else
        editor_->textView()->setFocus();
}

void SendMessageWindowController::closeWindow()
{
    close();
}

void SendMessageWindowController::closeEvent(QCloseEvent* event)
{
    drafts_->flush();
    QWidget::closeEvent(event);
}

void SendMessageWindowController::setSending(bool sending)
{
    sending_ = sending;
    sendButton_->setEnabled(!sending);
    editor_->textView()->setReadOnly(sending);
    recipient_->setReadOnly(sending);
}

void SendMessageWindowController::sendMessage()
{
    if (sending_)
        return;
    // The recipient and the text are read here, on the main thread; an empty text sends nothing.
    const std::string text = editor_->plainString().toStdString();
    if (text.empty())
        return;
    const std::string screenName = recipient_->text().trimmed().toStdString();
    const boost::shared_ptr<weibo::SinaWeibo> client = ComposeEnvironment::client();
    drafts_->flush();
    const QString draftId = drafts_->currentId();
    const std::uint64_t generation = generation_;
    setSending(true);
    QPointer<SendMessageWindowController> self(this);
    platform::dispatchGlobal([self, client, text, screenName, generation, draftId] {
        // Only a message record back means it was sent.
        weibo::TransferOutcome outcome = weibo::failureOf(weibo::TransferFailure::NotSent);
        if (client) {
            weibo::SinaWeiboOptions options;
            options.screen_name_ = screenName;
            outcome = weibo::recordOf<weibo::WBMessage>(client->directMessagesNew(std::string(), text, options)).outcome;
        }
        platform::dispatchMainAsync([self, generation, draftId, outcome] {
            if (self)
                self->sendDidEnd(generation, draftId, outcome);
        });
    });
}

void SendMessageWindowController::sendDidEnd(std::uint64_t generation, const QString& draftId,
                                             const weibo::TransferOutcome& outcome)
{
    setSending(false);
    if (!outcome.ok()) {
        // The text stays for another try.
        alertFailure(kSendFailed, outcome, this);
        emit sendFinished(false);
        return;
    }
    drafts_->store().discard(draftId);
    if (generation == generation_) {
        drafts_->discardCurrent();
        editor_->clear();
        close();
    }
    emit sendFinished(true);
}

void SendMessageWindowController::restoreDraft(const Draft& draft)
{
    if (sending_)
        return;
    drafts_->flush();
    recipient_->setText(draft.recipient);
    editor_->setPlainString(draft.text);
    drafts_->adopt(draft.id);
}
