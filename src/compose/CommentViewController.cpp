#include "compose/CommentViewController.h"

#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellStatus.h"
#include "compose/ComposeEditor.h"
#include "model/WeiboParser.h"
#include "platform/AlertResponder.h"
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

struct CommentAnswer {
    boost::shared_ptr<weibo::WBComment> comment;
    std::string error, code;
};

std::shared_ptr<CommentAnswer> readCommentAnswer(const std::string& response, const std::string& transportError)
{
    auto answer = std::make_shared<CommentAnswer>();
    weibo::parseError(response, answer->error, answer->code);
    const auto comments = weibo::parseString<weibo::WBComment>(response);
    if (!comments.empty() && comments.front()->id != 0)
        answer->comment = comments.front();
    if (response.empty() && answer->error.empty())
        answer->error = transportError;
    return answer;
}

boost::shared_ptr<weibo::WBStatus> firstStatus(const std::string& response)
{
    const auto statuses = weibo::parseString<weibo::WBStatus>(response);
    return statuses.empty() ? nullptr : statuses.front();
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
    const bool inCommentsToMe = list && list->identifier() == QString::fromStdString(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME);
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

void CommentViewController::failed(const QString& headline, const std::string& error, const std::string& code)
{
    // The typed text stays for another try.
    doit_->setEnabled(true);
    platform::AlertResponder::alertWarning(headline, QString::fromStdString(error), QString::fromStdString(code),
                                           window());
}

void CommentViewController::comment()
{
    const CellPtr c = context_.host ? context_.host->activeDataCell() : CellPtr();
    if (!c || !doit_->isEnabled())
        return;
    const CellListController* list = c->listViewController();
    if (list && list->identifier() == QString::fromStdString(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME))
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
    platform::dispatchGlobal([self, client, commentId, statusId, body, alsoRepost, repostBody] {
        const std::string response = client->statusReply(commentId, body, statusId);
        auto answer = readCommentAnswer(response, client->getLastCurlError());
        boost::shared_ptr<weibo::WBStatus> reposted;
        // Only a reply that went through is reposted: a retry after a failure would post it twice.
        if (answer->comment && alsoRepost) {
            weibo::SinaWeiboOptions options;
            options.status_ = repostBody;
            reposted = firstStatus(client->statusRepost(statusId, options));
        }
        platform::dispatchMainAsync([self, commentId, answer, reposted] {
            if (!self)
                return;
            if (reposted)
                insertIntoHomeTimeline(self->context_, reposted);
            if (self->context_.host && self->context_.host->activeEntityId() == commentId) {
                if (answer->comment) {
                    self->editor_->clear();
                    self->doit_->setEnabled(true);
                    self->context_.host->closeDrawer();
                } else {
                    self->failed(QStringLiteral("回复评论失败！"), answer->error, answer->code);
                }
            }
            emit self->commentFinished(bool(answer->comment));
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
    host->displayBusy(QStringLiteral("正在发表评论..."));
    QPointer<CommentViewController> self(this);
    platform::dispatchGlobal([self, host, client, id, body, alsoRepost, onOriginal, repostBody] {
        weibo::SinaWeiboOptions options;
        if (onOriginal)
            options.comment_ori_ = 1;
        const std::string response = client->statusComment(id, body, options);
        auto answer = readCommentAnswer(response, client->getLastCurlError());
        boost::shared_ptr<weibo::WBStatus> reposted;
        bool reposting = false;
        platform::dispatchMainSync([self, host, &reposting, alsoRepost, answer, id] {
            if (!self)
                return;
            host->displayBusy(QString());
            // Only a comment that went through is reposted: a retry after a failure would post it twice.
            reposting = alsoRepost && answer->comment && host->activeEntityId() == id;
            if (reposting)
                host->displayBusy(QStringLiteral("正在转发评论..."));
        });
        if (reposting) {
            weibo::SinaWeiboOptions repostOptions;
            repostOptions.status_ = repostBody;
            reposted = firstStatus(client->statusRepost(id, repostOptions));
        }
        platform::dispatchMainAsync([self, host, id, answer, reposted, reposting] {
            if (!self)
                return;
            if (reposting)
                host->displayBusy(QString());
            PXListViewController* comments = self->context_.commentList ? self->context_.commentList() : nullptr;
            if (answer->comment && comments) {
                auto cell = std::make_shared<TimelineCellComment>(answer->comment);
                cell->setListViewController(comments);
                comments->addFakeCell(cell);
            }
            if (reposted)
                insertIntoHomeTimeline(self->context_, reposted);
            if (host->activeEntityId() != id) {
                emit self->commentFinished(bool(answer->comment));
                return;
            }
            if (!answer->comment) {
                self->failed(QStringLiteral("发表评论失败！"), answer->error, answer->code);
                emit self->commentFinished(false);
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
