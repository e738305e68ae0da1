#include "compose/CameraCapture.h"

#include "platform/AlertResponder.h"

#include <QCamera>
#include <QDialog>
#include <QHBoxLayout>
#include <QImageCapture>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVideoWidget>

bool CameraCapture::hasCamera()
{
    return !QMediaDevices::videoInputs().isEmpty();
}

QImage CameraCapture::takePicture(QWidget* parent)
{
    if (!hasCamera()) {
        platform::AlertResponder::alertWarning(noCameraMessage(), QString(), QString(), parent);
        return QImage();
    }
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("拍照"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* view = new QVideoWidget(&dialog);
    view->setMinimumSize(400, 296);
    layout->addWidget(view);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("取消"), &dialog);
    auto* shoot = new QPushButton(QStringLiteral("拍照"), &dialog);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(shoot);
    layout->addLayout(buttons);

    QCamera camera(QMediaDevices::defaultVideoInput());
    QImageCapture capture;
    QMediaCaptureSession session;
    session.setCamera(&camera);
    session.setImageCapture(&capture);
    session.setVideoOutput(view);
    QImage picture;
    QObject::connect(&capture, &QImageCapture::imageCaptured, &dialog, [&](int, const QImage& image) {
        picture = image;
        dialog.accept();
    });
    QObject::connect(&capture, &QImageCapture::errorOccurred, &dialog,
                     [&](int, QImageCapture::Error, const QString& error) {
                         platform::AlertResponder::alertWarning(QStringLiteral("拍照失败。"), error, QString(),
                                                                &dialog);
                     });
    QObject::connect(shoot, &QPushButton::clicked, &capture, [&] { capture.capture(); });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    camera.start();
    const int result = dialog.exec();
    camera.stop();
    if (result != QDialog::Accepted || picture.isNull())
        return QImage();
    if (picture.width() > kMaxSide || picture.height() > kMaxSide)
        picture = picture.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}
