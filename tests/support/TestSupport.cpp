#include "TestSupport.h"

#include "PrivateSessionBus.h"
#include "ScriptedAlertResponder.h"
#include "model/WeiboParser.h"
#include "platform/Browser.h"
#include "platform/Dispatch.h"
#include "platform/PlatformResources.h"
#include "platform/URLConnection.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <boost/make_shared.hpp>

#include <memory>

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
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

namespace testsupport {

namespace {

std::unique_ptr<QTemporaryDir> runFolder;
// Answers any alert no test asked to see (a background failure in a test that runs without a service, say): a
// real modal dialog would wait for a click that never comes. Tests that look at alerts install their own on top.
std::unique_ptr<platform::ScriptedAlertResponder> unaskedAlerts;
std::unique_ptr<PrivateSessionBus> privateBus;
std::unique_ptr<QCoreApplication> application;
bool drain = false;
int settingsSerial = 0;

} // namespace

void refuseBrowser()
{
    platform::Browser::setOpener([](const QUrl&) { return false; });
}

void setUpApplication(const ApplicationOptions& options)
{
    runFolder = std::make_unique<QTemporaryDir>();
    const QDir dir(runFolder->path());
    if (options.privateFolders) {
        // Nothing of the user's: configuration, data and cache are all private to the run.
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data-0")).toUtf8());
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    }
    if (options.bus == SessionBus::Blocked)
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/plumet-test-bus");
    else if (options.bus == SessionBus::Private)
        privateBus = std::make_unique<PrivateSessionBus>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, runFolder->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, runFolder->path());
    static int argc = 1;
    static std::string programName;
    programName = options.name;
    static char* argv[] = {programName.data(), nullptr};
    application.reset(options.make ? options.make(argc, argv) : new QApplication(argc, argv));
    unaskedAlerts = std::make_unique<platform::ScriptedAlertResponder>();
    refuseBrowser();
    if (options.programNames) {
        QCoreApplication::setOrganizationName(QStringLiteral("Plumet"));
        QCoreApplication::setApplicationName(QStringLiteral("Plumet"));
    }
    if (options.settingsFile)
        platform::UserDefaults::standard().reopen(dir.filePath(QStringLiteral("Plumet.ini")));
    if (options.platformResources)
        platform::ensurePlatformResources();
    if (options.settingsFile || options.platformResources)
        platform::UserDefaults::standard().registerDefaultsFromResource();
    drain = options.drainQueues;
}

void tearDownApplication()
{
    // Downloads still under way (a picture of a row a test left on screen) end first: a network manager that goes
    // with a request in its thread leaves that request's objects behind, and the leak check would report them.
    if (application)
        waitUntil([] { return platform::URLConnection::activeTransfers() == 0; }, 5000);
    if (drain) {
        // Nothing may wait on the main queue while the application goes.
        platform::closeMainQueue();
        platform::waitForGlobalQueue(30000);
    }
    unaskedAlerts.reset();
    application.reset();
    privateBus.reset();
    runFolder.reset();
}

QString root()
{
    return runFolder->path();
}

PrivateSessionBus* bus()
{
    return privateBus.get();
}

QString useFreshSettings()
{
    const QString path = QDir(root()).filePath(QStringLiteral("settings-%1/Plumet.conf").arg(++settingsSerial));
    platform::UserDefaults::standard().reopen(path);
    return path;
}

void useFreshSettingsAndData()
{
    useFreshSettings();
    // The resource folder follows the application-data location, which follows XDG_DATA_HOME.
    qputenv("XDG_DATA_HOME", QDir(root()).filePath(QStringLiteral("data-%1").arg(settingsSerial)).toUtf8());
}

boost::shared_ptr<weibo::SinaWeibo> makeClient(const QString& base, const QString& token, const QString& secret)
{
    auto client = boost::make_shared<weibo::SinaWeibo>();
    client->oAuth().setConsumerKey(kConsumerKey);
    client->oAuth().setConsumerSecret(kConsumerSecret);
    client->oAuth().setOAuthTokenKey(token.toStdString());
    client->oAuth().setOAuthTokenSecret(secret.toStdString());
    client->setBaseUrls(base.toStdString(), (base + QStringLiteral("/2")).toStdString());
    return client;
}

int DevService::port() const
{
    return QUrl(base()).port();
}

boost::shared_ptr<weibo::SinaWeibo> DevService::demoClient() const
{
    return makeClient(base(), value(QStringLiteral("DemoAccessToken")), value(QStringLiteral("DemoAccessTokenSecret")));
}

boost::shared_ptr<weibo::SinaWeibo> DevService::personClient(const std::string& login) const
{
    auto client = makeClient(base());
    const std::string password = process_.value("DemoPassword");
    if (!client->acquireOAuthAccessToken(login.empty() ? process_.value("DemoLogin") : login, password))
        return {};
    return client;
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

void DevService::configureSettings() const
{
    auto& defaults = platform::UserDefaults::standard();
    for (const char* key : {"WeiboHost", "Weibo2Host", "WebHost", "StaticImageHost"})
        defaults.setObject(value(QString::fromLatin1(key)), QString::fromLatin1(key));
    defaults.setObject(value(QStringLiteral("FeedbackURL")), QStringLiteral("FeedbackURL"));
    defaults.synchronize();
}

} // namespace testsupport
