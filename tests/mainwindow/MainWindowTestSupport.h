#pragma once
// What the main-window tests add to the shared support: one application with private settings, data and cache
// folders (so the resource folder is the test's own), the service addresses in the settings, a closed port.
#include "../support/DevServiceTest.h"
#include "mainwindow/MyWindowController.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "service/WeiboAPI.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
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
    static QString root() { return testsupport::root(); }
};

using testsupport::DevService;
using testsupport::makeClient;
using testsupport::useFreshSettingsAndData;

// Writes the service addresses into the standard settings.
void configureAddresses(const QString& base, const QString& staticImageHost = QString());

// A loopback port where nothing listens.
int closedLoopbackPort();

// A loopback server that accepts connections and never answers until told to hang up.
class SilentServer : public QTcpServer {
public:
    SilentServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection())
                sockets_.append(s);
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
    int connections() const { return int(sockets_.size()); }
    void hangUp()
    {
        close();
        for (QTcpSocket* s : sockets_)
            s->abort();
    }

private:
    QList<QTcpSocket*> sockets_;
};

