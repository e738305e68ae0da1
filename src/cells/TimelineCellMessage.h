#pragma once

#include "cells/TimelineCellBase.h"
#include "model/WeiboParser.h"

#include <QRectF>

#include <boost/shared_ptr.hpp>

// One direct message as a chat bubble: the signed-in user's short messages sit at the right, the other user's
// at the left, long ones of either side fill the width.
class TimelineCellMessage : public TimelineCellBase {
public:
    explicit TimelineCellMessage(const boost::shared_ptr<weibo::WBMessage>& message);

    const boost::shared_ptr<weibo::WBMessage>& message() const { return message_; }

    // Not yet seen; set and cleared by the conversation engine and the message windows (main thread).
    bool unread() const { return unread_; }
    void setUnread(bool unread) { unread_ = unread; }

    // The bubble of the message, computed with the height.
    QRectF rect() const { return rect_; }

    uint64_t entityId() const override;
    QString entityText() const override;
    // The other user's name.
    QString entityName() const override { return otherName(); }
    // The signed-in user's own avatar in the message (sender when sent by them, else recipient).
    QString profileImageURLString() const override;
    // "%m-%d\n%H:%M" in local time.
    QString date() const override;

    bool isSentFromMe() const;
    bool isWrittenBySelf() const override { return isSentFromMe(); }
    uint64_t otherId() const;
    QString otherName() const;
    QString otherImageURLString() const;
    QImage otherProfileImage();

    AttributedString stringForMessageText() const;
    AttributedString stringForTextView(bool& determinate) override;

    // The bubble for a text of natural width `textWidth` and height `textHeight` in a list `width` wide: narrow
    // (textWidth + 10) at the right edge less 12 for the user's own message, at x 12 for the other's, when
    // width - 24 > textWidth + 24; otherwise width - 24 wide at x 12. Height textHeight + 10, y 0.
    static QRectF bubbleRect(double width, double textWidth, double textHeight, bool sentFromMe);
    // Whether the text is right-aligned in the bubble.
    static bool alignsRight(double width, double textWidth, bool sentFromMe);
    // A service date written with `format` in local time; empty when it cannot be read.
    static QString localDateText(const std::string& serviceDate, const QString& format);

protected:
    void textViewDidLayout(const QTextDocument& document, double width) override;

private:
    boost::shared_ptr<weibo::WBMessage> message_;
    bool unread_ = false;
    QRectF rect_;
    double textWidth_ = 0; // of the last text built
};
