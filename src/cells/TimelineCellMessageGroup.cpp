#include "cells/TimelineCellMessageGroup.h"

#include "cells/BidiText.h"

#include <algorithm>

TimelineCellMessageGroup::TimelineCellMessageGroup(const MessageCellArray& messages)
    : messages_(messages)
{
}

void TimelineCellMessageGroup::sortMessages()
{
    std::sort(messages_.begin(), messages_.end(),
              [](const MessageCellPtr& a, const MessageCellPtr& b) { return a->entityId() > b->entityId(); });
}

uint64_t TimelineCellMessageGroup::entityId() const
{
    return first() ? first()->entityId() : 0;
}

uint64_t TimelineCellMessageGroup::groupId() const
{
    return first() ? first()->otherId() : 0;
}

QString TimelineCellMessageGroup::entityName() const
{
    return first() ? displayName(first()->otherName()) : QString();
}

QString TimelineCellMessageGroup::profileImageURLString() const
{
    return first() ? first()->otherImageURLString() : QString();
}

QString TimelineCellMessageGroup::date() const
{
    if (!first() || !first()->message())
        return {};
    return TimelineCellMessage::localDateText(first()->message()->created_at, QStringLiteral("MM-dd HH:mm"));
}

int TimelineCellMessageGroup::unreadMessages() const
{
    return int(std::count_if(messages_.begin(), messages_.end(),
                             [](const MessageCellPtr& cell) { return cell->unread(); }));
}

void TimelineCellMessageGroup::clearUnreadMessages()
{
    // One's own replies are never unread: a reply written after the newest received messages does not hide
    // them from the walk, which stops at the first received message already read.
    for (const MessageCellPtr& cell : messages_) {
        if (cell->isSentFromMe()) {
            cell->setUnread(false);
            continue;
        }
        if (!cell->unread())
            break;
        cell->setUnread(false);
    }
}

AttributedString TimelineCellMessageGroup::stringForTextView(bool& determinate)
{
    determinate = true;
    if (!first())
        return {};
    const Appearance& appearance = CellContext::current().appearance();
    const QString name = first()->otherName();
    AttributedString text = AttributedString::fromLink(displayName(name), LinkValue::fromScreenName(name));
    text.appendString(QStringLiteral("\n"));
    text.append(parseText(first()->entityText(), HotTextPreview));
    text.setParagraphStyle(appearance.statusParagraphStyle());
    text.setFont(appearance.bodyFont());
    text.setForegroundColor(appearance.bodyColor());
    return text;
}
