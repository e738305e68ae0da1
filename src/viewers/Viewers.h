#pragma once
// The entry point for a list row's picture and video controls: the application delegate registers the two viewer
// windows it made, and the row's click reaches them here.
#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

class BigPicWindowController;
class MyTextAttachmentCell;
class TimelineCellBase;
class VideoWindowController;

namespace weibo {
struct WBStatus;
struct WBVideo;
} // namespace weibo

class Viewers {
public:
    static void setWindowControllers(BigPicWindowController* bigPic, VideoWindowController* video);
    static BigPicWindowController* bigPicWindowController();
    static VideoWindowController* videoWindowController();

    // A click on a row's picture or video still (attachment types 1, 2, 11 and 12) of the item `cellData`:
    // opens the viewer that belongs to it. False for other attachments and items without that picture or video.
    static bool openAttachment(const std::shared_ptr<TimelineCellBase>& cellData, const MyTextAttachmentCell& cell);

    // A status's picture: the row's thumbnail cell and the status that carries the picture (the reposted one
    // for a repost's picture). False when there is no viewer or no picture.
    static bool openPicture(const MyTextAttachmentCell& thumbnail, const weibo::WBStatus& status);
    static bool openPicture(const QImage& thumbnail, const QByteArray& data, const QUrl& middlePic,
                            const QUrl& originalPic);
    // A video: its player page under its title. When the web engine cannot be loaded the page opens in the
    // browser instead.
    static bool openVideo(const weibo::WBVideo& video);
    static bool openVideo(const QString& title, const QString& urlString);
};
