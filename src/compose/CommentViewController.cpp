#include "compose/CommentViewController.h"

#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellStatus.h"
#include "compose/ComposeEditor.h"
#include "cells/FailureText.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"
#include "widgets/PXListView.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <typeinfo>

namespace {

using CommentReply = weibo::Reply<boost::shared_ptr<weibo::WBComment>>;
using StatusReply = weibo::Reply<boost::shared_ptr<weibo::WBStatus>>;

const QString kRepostFailed = QStringLiteral("转发微博失败！");

// The repost that goes with a comment, made only after the comment went through: a retry after a failure would
// post it twice. Not asked: a reply that says so (NotSent) and is never reported.
StatusReply repostAfter(const CommentReply& comment, bool alsoRepost, weibo::SinaWeibo& client,
                        std::uint64_t statusId, const std::string& repostBody)
{
    if (!comment.ok() || !alsoRepost)
        return StatusReply(nullptr, weibo::failureOf(weibo::TransferFailure::NotSent));
    weibo::SinaWeiboOptions options;
    options.status_ = repostBody;
    return weibo::recordOf<weibo::WBStatus>(client.statusRepost(statusId, options));
}

void reportRepost(const StatusReply& reposted, QWidget* window)
{
    if (reposted.outcome.failure != weibo::TransferFailure::NotSent)
        alertFailure(kRepostFailed, reposted.outcome, window);
}

QString name(const boost::shared_ptr<weibo::WBUser>& user)
{
    return user ? QString::fromStdString(user->screen_name) : QString();
}

} // namespace

CommentViewController::CommentViewController(const DrawerEditorContext& context, QWidget* parent)
    : QWidget(parent), context_(context)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    editor_ = new ComposeEditor(false, this);
    editor_->textView()->setFinishDelegate(this);
    layout->addWidget(editor_, 1);
    repostButton_ = new QCheckBox(QStringLiteral("同时转发到我的微博"), this);
    toOriginalAuthor_ = new QCheckBox(QStringLiteral("同时评论给原文作者"), this);
    layout->addWidget(repostButton_);
    layout->addWidget(toOriginalAuthor_);
    doit_ = addDrawerEditorButtons(editor_, context_, QStringLiteral("取消"), QStringLiteral("评论"));
    connect(doit_, &QPushButton::clicked, this, &CommentViewController::comment);
    setFixedSize(340, 170);
}

HotkeyTextView* CommentViewController::textView() const { return editor_->textView(); }
QLabel* CommentViewController::inputTipLabel() const { return editor_->inputTipLabel(); }

void CommentViewController::initContent()
{
    editor_->clear();
    repostButton_->setChecked(false);
    toOriginalAuthor_->setChecked(false);
    toOriginalAuthor_->hide();
    doit_->setEnabled(true);
    const CellPtr c = context_.host ? context_.host->activeDataCell() : CellPtr();
    auto* status = dynamic_cast<TimelineCellStatus*>(c.get());
    const CellListController* list = c ? c->listViewController() : nullptr;
    const bool inCommentsToMe = list && list->kind().commentRows == ListKind::CommentRows::Received;
    if (status && !inCommentsToMe && status->status() && status->status()->retweeted_status &&
        context_.host->activeEntityId() == c->entityId())
        toOriginalAuthor_->show();
    // A reply to a comment received says so: whom it answers (the service puts that prefix before the text
    // itself, so it is a hint, not text) and a button named for what it does.
    const auto* received = inCommentsToMe ? dynamic_cast<TimelineCellComment*>(c.get()) : nullptr;
    const QString author = received && received->comment() ? name(received->comment()->user) : QString();
    editor_->textView()->setPlaceholderText(author.isEmpty() ? QString() : QStringLiteral("回复@%1:").arg(author));
    doit_->setText(received ? QStringLiteral("回复") : QStringLiteral("评论"));
}

void CommentViewController::preappendString(const QString& text)
{
    const QString current = editor_->plainString();
    if (current.contains(QLatin1Char('@')))
        return;
    editor_->setPlainString(text + current);
}

void CommentViewController::failed(const QString& headline, const weibo::TransferOutcome& outcome)
{
    // The typed text stays for another try.
    doit_->setEnabled(true);
    alertFailure(headline, outcome, window());
}

void CommentViewController::comment()
{
    const CellPtr c = context_.host ? context_.host->activeDataCell() : CellPtr();
    if (!c || !doit_->isEnabled())
        return;
    const CellListController* list = c->listViewController();
    if (list && list->kind().commentRows == ListKind::CommentRows::Received)
        reply();
    else
        commentOnStatus();
}

