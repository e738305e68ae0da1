#include "MainWindowTestSupport.h"

#include "model/WeiboParser.h"
#include "platform/PlatformResources.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>

#include <boost/make_shared.hpp>

namespace {

// The program's consumer credentials, which the development service expects.
constexpr const char* kTestConsumerKey = "5127730916";
constexpr const char* kTestConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";

} // namespace

static ::testing::Environment* const mainWindowTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new MainWindowTestEnvironment);

void MainWindowTestEnvironment::SetUp()
{
    root_ = std::make_unique<QTemporaryDir>();
    // Nothing of the user's: configuration, data, cache and the session bus are all private to the run.
    qputenv("XDG_CONFIG_HOME", QDir(root_->path()).filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir(root_->path()).filePath(QStringLiteral("data-0")).toUtf8());
    qputenv("XDG_CACHE_HOME", QDir(root_->path()).filePath(QStringLiteral("cache")).toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/plumet-test-bus");
    qputenv("PLUMET_NO_BROWSER", "1");
    static int argc = 1;
    static char name[] = "plumet-mainwindow-tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Plumet"));
    QApplication::setApplicationName(QStringLiteral("Plumet"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root_->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root_->path());
    platform::ensurePlatformResources();
    platform::UserDefaults::standard().registerDefaultsFromResource();
}

void MainWindowTestEnvironment::TearDown()
{
    platform::closeMainQueue();
    platform::waitForGlobalQueue(30000);
    app_.reset();
}

QString MainWindowTestEnvironment::root()
{
    return root_->path();
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
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

void useFreshSettingsAndData()
{
    static int serial = 0;
    ++serial;
    const QDir root(MainWindowTestEnvironment::root());
    platform::UserDefaults::standard().reopen(root.filePath(QStringLiteral("settings-%1/Plumet.conf").arg(serial)));
    // The resource folder follows the application-data location, which follows XDG_DATA_HOME.
    qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data-%1").arg(serial)).toUtf8());
}

boost::shared_ptr<weibo::SinaWeibo> makeClient(const QString& base, const QString& token, const QString& secret)
{
    auto client = boost::make_shared<weibo::SinaWeibo>();
    client->oAuth().setConsumerKey(kTestConsumerKey);
    client->oAuth().setConsumerSecret(kTestConsumerSecret);
    client->oAuth().setOAuthTokenKey(token.toStdString());
    client->oAuth().setOAuthTokenSecret(secret.toStdString());
    client->setBaseUrls(base.toStdString(), (base + QStringLiteral("/2")).toStdString());
    return client;
}

void configureAddresses(const QString& base, const QString& staticImageHost)
{
    auto& defaults = platform::UserDefaults::standard();
    defaults.setObject(base, QStringLiteral("WeiboHost"));
    defaults.setObject(base + QStringLiteral("/2"), QStringLiteral("Weibo2Host"));
    defaults.setObject(base, QStringLiteral("WebHost"));
    defaults.setObject(staticImageHost.isEmpty() ? base : staticImageHost, QStringLiteral("StaticImageHost"));
}

DevService::DevService()
{
    const QString program = qEnvironmentVariable("PLUMET_DEVSERVER");
    if (program.isEmpty()) {
        error_ = QStringLiteral("PLUMET_DEVSERVER is not set");
        return;
    }
    process_.setProgram(program);
    process_.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                           dir_.filePath(QStringLiteral("dev.sqlite"))});
    process_.start();
    if (!process_.waitForStarted(10000)) {
        error_ = process_.errorString();
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000 && process_.state() == QProcess::Running) {
        if (!process_.canReadLine() && !process_.waitForReadyRead(500))
            continue;
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (line == QLatin1String("Ready")) {
                running_ = true;
                return;
            }
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                values_.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    error_ = QStringLiteral("no Ready line: ") + QString::fromUtf8(process_.readAllStandardError());
}

DevService::~DevService()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

boost::shared_ptr<weibo::SinaWeibo> DevService::demoClient() const
{
    return makeClient(base(), value(QStringLiteral("DemoAccessToken")), value(QStringLiteral("DemoAccessTokenSecret")));
}

std::vector<std::uint64_t> DevService::homeTimelineIds() const
{
    weibo::SinaWeiboOptions options;
    options.count_ = 200;
    std::vector<std::uint64_t> ids;
    for (const auto& status : weibo::parseString<weibo::WBStatus>(demoClient()->timelineFriends(options)))
        ids.push_back(status->id);
    return ids;
}

int closedLoopbackPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const int port = server.serverPort();
    server.close();
    return port;
}
