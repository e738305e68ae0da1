#include "cells/TimelineCellStatus.h"

#include "cells/BidiText.h"
#include "cells/DateTimesince.h"
#include "cells/HotTextScanner.h"
#include "platform/URLConnection.h"

#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QPair>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <optional>

namespace {

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QTextBlockFormat rightAligned()
{
    QTextBlockFormat format;
    format.setAlignment(Qt::AlignRight);
    return format;
}

void appendCount(AttributedString& text, uint64_t count)
{
    if (count != 0)
        text.appendString(u' ' + QString::number(count));
}

// The height of the one picture `picture` holds (0 for none).
double pictureHeight(const AttributedString& picture)
{
    const auto cell = picture.isEmpty() ? std::nullopt : picture.attachmentAt(0);
    return cell ? cell->image().deviceIndependentSize().height() : 0.0;
}

// The picture raised on its line so that its top is `height` above the baseline, as the top of a taller
// picture beside it is.
AttributedString raisedTo(const AttributedString& picture, double height)
{
    const double own = pictureHeight(picture);
    if (own <= 0 || own >= height)
        return picture;
    MyTextAttachmentCell raised = *picture.attachmentAt(0);
    raised.setBaselineOffset(raised.baselineOffset() + height - own);
    return AttributedString::fromAttachment(raised);
}

// The toolbar icons, made once per thread (text is built on the main thread): every status shows four or
// five of them on every rebuild.
AttributedString icon(const char* name, int type)
{
    thread_local QHash<QPair<const char*, int>, AttributedString> made;
    // The icons take the size of the body font: made again after it changes.
    thread_local QFont madeFor;
    const QFont font = AttributedString::documentDefaultFont();
    if (font != madeFor) {
        made.clear();
        madeFor = font;
    }
    auto it = made.constFind(qMakePair(name, type));
    if (it == made.constEnd())
        it = made.insert(qMakePair(name, type), TimelineCellBase::makeAttachmentWithImage(
                                                    cellResourceImage(QString::fromLatin1(name)), type));
    return it.value();
}

// The posting client of a `source` fragment: its page and its name. Few clients post nearly everything, so
// the answers are kept by fragment (per thread, a bounded number).
struct Client {
    QUrl url;
    QString name;
};

Client clientOfSource(const QString& source)
{
    thread_local QHash<QString, Client> known;
    auto it = known.constFind(source);
    if (it != known.constEnd())
        return it.value();
    Client client;
    client.url = urlFromAddress(
        TimelineCellStatus::extractFromString(source, QStringLiteral("\""), QStringLiteral("\"")));
    client.name = TimelineCellStatus::extractFromString(source, QStringLiteral(">"), QStringLiteral("</a>"));
    if (known.size() >= 256)
        known.clear();
    known.insert(source, client);
    return client;
}

} // namespace

TimelineCellStatus::TimelineCellStatus(const boost::shared_ptr<weibo::WBStatus>& status)
    : status_(status)
{
    checkedURLPaths_.reserve(10);
}

uint64_t TimelineCellStatus::userIdNumber() const
{
    return status_ && status_->user ? status_->user->id : 0;
}

uint64_t TimelineCellStatus::entityId() const
{
    return status_ ? status_->id : 0;
}

QString TimelineCellStatus::entityName() const
{
    return status_ && status_->user ? displayName(qs(status_->user->screen_name)) : QString();
}

QString TimelineCellStatus::entityText() const
{
    return status_ ? neutralizeBidiControls(qs(status_->text)) : QString();
}

QString TimelineCellStatus::profileImageURLString() const
{
    return status_ && status_->user ? qs(status_->user->profile_image_url) : QString();
}

QString TimelineCellStatus::date() const
{
    return status_ ? timesinceForDateString(qs(status_->created_at)) : QString();
}

QDateTime TimelineCellStatus::createdAt() const
{
    return status_ ? dateFromServiceString(qs(status_->created_at)) : QDateTime();
}

bool TimelineCellStatus::isRemovable() const
{
    return status_ && status_->user && status_->user->id == CellContext::current().selfUserId();
}

TextShadow TimelineCellStatus::sharedShadow()
{
    return TextShadow::shared();
}

