#include "cells/TimelineCellMessage.h"

#include "cells/BidiText.h"
#include "cells/DateTimesince.h"

#include <QLocale>

namespace {

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

QString TimelineCellMessage::localDateText(const std::string& serviceDate, const QString& format)
{
    const QDateTime date = dateFromServiceString(qs(serviceDate));
    if (!date.isValid())
        return {};
    return QLocale().toString(date.toLocalTime(), format);
}

TimelineCellMessage::TimelineCellMessage(const boost::shared_ptr<weibo::WBMessage>& message)
    : message_(message)
{
}

uint64_t TimelineCellMessage::entityId() const
{
    return message_ ? message_->id : 0;
}

QString TimelineCellMessage::entityText() const
{
    return message_ ? neutralizeBidiControls(qs(message_->text)) : QString();
}

bool TimelineCellMessage::isSentFromMe() const
{
    return message_ && message_->sender_id == CellContext::current().selfUserId();
}

uint64_t TimelineCellMessage::otherId() const
{
    if (!message_)
        return 0;
    return isSentFromMe() ? message_->recipient_id : message_->sender_id;
}

QString TimelineCellMessage::otherName() const
{
    if (!message_)
        return {};
    const boost::shared_ptr<weibo::WBUser>& other = isSentFromMe() ? message_->recipient : message_->sender;
    return other ? qs(other->screen_name) : QString();
}

QString TimelineCellMessage::otherImageURLString() const
{
    if (!message_)
        return {};
    const boost::shared_ptr<weibo::WBUser>& other = isSentFromMe() ? message_->recipient : message_->sender;
    return other ? qs(other->profile_image_url) : QString();
}

QImage TimelineCellMessage::otherProfileImage()
{
    return profileImageWithURLString(otherImageURLString());
}

QString TimelineCellMessage::profileImageURLString() const
{
    if (!message_)
        return {};
    const boost::shared_ptr<weibo::WBUser>& own = isSentFromMe() ? message_->sender : message_->recipient;
    return own ? qs(own->profile_image_url) : QString();
}

QString TimelineCellMessage::date() const
{
    return message_ ? localDateText(message_->created_at, QStringLiteral("MM-dd\nHH:mm")) : QString();
}

AttributedString TimelineCellMessage::stringForMessageText() const
{
    return parseText(entityText(), HotTextPlain);
}

bool TimelineCellMessage::alignsRight(double width, double textWidth, bool sentFromMe)
{
    return sentFromMe && width > textWidth + 48;
}

QRectF TimelineCellMessage::bubbleRect(double width, double textWidth, double textHeight, bool sentFromMe)
{
    if (width - 24 > textWidth + 24) {
        const double bubbleWidth = textWidth + 10;
        return QRectF(sentFromMe ? width - bubbleWidth - 12 : 12, 0, bubbleWidth, textHeight + 10);
    }
    return QRectF(12, 0, width - 24, textHeight + 10);
}

AttributedString TimelineCellMessage::stringForTextView(bool& determinate)
{
    determinate = true;
    const Appearance& appearance = CellContext::current().appearance();
    const CellListController* list = listViewController();
    const double width = list ? list->cellWidth() : 0;

    AttributedString text = stringForMessageText();
    text.setForegroundColor(appearance.bodyColor());
    text.setFont(appearance.bodyFont());
    // The width of the text on one line, in the font it is shown in.
    textWidth_ = text.size().width();

    QTextBlockFormat style = appearance.statusParagraphStyle();
    style.setLeftMargin(12);
    style.setTextIndent(0);
    style.setRightMargin(12);
    if (alignsRight(width, textWidth_, isSentFromMe()))
        style.setAlignment(Qt::AlignRight);
    text.setParagraphStyle(style);
    return text;
}

void TimelineCellMessage::textViewDidLayout(const QTextDocument&, double width)
{
    rect_ = bubbleRect(width, textWidth_, textViewHeight(), isSentFromMe());
}
