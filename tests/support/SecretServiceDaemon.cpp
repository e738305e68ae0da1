#include "SecretServiceDaemon.h"

#include "PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>


namespace {

const QString kSecretsName = QStringLiteral("org.freedesktop.secrets");

bool hasSecretService(const QDBusConnection& connection)
{
    return connection.isConnected() && connection.interface()->isServiceRegistered(kSecretsName).value();
}

} // namespace

SecretServiceDaemon::SecretServiceDaemon(const PrivateSessionBus& bus, bool loginKeyring)
    : bus_(bus)
{
    if (!bus.isRunning() || !dir_.isValid()) {
        error_ = QStringLiteral("no private session bus");
        return;
    }
    const QDir dir(dir_.path());
    for (const char* sub : {"data", "runtime", "home"})
        dir.mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                        | QFileDevice::ExeOwner);

    // The login keyring's password; the daemon reads it to the end of its input.
    std::vector<std::string> argv{"gnome-keyring-daemon", "--foreground", "--components=secrets"};
    if (loginKeyring)
        argv.push_back("--unlock");
    if (!daemon_.start(argv, environment(), loginKeyring ? "plumet-test-keyring" : "")) {
        error_ = QStringLiteral("gnome-keyring-daemon did not start");
        return;
    }

    const QDBusConnection probe = bus.connect(QStringLiteral("secret-service-probe"));
    QElapsedTimer clock;
    clock.start();
    while (!hasSecretService(probe)) {
        const bool ended = !daemon_.running();
        if (ended || clock.elapsed() > 15000) {
            error_ = QStringLiteral("gnome-keyring-daemon did not take the Secret Service name (%1, exit %2, bus %3): ")
                         .arg(ended ? QStringLiteral("ended") : QStringLiteral("running"))
                         .arg(daemon_.exitCode())
                         .arg(probe.isConnected() ? QStringLiteral("connected") : probe.lastError().message())
                + QString::fromStdString(daemon_.readOutput(std::string(), 100));
            QDBusConnection::disconnectFromBus(QStringLiteral("secret-service-probe"));
            return;
        }
        // Its output must not fill the pipe while it starts.
        daemon_.readOutput(std::string(), 20);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("secret-service-probe"));
    running_ = true;
}

SecretServiceDaemon::~SecretServiceDaemon()
{
    if (!daemon_.running())
        return;
    daemon_.end();
    // Gone only once the bus says so: the next request must find no Secret Service.
    const QDBusConnection probe = bus_.connect(QStringLiteral("secret-service-probe"));
    QElapsedTimer clock;
    clock.start();
    while (hasSecretService(probe) && clock.elapsed() < 5000)
        QThread::msleep(20);
    QDBusConnection::disconnectFromBus(QStringLiteral("secret-service-probe"));
}

std::vector<std::string> SecretServiceDaemon::environment() const
{
    const QDir dir(dir_.path());
    return testsupport::environmentWith(
        {"DBUS_SESSION_BUS_ADDRESS=" + bus_.address().toStdString(),
         "XDG_DATA_HOME=" + dir.filePath(QStringLiteral("data")).toStdString(),
         "XDG_RUNTIME_DIR=" + dir.filePath(QStringLiteral("runtime")).toStdString(),
         "HOME=" + dir.filePath(QStringLiteral("home")).toStdString()},
        {"GNOME_KEYRING_CONTROL"});
}

QString SecretServiceDaemon::lookup(const QStringList& attributes) const
{
    std::vector<std::string> argv{"secret-tool", "lookup"};
    for (const QString& a : attributes)
        argv.push_back(a.toStdString());
    testsupport::ChildProcess tool;
    if (!tool.start(argv, environment()))
        return QString();
    const std::string out = tool.readOutput(std::string(), 10000);
    if (!tool.wait(10000) || tool.exitCode() != 0)
        return QString();
    return QString::fromStdString(out);
}
