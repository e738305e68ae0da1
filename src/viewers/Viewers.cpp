#include "viewers/Viewers.h"

#include "cells/AttachmentTypes.h"
#include "cells/MyTextAttachmentCell.h"
#include "cells/TimelineCellStatus.h"
#include "model/WeiboParser.h"
#include "platform/Browser.h"
#include "viewers/BigPicWindowController.h"
#include "viewers/VideoWindowController.h"

namespace {

QPointer<BigPicWindowController> bigPic;
QPointer<VideoWindowController> video;

QString qs(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

void Viewers::setWindowControllers(BigPicWindowController* bigPicController, VideoWindowController* videoController)
{
    bigPic = bigPicController;
    video = videoController;
}

BigPicWindowController* Viewers::bigPicWindowController()
{
    return bigPic.data();
}

VideoWindowController* Viewers::videoWindowController()
{
    return video.data();
}

bool Viewers::openAttachment(const std::shared_ptr<TimelineCellBase>& cellData, const MyTextAttachmentCell& cell)
{
    const auto* item = dynamic_cast<const TimelineCellStatus*>(cellData.get());
    if (!item || !item->status())
        return false;
    const boost::shared_ptr<weibo::WBStatus>& status = item->status();
    switch (cell.type()) {
    case AttachmentStatusPicture:
        return openPicture(cell, *status);
    case AttachmentRetweetPicture:
        return status->retweeted_status && openPicture(cell, *status->retweeted_status);
    case AttachmentVideo:
        return item->video() && openVideo(*item->video());
    case AttachmentRetweetVideo:
        return item->retweetVideo() && openVideo(*item->retweetVideo());
    default:
        return false;
    }
}

bool Viewers::openPicture(const MyTextAttachmentCell& thumbnail, const weibo::WBStatus& status)
{
    return openPicture(thumbnail.image(), thumbnail.data(), QUrl(qs(status.bmiddle_pic)), QUrl(qs(status.original_pic)));
}

bool Viewers::openPicture(const QImage& thumbnail, const QByteArray& data, const QUrl& middlePic,
                          const QUrl& originalPic)
{
    if (!bigPic || middlePic.isEmpty())
        return false;
    bigPic->setImage(thumbnail, data, middlePic, originalPic);
    return true;
}

bool Viewers::openVideo(const weibo::WBVideo& record)
{
    return openVideo(qs(record.title), qs(record.flash));
}

bool Viewers::openVideo(const QString& title, const QString& urlString)
{
    if (!video || !VideoWindowController::isAcceptableAddress(QUrl(urlString, QUrl::StrictMode)))
        return false;
    if (video->setVideo(urlString, title))
        return true;
    // The window cannot play it: the browser gets it, and the window says where it went (or that it could not).
    const bool opened = platform::Browser::openURL(QUrl(urlString));
    video->showOpenedElsewhere(urlString, title, opened);
    return opened;
}
