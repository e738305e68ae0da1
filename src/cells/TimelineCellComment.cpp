#include "cells/TimelineCellComment.h"

#include "cells/BidiText.h"
#include "cells/DateTimesince.h"

namespace {

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// "回复%@的评论:" and "评论%@的微博:" with the name carrying its link.
AttributedString quoteHead(const QString& before, const QString& name, const QString& after)
{
    AttributedString head(before);
    head.appendLink(displayName(name), LinkValue::fromScreenName(name));
    head.appendString(after);
    return head;
}

} // namespace

TimelineCellComment::TimelineCellComment(const boost::shared_ptr<weibo::WBComment>& comment)
    : comment_(comment)
{
}

uint64_t TimelineCellComment::entityId() const
{
    return comment_ ? comment_->id : 0;
}

QString TimelineCellComment::entityName() const
{
    return comment_ && comment_->user ? displayName(qs(comment_->user->screen_name)) : QString();
}

QString TimelineCellComment::entityText() const
{
    return comment_ ? neutralizeBidiControls(qs(comment_->text)) : QString();
}

QString TimelineCellComment::profileImageURLString() const
{
    return comment_ && comment_->user ? qs(comment_->user->profile_image_url) : QString();
}

QString TimelineCellComment::date() const
{
    return comment_ ? timesinceForDateString(qs(comment_->created_at)) : QString();
}

QDateTime TimelineCellComment::createdAt() const
{
    return comment_ ? dateFromServiceString(qs(comment_->created_at)) : QDateTime();
}

bool TimelineCellComment::isRemovable() const
{
    return comment_ && comment_->user && comment_->user->id == CellContext::current().selfUserId();
}

AttributedString TimelineCellComment::stringForTextView(bool& determinate)
{
    determinate = true;
    if (!comment_)
        return {};
    const Appearance& appearance = CellContext::current().appearance();

    const QString name = comment_->user ? qs(comment_->user->screen_name) : QString();
    AttributedString text = AttributedString::fromLink(displayName(name), LinkValue::fromScreenName(name));
    text.appendString(QStringLiteral("\n"));
    text.append(parseText(neutralizeBidiControls(qs(comment_->text)), HotTextPlain));

    const CellListController* list = listViewController();
    const ListKind::CommentRows rows = list ? list->kind().commentRows : ListKind::CommentRows::None;
    const boost::shared_ptr<weibo::WBComment>& replied = comment_->reply_comment;
    const boost::shared_ptr<weibo::WBStatus>& status = comment_->status;
    int replyType = 0;
    if (rows == ListKind::CommentRows::OfStatus) {
        replyType = AttachmentReplyComment;
    } else if (rows == ListKind::CommentRows::Received) {
        text.appendString(QStringLiteral("\n\n"));
        text.appendString(replied ? QStringLiteral("回复我的评论：") : QStringLiteral("评论我的微博："));
        text.appendString(QStringLiteral("\n"));
        text.append(parseText(neutralizeBidiControls(replied ? qs(replied->text) : (status ? qs(status->text) : QString())),
                              HotTextPlain));
        replyType = AttachmentCommentsOfEntity;
    } else if (rows == ListKind::CommentRows::Sent) {
        text.appendString(QStringLiteral("\n\n"));
        if (replied) {
            // A reply whose comment lost its author or text shows no quote, and no status in its place.
            const QString repliedName = replied->user ? qs(replied->user->screen_name) : QString();
            const QString repliedText = neutralizeBidiControls(qs(replied->text));
            if (!repliedName.isEmpty() && !repliedText.isEmpty()) {
                text.append(quoteHead(QStringLiteral("回复"), repliedName, QStringLiteral("的评论:")));
                text.appendString(QStringLiteral("\n"));
                text.append(parseText(repliedText, HotTextPlain));
            }
        } else if (status && status->user && !status->user->screen_name.empty()) {
            text.append(quoteHead(QStringLiteral("评论"), qs(status->user->screen_name), QStringLiteral("的微博:")));
            text.appendString(QStringLiteral("\n"));
            text.append(parseText(neutralizeBidiControls(qs(status->text)), HotTextPlain));
        }
    }
    text.setParagraphStyle(appearance.statusParagraphStyle());
    text.setForegroundColor(appearance.bodyColor());
    text.setFont(appearance.bodyFont());

    AttributedString toolbar;
    if (isRemovable()) {
        toolbar.append(makeAttachmentWithImage(cellResourceImage(QStringLiteral("remove.png")),
                                               AttachmentRemoveComment));
        toolbar.appendString(QStringLiteral("  "));
    }
    if (replyType != 0)
        toolbar.append(makeAttachmentWithImage(cellResourceImage(QStringLiteral("reply_icon.png")), replyType));
    if (!toolbar.isEmpty()) {
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        toolbar.setParagraphStyle(right);
        text.appendString(QStringLiteral("\n"));
        text.append(toolbar);
    }
    return text;
}
