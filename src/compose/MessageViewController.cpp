#include "compose/MessageViewController.h"

#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "compose/ComposeEditor.h"
#include "cells/FailureText.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

MessageViewController::MessageViewController(const DrawerEditorContext& context, QWidget* parent)
    : QWidget(parent), context_(context)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    editor_ = new ComposeEditor(false, this);
    editor_->textView()->setFinishDelegate(this);
    layout->addWidget(editor_, 1);
    send_ = addDrawerEditorButtons(editor_, context_, QStringLiteral("关闭"), QStringLiteral("发送"));
    connect(send_, &QPushButton::clicked, this, &MessageViewController::sendDirectMessage);
    setFixedSize(340, 140);
    initContent();
}

HotkeyTextView* MessageViewController::textView() const { return editor_->textView(); }
QLabel* MessageViewController::inputTipLabel() const { return editor_->inputTipLabel(); }

void MessageViewController::resetWithCell(const MessageGroupCellPtr& cell, bool init)
{
    dataCell_ = cell;
    editor_->textView()->setAccessibleName(cell ? QStringLiteral("私信给 %1").arg(cell->entityName())
                                                : QStringLiteral("私信"));
    if (init)
        initContent();
}

void MessageViewController::initContent()
{
    editor_->clear();
}

void MessageViewController::sendDirectMessage()
{
    if (sending_ || !dataCell_ || !context_.host)
        return;
    const std::string text = editor_->plainString().toStdString();
    const boost::shared_ptr<weibo::SinaWeibo> client = context_.client ? context_.client() : nullptr;
    if (text.empty() || !client)
        return;
    const std::uint64_t recipient = dataCell_->groupId();
    // The conversation list the reply goes into (the conversation item may be regrouped meanwhile).
    QPointer<PXListViewController> conversations =
        dynamic_cast<PXListViewController*>(dataCell_->listViewController());
    TimelineHost* host = context_.host;
    sending_ = true;
    send_->setEnabled(false);
    const BusyText busy = host->displayBusy(QStringLiteral("正在发送私信..."));
    QPointer<MessageViewController> self(this);
    platform::dispatchGlobal([self, host, client, text, recipient, conversations, busy] {
        weibo::SinaWeiboOptions options;
        options.user_id_ = recipient;
        const weibo::Reply<boost::shared_ptr<weibo::WBMessage>> sent =
            weibo::recordOf<weibo::WBMessage>(client->directMessagesNew(std::string(), text, options));
        platform::dispatchMainAsync([self, host, sent, conversations, busy]() mutable {
            busy.done();
            if (!self)
                return;
            self->sending_ = false;
            self->send_->setEnabled(true);
            if (!sent.ok()) {
                alertFailure(QStringLiteral("发送私信失败！"), sent.outcome, self->window());
                emit self->sendFinished(false);
                return;
            }
            if (conversations) {
                auto cell = std::make_shared<TimelineCellMessage>(sent.value);
                cell->setListViewController(host->chatListViewController());
                // One's own reply is nothing unread: the badge stays as it was.
                const std::uint64_t unread = conversations->unreadCount();
                conversations->addFakeCell(cell, conversations->sentMessageCells());
                conversations->setUnreadCount(unread);
                conversations->makeMessageGroups();
                conversations->reloadData();
                host->updateLeftTabs();
                host->displayMessageFromDataCell(host->activeDataCell(), false, true, 2);
            }
            emit self->sendFinished(true);
        });
    });
}
