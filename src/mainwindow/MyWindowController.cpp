#include "mainwindow/MyWindowController.h"

MyWindowController::MyWindowController(const QString& windowNibName,
                                       boost::shared_ptr<weibo::SinaWeibo> weiboInstance, QWidget* parent)
    : QMainWindow(parent)
    , weibo_(std::move(weiboInstance))
{
    setObjectName(windowNibName);
    setWindowTitle(QStringLiteral("Plumet"));
    resize(480, 640);
}

void MyWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
}

void MyWindowController::cleanup() {}

void MyWindowController::fontSettingChanged() {}
