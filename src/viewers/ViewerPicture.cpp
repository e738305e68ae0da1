#include "viewers/ViewerPicture.h"

#include <QBuffer>
#include <QImageReader>

ViewerPicture ViewerPicture::fromData(const QByteArray& data)
{
    ViewerPicture picture;
    QByteArray bytes = data; // the buffer reads a shared copy
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const bool animation = reader.supportsAnimation();
    qint64 decoded = 0;
    while (reader.canRead()) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        decoded += frame.sizeInBytes();
        if (decoded > kMaxDecodedBytes && !picture.frames_.isEmpty())
            break;
        // The delay the reader gives after a frame is how long that frame stays up.
        const int delay = animation ? reader.nextImageDelay() : 0;
        picture.frames_.append(frame);
        picture.durations_.append(delay > 0 ? delay : kDefaultFrameMs);
        if (!animation)
            break;
    }
    return picture;
}

ViewerPicture ViewerPicture::fromImage(const QImage& image)
{
    ViewerPicture picture;
    if (!image.isNull() && image.width() > 0 && image.height() > 0) {
        picture.frames_.append(image);
        picture.durations_.append(kDefaultFrameMs);
    }
    return picture;
}

int ViewerPicture::totalDuration() const
{
    int total = 0;
    for (int d : durations_)
        total += d;
    return total;
}

QSize ViewerPicture::repSize() const
{
    return frames_.isEmpty() ? QSize() : frames_.first().size();
}
