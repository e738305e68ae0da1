#include "compose/RepostViewController.h"

#include "cells/TimelineCellStatus.h"
#include "compose/ComposeEditor.h"
#include "cells/FailureText.h"
#include "model/Replies.h"
#include "platform/AlertResponder.h"
#include "platform/Dispatch.h"
#include "timeline/PXListViewController.h"
#include "timeline/TimelineHost.h"
#include "timeline/WBTextView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

QuoteBox::QuoteBox(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    // The fill is the stroke colour: a soft box around the quote.
    const QColor stroke = QColor::fromRgbF(0.878, 0.878, 0.878);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, stroke);
    p.setColor(QPalette::WindowText, stroke);
    setPalette(p);
}

RepostViewController::RepostViewController(const DrawerEditorContext& context, QWidget* parent)
    : QWidget(parent), context_(context)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    quoteBox_ = new QuoteBox(this);
    auto* quoteLayout = new QVBoxLayout(quoteBox_);
    quoteLayout->setContentsMargins(4, 4, 4, 4);
    quoteTextView_ = new WBTextView(quoteBox_);
    quoteTextView_->setDelegate(context_.host);
    quoteTextView_->setFixedHeight(kShortestQuote);
    quoteLayout->addWidget(quoteTextView_);
    layout->addWidget(quoteBox_);
    editor_ = new ComposeEditor(false, this);
    editor_->textView()->setFinishDelegate(this);
    layout->addWidget(editor_, 1);
    toCurrentAuthor_ = new QCheckBox(this);
    toOriginalAuthor_ = new QCheckBox(QStringLiteral("同时评论给原文作者"), this);
    layout->addWidget(toCurrentAuthor_);
    layout->addWidget(toOriginalAuthor_);
    doit_ = addDrawerEditorButtons(editor_, context_, QStringLiteral("取消"), QStringLiteral("转发"));
    connect(doit_, &QPushButton::clicked, this, &RepostViewController::repost);
    setFixedSize(kWidth, kHeightWithoutQuote + kShortestQuote);
}

void RepostViewController::showQuote(const AttributedString& quote)
{
    // The whole quoted status is shown, its picture included: the quote takes the height of its text at the
    // quote's width (up to a limit), and the editor grows by as much.
    quoteTextView_->setAttributedString(quote);
    const QSizeF inset = quoteTextView_->textContainerInset();
    const int margins = quoteBox_->contentsMargins().left() + quoteBox_->contentsMargins().right() +
                        quoteBox_->layout()->contentsMargins().left() + quoteBox_->layout()->contentsMargins().right() +
                        layout()->contentsMargins().left() + layout()->contentsMargins().right();
    const double width = kWidth - margins - 2 * inset.width();
    const int height = std::clamp(int(std::ceil(quote.heightForWidth(width) + 2 * inset.height())) + 2,
                                  kShortestQuote, kTallestQuote);
    quoteTextView_->setFixedHeight(height);
    setFixedSize(kWidth, kHeightWithoutQuote + height);
}

HotkeyTextView* RepostViewController::editTextView() const { return editor_->textView(); }
QLabel* RepostViewController::inputTipLabel() const { return editor_->inputTipLabel(); }

int RepostViewController::isCommentValue(bool toCurrentAuthor, bool toOriginalAuthor)
{
    if (toCurrentAuthor && toOriginalAuthor)
        return 3;
    if (toCurrentAuthor)
        return 1;
    return toOriginalAuthor ? 2 : 0;
}

void RepostViewController::initContent()
{
    editor_->clear();
    showQuote(AttributedString());
    doit_->setEnabled(true);
    toCurrentAuthor_->setChecked(false);
    toOriginalAuthor_->setChecked(false);
    toOriginalAuthor_->hide();
    const CellPtr c = context_.host ? context_.host->activeDataCell() : CellPtr();
    auto* cell = dynamic_cast<TimelineCellStatus*>(c.get());
    if (!cell || !cell->status())
        return;
    const boost::shared_ptr<weibo::WBStatus>& s = cell->status();
    const bool aboutItself = cell->entityId() == context_.host->activeEntityId();
    const boost::shared_ptr<weibo::WBStatus> t = aboutItself ? s : s->retweeted_status;
    if (t && t->user)
        toCurrentAuthor_->setText(QStringLiteral("评论给 %1").arg(QString::fromStdString(t->user->screen_name)));
    toCurrentAuthor_->adjustSize();
    bool determinate = true;
    if (s->retweeted_status) {
        showQuote(cell->stringFromStatus(s->retweeted_status, true, determinate));
        if (aboutItself) {
            toOriginalAuthor_->show();
            const QString prefill = QStringLiteral("//@%1:").arg(QString::fromStdString(s->user->screen_name)) +
                                    QString::fromStdString(s->text);
            editor_->setPlainString(prefill);
            QTextCursor cursor = editor_->textView()->textCursor();
            cursor.movePosition(QTextCursor::Start);
            editor_->textView()->setTextCursor(cursor);
        }
    } else {
        showQuote(cell->stringFromStatus(s, false, determinate));
    }
}

void RepostViewController::repost()
{
    const CellPtr c = context_.host ? context_.host->activeDataCell() : CellPtr();
    if (!dynamic_cast<TimelineCellStatus*>(c.get()) || !doit_->isEnabled())
        return;
    // Everything the request needs is read here, on the main thread.
    const std::uint64_t id = context_.host->activeEntityId();
    weibo::SinaWeiboOptions options;
    options.status_ = editor_->plainString().toStdString();
    if (const int value = isCommentValue(toCurrentAuthor_->isChecked(), toOriginalAuthor_->isChecked()))
        options.is_comment_ = value;
    const boost::shared_ptr<weibo::SinaWeibo> client = context_.client ? context_.client() : nullptr;
    if (!client)
        return;
    doit_->setEnabled(false);
    const BusyText busy = context_.host->displayBusy(QStringLiteral("正在转发微博..."));
    QPointer<RepostViewController> self(this);
    platform::dispatchGlobal([self, client, id, options, busy] {
        const weibo::Reply<boost::shared_ptr<weibo::WBStatus>> reposted =
            weibo::recordOf<weibo::WBStatus>(client->statusRepost(id, options));
        platform::dispatchMainAsync([self, id, reposted, busy]() mutable {
            busy.done();
            if (!self)
                return;
            if (reposted.ok())
                insertIntoHomeTimeline(self->context_, reposted.value);
            const bool current = self->context_.host && self->context_.host->activeEntityId() == id;
            if (reposted.ok() && current)
                self->context_.host->closeDrawer();
            if (!reposted.ok()) {
                // Said even when the drawer has moved on (a drawer on another item keeps its own editor state).
                if (current)
                    self->doit_->setEnabled(true);
                alertFailure(QStringLiteral("转发微博失败！"), reposted.outcome, self->window());
            }
            emit self->repostFinished(reposted.ok());
        });
    });
}
