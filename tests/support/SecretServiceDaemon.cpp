#include "SecretServiceDaemon.h"

#include "PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

const QString kSecretsName = QStringLiteral("org.freedesktop.secrets");

bool hasSecretService(const QDBusConnection& connection)
{
    return connection.isConnected() && connection.interface()->isServiceRegistered(kSecretsName).value();
}

} // namespace

SecretServiceDaemon::SecretServiceDaemon(const PrivateSessionBus& bus)
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

    daemon_ = std::make_unique<QProcess>();
    daemon_->setProcessEnvironment(environment());
    daemon_->setProgram(QStringLiteral("gnome-keyring-daemon"));
    daemon_->setArguments({QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                           QStringLiteral("--components=secrets")});
    daemon_->setProcessChannelMode(QProcess::MergedChannels);
    // The daemon goes with the test even when the test dies.
    daemon_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_->start();
    if (!daemon_->waitForStarted(5000)) {
        error_ = QStringLiteral("gnome-keyring-daemon did not start: ") + daemon_->errorString();
        return;
    }
    // The login keyring's password; the daemon reads it to the end of its input.
    daemon_->write("plumet-test-keyring");
    daemon_->waitForBytesWritten(5000);
    daemon_->closeWriteChannel();

    const QDBusConnection probe = bus.connect(QStringLiteral("secret-service-probe"));
    QElapsedTimer clock;
    clock.start();
    while (!hasSecretService(probe)) {
        if (daemon_->state() == QProcess::NotRunning || clock.elapsed() > 15000) {
            error_ = QStringLiteral("gnome-keyring-daemon did not take the Secret Service name (%1, exit %2, bus %3): ")
                         .arg(daemon_->state() == QProcess::NotRunning ? QStringLiteral("ended")
                                                                       : QStringLiteral("running"))
                         .arg(daemon_->exitCode())
                         .arg(probe.isConnected() ? QStringLiteral("connected") : probe.lastError().message())
                + QString::fromLocal8Bit(daemon_->readAll());
            QDBusConnection::disconnectFromBus(QStringLiteral("secret-service-probe"));
            return;
        }
        QThread::msleep(20);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("secret-service-probe"));
    running_ = true;
}

SecretServiceDaemon::~SecretServiceDaemon()
{
    if (!daemon_ || daemon_->state() == QProcess::NotRunning)
        return;
    daemon_->terminate();
    if (!daemon_->waitForFinished(5000))
        daemon_->kill();
    daemon_->waitForFinished(5000);
    // Gone only once the bus says so: the next request must find no Secret Service.
    const QDBusConnection probe = bus_.connect(QStringLiteral("secret-service-probe"));
    QElapsedTimer clock;
    clock.start();
    while (hasSecretService(probe) && clock.elapsed() < 5000)
        QThread::msleep(20);
    QDBusConnection::disconnectFromBus(QStringLiteral("secret-service-probe"));
}

QProcessEnvironment SecretServiceDaemon::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QDir dir(dir_.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.address());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    env.remove(QStringLiteral("GNOME_KEYRING_CONTROL"));
    return env;
}

QString SecretServiceDaemon::lookup(const QStringList& attributes) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("lookup")} + attributes);
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        return QString();
    return QString::fromUtf8(tool.readAllStandardOutput());
}