QString TimelineCellStatus::extractFromString(const QString& text, const QString& beginMark, const QString& endMark)
{
    const qsizetype begin = text.indexOf(beginMark);
    if (begin < 0)
        return {};
    // The begin mark counts as one character, whatever its length.
    const qsizetype from = begin + 1;
    const qsizetype end = text.indexOf(endMark, from);
    if (end < 0)
        return {};
    return text.mid(from, end - from);
}

AttributedString TimelineCellStatus::stringFromStatus(const boost::shared_ptr<weibo::WBStatus>& status,
                                                      bool retweet, bool& determinate)
{
    determinate = true;
    if (!status)
        return {};
    CellContext& context = CellContext::current();
    const Appearance& appearance = context.appearance();

    const QString name = status->user ? qs(status->user->screen_name) : QString();
    // Shown isolated; the link keeps the name as the service knows it.
    AttributedString text = AttributedString::fromLink(retweet ? u'@' + displayName(name) : displayName(name),
                                                       LinkValue::fromScreenName(name));
    text.setFont(appearance.headerFont());
    text.setSharedShadow();
    if (!retweet)
        context.addTotalName(name);
    if (status->user && status->user->verified) {
        AttributedString mark(QStringLiteral(" v"));
        mark.setForegroundColor(QColor::fromRgbF(1.0f, 0.5f, 0.0f, 1.0f));
        mark.setFont(appearance.headerFont());
        text.append(mark);
    }

    text.appendString(QStringLiteral("\n"));
    QStringList linkedPaths;
    AttributedString body = parseText(neutralizeBidiControls(qs(status->text)), retweet ? HotTextRetweet : HotTextStatus, &linkedPaths);
    body.setFont(appearance.bodyFont());
    body.setForegroundColor(appearance.bodyColor());
    text.append(body);
    lookUpVideos(linkedPaths, retweet ? HotTextRetweet : HotTextStatus);

    bool pictureFinal = true;
    AttributedString picture = parseImage(qs(status->thumbnail_pic),
                                          retweet ? AttachmentRetweetPicture : AttachmentStatusPicture, pictureFinal);
    bool videoFinal = true;
    AttributedString still;
    if (const boost::shared_ptr<weibo::WBVideo>& video = retweet ? retweetVideo_ : video_)
        still = parseImage(qs(video->screen), retweet ? AttachmentRetweetVideo : AttachmentVideo, videoFinal);
    // A picture and a video still side by side line up at their tops, not at the line's baseline.
    const double tops = std::max(pictureHeight(picture), pictureHeight(still));
    picture = raisedTo(picture, tops);
    still = raisedTo(still, tops);
    if (!picture.isEmpty()) {
        text.appendString(QStringLiteral("\n"));
        text.append(picture);
    }
    if (!still.isEmpty()) {
        text.appendString(picture.isEmpty() ? QStringLiteral("\n") : QStringLiteral(" "));
        text.append(still);
    }
    determinate = pictureFinal && videoFinal;

    text.setParagraphStyle(retweet ? appearance.restatusParagraphStyle() : appearance.statusParagraphStyle());
    return text;
}

AttributedString TimelineCellStatus::stringFromStatusFooter(const boost::shared_ptr<weibo::WBStatus>& status,
                                                            bool retweet)
{
    if (!status)
        return {};
    const Appearance& appearance = CellContext::current().appearance();
    AttributedString footer;
    // The status's own age is drawn by the list cell; the reposted one's goes here.
    if (retweet)
        footer.appendString(timesinceForDateString(qs(status->created_at)));

    const Client client = clientOfSource(qs(status->source));
    if (client.url.isValid() && !client.name.isEmpty()) {
        // "3 周前 来自Plumet": the age and the client are two facts, not one word.
        if (footer.length() > 0)
            footer.appendString(QStringLiteral(" "));
        footer.appendString(QStringLiteral("来自"));
        footer.appendLink(client.name, LinkValue::fromUrl(client.url));
    }
    footer.setSharedShadow();

    footer.appendString(QStringLiteral("   "));
    footer.append(stringFromStatusToolbar(status, retweet));
    footer.setForegroundColor(appearance.footerColor());
    footer.setFont(appearance.footerFont());
    footer.setParagraphStyle(retweet ? appearance.restatusFooterParagraphStyle() : rightAligned());
    return footer;
}

