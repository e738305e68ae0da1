#pragma once

#include "cells/TimelineCellMessage.h"

// One conversation: the message cells exchanged with one other user, previewing the newest.
class TimelineCellMessageGroup : public TimelineCellBase {
public:
    // Keeps the cells as given (unsorted).
    explicit TimelineCellMessageGroup(const MessageCellArray& messages);

    const MessageCellArray& messages() const { return messages_; }
    void setMessages(const MessageCellArray& messages) { messages_ = messages; }
    // Orders the cells by entity id, newest first.
    void sortMessages();

    // Everything below reads the first cell (the newest, once sorted).
    uint64_t entityId() const override;
    // The other user's id: conversations are keyed by it.
    uint64_t groupId() const;
    QString entityName() const override;
    // The other user's avatar.
    QString profileImageURLString() const override;
    // "%m-%d %H:%M" in local time.
    QString date() const override;

    int unreadMessages() const;
    // Clears `unread` from the newest cell on, up to the first cell already read.
    void clearUnreadMessages();

    // The other user's name, a line break and the newest message with only emotions and emoji as pictures.
    AttributedString stringForTextView(bool& determinate) override;

private:
    const TimelineCellMessage* first() const { return messages_.empty() ? nullptr : messages_.front().get(); }

    MessageCellArray messages_;
};
