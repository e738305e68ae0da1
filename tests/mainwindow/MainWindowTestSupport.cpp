#include "MainWindowTestSupport.h"

#include "model/WeiboParser.h"
#include "platform/PlatformResources.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>

#include <boost/make_shared.hpp>

static ::testing::Environment* const mainWindowTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new MainWindowTestEnvironment);

void MainWindowTestEnvironment::SetUp()
{
    testsupport::ApplicationOptions options;
    options.name = "plumet-mainwindow-tests";
    options.privateFolders = true;
    options.bus = testsupport::SessionBus::Blocked;
    options.programNames = true;
    options.platformResources = true;
    options.drainQueues = true;
    testsupport::setUpApplication(options);
}

void MainWindowTestEnvironment::TearDown()
{
    testsupport::tearDownApplication();
}

void configureAddresses(const QString& base, const QString& staticImageHost)
{
    auto& defaults = platform::UserDefaults::standard();
    defaults.setObject(base, QStringLiteral("WeiboHost"));
    defaults.setObject(base + QStringLiteral("/2"), QStringLiteral("Weibo2Host"));
    defaults.setObject(base, QStringLiteral("WebHost"));
    defaults.setObject(staticImageHost.isEmpty() ? base : staticImageHost, QStringLiteral("StaticImageHost"));
}

int closedLoopbackPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const int port = server.serverPort();
    server.close();
    return port;
}
