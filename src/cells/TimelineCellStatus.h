#pragma once

#include "cells/TimelineCellBase.h"
#include "model/WeiboParser.h"

#include <QRectF>
#include <QSet>

#include <boost/shared_ptr.hpp>

// One status of a timeline: name line, text, picture, video still, the reposted status in its box, the footer
// with the posting client and the toolbar.
class TimelineCellStatus : public TimelineCellBase {
public:
    explicit TimelineCellStatus(const boost::shared_ptr<weibo::WBStatus>& status);

    const boost::shared_ptr<weibo::WBStatus>& status() const { return status_; }
    // The author's id.
    uint64_t userIdNumber() const;

    // Where the box behind the reposted status goes, in text coordinates; set when the height is computed.
    QRectF retweetRect() const { return retweetRect_; }

    uint64_t commentCount() const { return commentCount_; }
    void setCommentCount(uint64_t n) { commentCount_ = n; }
    uint64_t repostCount() const { return repostCount_; }
    void setRepostCount(uint64_t n) { repostCount_ = n; }
    uint64_t originalCommentCount() const { return originalCommentCount_; }
    void setOriginalCommentCount(uint64_t n) { originalCommentCount_ = n; }
    uint64_t originalRepostCount() const { return originalRepostCount_; }
    void setOriginalRepostCount(uint64_t n) { originalRepostCount_ = n; }

    // Found by the short-address lookup of the status's own text and of the reposted text.
    const boost::shared_ptr<weibo::WBVideo>& video() const { return video_; }
    const boost::shared_ptr<weibo::WBVideo>& retweetVideo() const { return retweetVideo_; }
    // The short-address paths already looked up (only grows).
    const QSet<QString>& checkedURLPaths() const { return checkedURLPaths_; }

    uint64_t entityId() const override;
    QString entityName() const override;
    QString entityText() const override;
    QString profileImageURLString() const override;
    QString date() const override;
    QDateTime createdAt() const override;
    bool isRemovable() const override;

    AttributedString stringForTextView(bool& determinate) override;

    // The name line, text, picture and video still of the status (retweet false) or of the reposted status.
    AttributedString stringFromStatus(const boost::shared_ptr<weibo::WBStatus>& status, bool retweet,
                                      bool& determinate);
    AttributedString stringFromStatusFooter(const boost::shared_ptr<weibo::WBStatus>& status, bool retweet);
    AttributedString stringFromStatusToolbar(const boost::shared_ptr<weibo::WBStatus>& status, bool retweet);
    // What lies between the first `beginMark` and the first `endMark` after it; empty when either is missing.
    static QString extractFromString(const QString& text, const QString& beginMark, const QString& endMark);

    // The shadow of names and footers: offset (0, -1), blur radius 2, white.
    static TextShadow sharedShadow();

protected:
    void textViewDidLayout(const QTextDocument& document, double width) override;

private:
    void lookUpVideos(const QStringList& paths, int type);

    boost::shared_ptr<weibo::WBStatus> status_;
    QRectF retweetRect_;
    uint64_t commentCount_ = 0, repostCount_ = 0, originalCommentCount_ = 0, originalRepostCount_ = 0;
    boost::shared_ptr<weibo::WBVideo> video_, retweetVideo_;
    QSet<QString> checkedURLPaths_;
    // Where the reposted block (with its footer) lies in the last text built; start < 0 when there is none.
    int retweetStart_ = -1, retweetEnd_ = -1;
};

// A favourite: a status cell that shows no age.
class TimelineCellFavorite : public TimelineCellStatus {
public:
    using TimelineCellStatus::TimelineCellStatus;
    QString date() const override { return {}; }
};