AttributedString TimelineCellStatus::stringFromStatusToolbar(const boost::shared_ptr<weibo::WBStatus>& status,
                                                             bool retweet)
{
    AttributedString toolbar;
    if (!status)
        return toolbar;
    const QString gap = QStringLiteral("  ");
    if (!retweet) {
        if (isRemovable()) {
            toolbar.append(icon("remove.png", AttachmentRemoveStatus));
            toolbar.appendString(gap);
        }
        toolbar.append(icon(status->favorited ? "cell_favorite_highlight.png" : "cell_favorite.png",
                            AttachmentFavorite));
        toolbar.appendString(gap);
        toolbar.append(icon("forword_icon.png", AttachmentStatusRepost));
        appendCount(toolbar, repostCount_);
        toolbar.appendString(gap);
        toolbar.append(icon("reply_icon.png", AttachmentStatusComments));
        appendCount(toolbar, commentCount_);
    } else {
        toolbar.append(icon("forword_icon.png", AttachmentRetweetRepost));
        appendCount(toolbar, originalRepostCount_);
        toolbar.appendString(gap);
        toolbar.append(icon("reply_icon.png", AttachmentRetweetComments));
        appendCount(toolbar, originalCommentCount_);
    }
    return toolbar;
}

AttributedString TimelineCellStatus::stringForTextView(bool& determinate)
{
    determinate = true;
    retweetStart_ = retweetEnd_ = -1;
    if (!status_)
        return {};
    bool statusFinal = true, retweetFinal = true;
    AttributedString text = stringFromStatus(status_, false, statusFinal);
    if (status_->retweeted_status) {
        text.appendString(QStringLiteral("\n\n"));
        AttributedString reposted = stringFromStatus(status_->retweeted_status, true, retweetFinal);
        reposted.appendString(QStringLiteral("\n"));
        reposted.append(stringFromStatusFooter(status_->retweeted_status, true));
        retweetStart_ = text.length();
        text.append(reposted);
        retweetEnd_ = text.length();
    }
    text.appendString(QStringLiteral("\n\n"));
    text.append(stringFromStatusFooter(status_, false));
    determinate = statusFinal && retweetFinal;
    return text;
}

void TimelineCellStatus::textViewDidLayout(const QTextDocument& document, double width)
{
    if (retweetStart_ < 0 || retweetEnd_ <= retweetStart_)
        return;
    // Paragraphs are laid out one below the other, each on its own, so the top of the reposted block is the
    // height of the status block followed by a line break, and the block's extent is its height alone.
    // A block's bounding rectangle leaves out the spacing below its last line, which the height of a text
    // ending there counts; the top of the next paragraph includes it.
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const double top = layout->blockBoundingRect(document.findBlock(retweetStart_)).top();
    const QTextBlock last = document.findBlock(retweetEnd_ - 1);
    const double bottom = last.next().isValid() ? layout->blockBoundingRect(last.next()).top()
                                                : layout->documentSize().height();
    const double h1 = top;
    const double h2 = bottom - top;
    retweetRect_ = QRectF(6, h1 - 8, width - 12, h2 + 16);
}

void TimelineCellStatus::lookUpVideos(const QStringList& paths, int type)
{
    for (const QString& path : paths) {
        if (checkedURLPaths_.contains(path))
            continue;
        checkedURLPaths_.insert(path);
        const QUrl infoURL = CellContext::current().shortURLInfoURL(path);
        if (!infoURL.isValid()) // no information page configured
            continue;
        // Asked without blocking the text build: the list reloads when the answer has been read, like a
        // picture that arrives.
        CellListController* list = listViewController();
        std::weak_ptr<void> listLifetime = list ? list->lifetime() : std::weak_ptr<void>();
        if (list)
            list->beginImageLoad();
        std::weak_ptr<TimelineCellBase> self = weakSelf();
        auto finished = [list, listLifetime] {
            if (list && !listLifetime.expired())
                list->defferedReloadData();
        };
        platform::URLConnection::asyncRequest(
            infoURL,
            [self, path, type, finished](const QByteArray& data) {
                if (!data.isEmpty()) {
                    const boost::shared_ptr<weibo::WBVideo> video =
                        weibo::parseVideo(data.toStdString(), path.toStdString());
                    const auto cell = std::static_pointer_cast<TimelineCellStatus>(self.lock());
                    if (video && video->isValid() && cell) {
                        (type == HotTextStatus ? cell->video_ : cell->retweetVideo_) = video;
                        cell->setRecalculateTextViewHeight(true);
                    }
                }
                finished();
            },
            [finished](const QString&) { finished(); });
    }
}
