#pragma once

#include "cells/TimelineCellBase.h"
#include "model/WeiboParser.h"

#include <boost/shared_ptr.hpp>

// One comment: the commenter's name, the comment, and, depending on the list, the comment or status it
// answers, with its toolbar.
class TimelineCellComment : public TimelineCellBase {
public:
    explicit TimelineCellComment(const boost::shared_ptr<weibo::WBComment>& comment);

    const boost::shared_ptr<weibo::WBComment>& comment() const { return comment_; }

    uint64_t entityId() const override;
    QString entityName() const override;
    QString entityText() const override;
    QString profileImageURLString() const override;
    QString date() const override;
    QDateTime createdAt() const override;
    bool isRemovable() const override;

    AttributedString stringForTextView(bool& determinate) override;

private:
    boost::shared_ptr<weibo::WBComment> comment_;
};
