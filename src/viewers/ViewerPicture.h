#pragma once
// A picture as the viewer shows it: every frame of the decoded bytes with the time each one stays up, the pixel
// size of the first frame and the size it is drawn at.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

class ViewerPicture {
public:
    // A frame that declares no duration stays up this long.
    static constexpr int kDefaultFrameMs = 100;
    // Decoding stops adding frames past this many decoded bytes, so a hostile animation cannot fill the memory.
    static constexpr qint64 kMaxDecodedBytes = 256LL * 1024 * 1024;

    ViewerPicture() = default;
    // Decodes the bytes ignoring any orientation tag. Bytes that are not a picture give a null picture.
    static ViewerPicture fromData(const QByteArray& data);
    // A still picture.
    static ViewerPicture fromImage(const QImage& image);

    bool isNull() const { return frames_.isEmpty(); }
    bool isAnimated() const { return frames_.size() > 1; }
    const QList<QImage>& frames() const { return frames_; }
    // Milliseconds per frame, one entry per frame.
    const QList<int>& frameDurations() const { return durations_; }
    int totalDuration() const;
    // The pixel width and height of the first frame; empty for a null picture.
    QSize repSize() const;
    // The size the picture is drawn at (its pixel size until the fitting changes it).
    QSize size() const { return size_.isEmpty() ? repSize() : size_; }
    void setSize(const QSize& size) { size_ = size; }

private:
    QList<QImage> frames_;
    QList<int> durations_;
    QSize size_;
};