void CommentViewController::reply()
{
    const CellPtr c = context_.host->activeDataCell();
    auto* cell = dynamic_cast<TimelineCellComment*>(c.get());
    if (!cell || typeid(*cell) != typeid(TimelineCellComment) || !cell->comment())
        return;
    const boost::shared_ptr<weibo::WBComment> record = cell->comment();
    const boost::shared_ptr<weibo::SinaWeibo> client = context_.client ? context_.client() : nullptr;
    if (!client)
        return;
    const QString text = editor_->plainString();
    const bool alsoRepost = repostButton_->isChecked();
    const std::uint64_t commentId = record->id;
    const std::uint64_t statusId = record->status ? record->status->id : 0;
    // The repost that goes with the reply quotes the whole chain.
    QString repostText;
    if (alsoRepost) {
        const QString n = name(record->user);
        repostText = QStringLiteral("回复@%1:").arg(n) + text + QStringLiteral(" //@%1:").arg(n) +
                     QString::fromStdString(record->text);
        if (const auto& r = record->reply_comment)
            repostText += QStringLiteral(" //@%1:").arg(name(r->user)) + QString::fromStdString(r->text);
        if (record->status)
            repostText += QStringLiteral(" //@%1:").arg(name(record->status->user)) +
                          QString::fromStdString(record->status->text);
    }
    doit_->setEnabled(false);
    QPointer<CommentViewController> self(this);
    const std::string body = text.toStdString();
    const std::string repostBody = repostText.toStdString();
    const BusyText busy = context_.host->displayBusy(QStringLiteral("正在回复评论..."));
    platform::dispatchGlobal([self, client, commentId, statusId, body, alsoRepost, repostBody, busy] {
        const CommentReply replied = weibo::recordOf<weibo::WBComment>(client->statusReply(commentId, body, statusId));
        const StatusReply reposted = repostAfter(replied, alsoRepost, *client, statusId, repostBody);
        platform::dispatchMainAsync([self, commentId, replied, reposted, busy]() mutable {
            busy.done();
            if (!self)
                return;
            if (reposted.ok())
                insertIntoHomeTimeline(self->context_, reposted.value);
            const bool current = self->context_.host && self->context_.host->activeEntityId() == commentId;
            if (replied.ok() && current) {
                self->editor_->clear();
                self->doit_->setEnabled(true);
                self->context_.host->closeDrawer();
            } else if (!replied.ok()) {
                // Said even when the drawer has moved on: a reply that did not go out is never silent.
                self->failed(QStringLiteral("回复评论失败！"), replied.outcome);
            }
            reportRepost(reposted, self->window());
            emit self->commentFinished(replied.ok());
        });
    });
}

void CommentViewController::commentOnStatus()
{
    const CellPtr c = context_.host->activeDataCell();
    const boost::shared_ptr<weibo::SinaWeibo> client = context_.client ? context_.client() : nullptr;
    if (!client)
        return;
    const std::uint64_t id = context_.host->activeEntityId();
    const std::string body = editor_->plainString().toStdString();
    const bool alsoRepost = repostButton_->isChecked();
    const bool onOriginal = toOriginalAuthor_->isVisible() && toOriginalAuthor_->isChecked();
    QString repostText = editor_->plainString();
    if (auto* status = dynamic_cast<TimelineCellStatus*>(c.get()))
        if (status->status() && status->status()->retweeted_status)
            repostText += QStringLiteral(" //@%1:").arg(name(status->status()->user)) +
                          QString::fromStdString(status->status()->text);
    const std::string repostBody = repostText.toStdString();
    TimelineHost* host = context_.host;
    doit_->setEnabled(false);
    const BusyText busy = host->displayBusy(QStringLiteral("正在发表评论..."));
    QPointer<CommentViewController> self(this);
    platform::dispatchGlobal([self, host, client, id, body, alsoRepost, onOriginal, repostBody, busy]() mutable {
        weibo::SinaWeiboOptions options;
        if (onOriginal)
            options.comment_ori_ = 1;
        const CommentReply commented = weibo::recordOf<weibo::WBComment>(client->statusComment(id, body, options));
        busy.done();
        BusyText reposting;
        if (commented.ok() && alsoRepost)
            reposting = host->displayBusy(QStringLiteral("正在转发评论..."));
        const StatusReply reposted = repostAfter(commented, alsoRepost, *client, id, repostBody);
        platform::dispatchMainAsync([self, host, id, commented, reposted, reposting]() mutable {
            reposting.done();
            if (!self)
                return;
            PXListViewController* comments = self->context_.commentList ? self->context_.commentList() : nullptr;
            if (commented.ok() && comments) {
                auto cell = std::make_shared<TimelineCellComment>(commented.value);
                cell->setListViewController(comments);
                comments->addFakeCell(cell);
            }
            if (reposted.ok())
                insertIntoHomeTimeline(self->context_, reposted.value);
            reportRepost(reposted, self->window());
            if (!commented.ok()) {
                // Said even when the drawer has moved on: a comment that did not go out is never silent.
                self->failed(QStringLiteral("发表评论失败！"), commented.outcome);
                emit self->commentFinished(false);
                return;
            }
            if (host->activeEntityId() != id) {
                emit self->commentFinished(true);
                return;
            }
            const CellPtr active = host->activeDataCell();
            if (comments) {
                comments->reloadData();
                comments->listView()->scrollToRow(0);
            }
            if (auto* status = dynamic_cast<TimelineCellStatus*>(active.get())) {
                if (status->entityId() == id)
                    status->setCommentCount(status->commentCount() + 1);
                else
                    status->setOriginalCommentCount(status->originalCommentCount() + 1);
                status->setRecalculateTextViewHeight(true);
                if (auto* list = dynamic_cast<PXListViewController*>(status->listViewController()))
                    list->reloadData();
            }
            self->initContent();
            host->displayCommentsFromDataCell(active, id, false, false);
            host->checkDrawer();
            emit self->commentFinished(true);
        });
    });
}
