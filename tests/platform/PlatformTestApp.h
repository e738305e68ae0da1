#pragma once
// One application object for the whole test program, created after the private session bus so that nothing in
// the program can reach the desktop's bus; plus waiting with a deadline.
#include "PrivateSessionBus.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSettings>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class PlatformTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        bus_ = std::make_unique<PrivateSessionBus>();
        static int argc = 1;
        static char name[] = "plumet-platform-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        // Settings of this program go to a folder of its own, never the user's configuration.
        settingsDir_ = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_->path());
    }
    void TearDown() override
    {
        app_.reset();
        bus_.reset();
        settingsDir_.reset();
    }
    static PrivateSessionBus* bus() { return bus_.get(); }
    static QString settingsFolder() { return settingsDir_->path(); }

private:
    static inline std::unique_ptr<PrivateSessionBus> bus_;
    static inline std::unique_ptr<QApplication> app_;
    static inline std::unique_ptr<QTemporaryDir> settingsDir_;
};

// Pumps the main thread's events until pred holds or the deadline passes; answers pred.
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return pred();
        QEventLoop loop; // sleeps until an event comes or 5 ms pass, instead of spinning
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
