#pragma once
// What the application-shell tests share: one application object with private settings and data folders, a
// fresh settings file per test, the development service on an ephemeral loopback port, and waiting with a
// deadline.
#include "app/AuthWindowController.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class AppTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        root_ = std::make_unique<QTemporaryDir>();
        // Nothing of the user's: configuration, data, cache and the session bus are all private to the run.
        qputenv("XDG_CONFIG_HOME", QDir(root_->path()).filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", QDir(root_->path()).filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CACHE_HOME", QDir(root_->path()).filePath(QStringLiteral("cache")).toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/plumet-test-bus");
        qputenv("PLUMET_NO_BROWSER", "1");
        static int argc = 1;
        static char name[] = "plumet-app-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setOrganizationName(QStringLiteral("Plumet"));
        QApplication::setApplicationName(QStringLiteral("Plumet"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root_->path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root_->path());
    }
    void TearDown() override
    {
        platform::closeMainQueue();
        app_.reset();
    }
    static QString root() { return root_->path(); }

private:
    static inline std::unique_ptr<QTemporaryDir> root_;
    static inline std::unique_ptr<QApplication> app_;
};

// Pumps the main thread's events until pred holds or the deadline passes; answers pred.
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return pred();
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Points the standard settings at a new, empty file of its own.
QString useFreshSettings();

// The visible authorisation window, or none.
AuthWindowController* visibleAuthWindow();

// Runs `drive` on the authorisation window once it is up (from inside its modal loop). When no such window comes
// within the deadline `drive` runs with none.
void whenAuthWindowShows(std::function<void(AuthWindowController*)> drive, int timeoutMs = 10000);

// The development service, started from PLUMET_DEVSERVER on a free loopback port with a database of its own.
class DevService {
public:
    DevService();
    ~DevService();
    bool isRunning() const { return running_; }
    QString error() const { return error_; }
    // The "Key=value" lines it printed: WeiboHost, Weibo2Host, DemoLogin, DemoPassword, DemoUserId, ...
    QString value(const QString& key) const { return values_.value(key); }
    // Writes its addresses into the standard settings.
    void configureSettings() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QHash<QString, QString> values_;
    bool running_ = false;
    QString error_;
};
