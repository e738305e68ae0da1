#pragma once
// Taking a picture with the camera for a new status: a small capture dialog on Qt Multimedia. Without a
// camera it says so and gives nothing.
#include <QImage>
#include <QString>

class QWidget;

class CameraCapture {
public:
    // The largest picture handed on; a larger frame is scaled down to fit.
    static constexpr int kMaxSide = 2000;

    static bool hasCamera();
    // The picture taken, or a null image when the user cancelled or there is no camera (which is told).
    static QImage takePicture(QWidget* parent);
    // The alert shown when there is no camera.
    static QString noCameraMessage() { return QStringLiteral("没有找到可用的摄像头。"); }
};
