#pragma once
// What the main-window tests share: one application with private settings, data and cache folders (so the
// resource folder is the test's own), a fresh settings file and data folder per test, waiting with a deadline,
// and the development service on an ephemeral loopback port with its demo account.
#include "mainwindow/MyWindowController.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "service/WeiboAPI.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

class MainWindowTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static QString root();

private:
    static inline std::unique_ptr<QTemporaryDir> root_;
    static inline std::unique_ptr<QApplication> app_;
};

// Pumps the main thread's events until pred holds or the deadline passes; answers pred.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 20000);

// Points the standard settings at a new, empty file and the resource folder at a new, empty data folder.
void useFreshSettingsAndData();

// A client of the consumer credentials with the given token, pointed at `base` (version 2 under "/2").
boost::shared_ptr<weibo::SinaWeibo> makeClient(const QString& base, const QString& token = QString(),
                                               const QString& secret = QString());

// Writes the service addresses into the standard settings.
void configureAddresses(const QString& base, const QString& staticImageHost = QString());

// The development service, started from PLUMET_DEVSERVER on a free loopback port with a database of its own.
class DevService {
public:
    DevService();
    ~DevService();
    bool isRunning() const { return running_; }
    QString error() const { return error_; }
    QString value(const QString& key) const { return values_.value(key); }
    QString base() const { return value(QStringLiteral("WeiboHost")); }
    // A client signed in as the demo account.
    boost::shared_ptr<weibo::SinaWeibo> demoClient() const;
    // The demo account's home timeline, newest first (up to 200 ids).
    std::vector<std::uint64_t> homeTimelineIds() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    QHash<QString, QString> values_;
    bool running_ = false;
    QString error_;
};

// A loopback port where nothing listens.
int closedLoopbackPort();
