#pragma once
// What the Qt test programs (and the benchmarks built like them) share: one application object with private
// settings, data and cache folders and, if asked, a private session bus; fresh settings per test; waiting with a
// deadline; the development service on an ephemeral loopback port and clients of the program's credentials.
#include "DevServerProcess.h"
#include "service/WeiboAPI.h"

#include <QString>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PrivateSessionBus;
class QCoreApplication;

// Pumps the main thread's events until pred holds or the deadline passes; answers pred.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 20000);

namespace testsupport {

// The program's consumer credentials, which the development service expects.
inline constexpr const char* kConsumerKey = "5127730916";
inline constexpr const char* kConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";

enum class SessionBus {
    Inherited, // whatever the environment names
    Blocked,   // an address where nothing listens
    Private,   // a dbus-daemon of the run's own (see bus())
};

struct ApplicationOptions {
    std::string name = "plumet-tests";
    // XDG_CONFIG_HOME, XDG_DATA_HOME ("data-0") and XDG_CACHE_HOME under the run's folder.
    bool privateFolders = false;
    SessionBus bus = SessionBus::Inherited;
    // The organisation and application names the program itself sets ("Plumet").
    bool programNames = false;
    // The standard settings reopened at <folder>/Plumet.ini, with the defaults of the resource registered.
    bool settingsFile = false;
    // The platform resources unpacked and their defaults registered.
    bool platformResources = false;
    // On tear-down: the main queue closed and the background queue waited for.
    bool drainQueues = false;
    // Builds the application object (a QApplication by default).
    std::function<QCoreApplication*(int& argc, char** argv)> make;
};

// Starts the one application of the run, with the browser refused; QSettings of the user scope go to the run's
// folder.
void setUpApplication(const ApplicationOptions& options);
void tearDownApplication();
// Puts in the run's browser, which opens nothing and answers false, so that no test ever starts a real one. A
// test that installs an opener of its own puts this one back when done.
void refuseBrowser();
// The run's private folder (and settings folder).
QString root();
// The private session bus, or none.
PrivateSessionBus* bus();

// Points the standard settings at a new, empty file; answers its path.
QString useFreshSettings();
// The same, and the resource folder at a new, empty data folder.
void useFreshSettingsAndData();

// A client of the program's consumer credentials with the given token, pointed at `base` (version 2 under "/2").
boost::shared_ptr<weibo::SinaWeibo> makeClient(const QString& base, const QString& token = QString(),
                                               const QString& secret = QString());

// The development service for Qt tests.
class DevService {
public:
    DevService() = default;
    bool isRunning() const { return process_.ready(); }
    QString error() const { return QString::fromStdString(process_.error()); }
    QString value(const QString& key) const { return QString::fromStdString(process_.value(key.toStdString())); }
    QString base() const { return value(QStringLiteral("WeiboHost")); }
    int port() const;
    std::uint64_t demoUserId() const { return value(QStringLiteral("DemoUserId")).toULongLong(); }
    // The demo account, by its printed token.
    boost::shared_ptr<weibo::SinaWeibo> demoClient() const;
    // A seeded person (the demo account when empty; every password is the demo's), signed in by xAuth; none
    // when the sign-in fails.
    boost::shared_ptr<weibo::SinaWeibo> personClient(const std::string& login = std::string()) const;
    // The demo account's home timeline, newest first (up to 200 ids).
    std::vector<std::uint64_t> homeTimelineIds() const;
    // Writes its addresses into the standard settings.
    void configureSettings() const;

private:
    DevServerProcess process_;
};

} // namespace testsupport
