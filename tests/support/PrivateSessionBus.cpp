#include "PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QFile>


PrivateSessionBus::PrivateSessionBus()
{
    // Whatever happens below, this process must never fall back to the desktop's bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=/nonexistent/plumet-test-bus"));
    if (!dir_.isValid())
        return;
    const QString config = dir_.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QStringLiteral(
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n"
                   "  <type>session</type>\n"
                   "  <listen>unix:dir=%1</listen>\n"
                   "  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n")
                   .arg(dir_.path())
                   .toUtf8());
    file.close();

    if (!daemon_.start({"dbus-daemon", "--config-file=" + config.toStdString(), "--nofork", "--print-address=1"}))
        return;
    std::string out = daemon_.readOutput("\n", 5000);
    const QByteArray line = QByteArray::fromStdString(out.substr(0, out.find('\n') + 1));
    address_ = line.endsWith('\n') ? QString::fromUtf8(line).trimmed() : QString();
    if (!address_.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
}

PrivateSessionBus::~PrivateSessionBus()
{
    daemon_.end();
}

QDBusConnection PrivateSessionBus::connect(const QString& name) const
{
    return QDBusConnection::connectToBus(address_, name);
}

NotificationListener::NotificationListener(QDBusConnection connection)
    : connection_(connection)
{
    registered_ = connection_.registerService(QStringLiteral("org.freedesktop.Notifications"))
        && connection_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                      QDBusConnection::ExportScriptableSlots);
}

NotificationListener::~NotificationListener()
{
    answerAll();
    connection_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    connection_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
}

uint NotificationListener::Notify(const QString& appName, uint, const QString& icon, const QString& summary,
                                  const QString& body, const QStringList& actions, const QVariantMap& hints,
                                  int timeout)
{
    const uint id = nextId_++;
    calls.append(Call{appName, icon, summary, body, hints, timeout, actions, id});
    // Held back, so a sender that waited for the answer would be seen to hang.
    setDelayedReply(true);
    held_.append(message());
    heldIds_.append(id);
    return 0;
}

void NotificationListener::answerAll()
{
    for (int i = 0; i < held_.size(); ++i)
        connection_.send(held_[i].createReply(QVariantList{heldIds_[i]}));
    held_.clear();
    heldIds_.clear();
}

void NotificationListener::click(uint id)
{
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("ActionInvoked"));
    signal << id << QStringLiteral("default");
    connection_.send(signal);
}

HeldKeyringPrompter::HeldKeyringPrompter(QDBusConnection connection)
    : connection_(connection)
{
    registered_ = connection_.registerObject(QStringLiteral("/org/gnome/keyring/Prompter"), this,
                                             QDBusConnection::ExportScriptableSlots)
        && connection_.registerService(QStringLiteral("org.gnome.keyring.SystemPrompter"));
}

HeldKeyringPrompter::~HeldKeyringPrompter()
{
    goAway();
}

void HeldKeyringPrompter::goAway()
{
    if (!registered_)
        return;
    registered_ = false;
    connection_.unregisterService(QStringLiteral("org.gnome.keyring.SystemPrompter"));
    connection_.unregisterObject(QStringLiteral("/org/gnome/keyring/Prompter"));
}

void HeldKeyringPrompter::BeginPrompting(const QDBusObjectPath&)
{
    // Taken, and then never made ready: the keyring waits for a dialog that is never answered.
    ++begun_;
}

void HeldKeyringPrompter::PerformPrompt(const QDBusObjectPath&, const QString&, const QVariantMap&, const QString&)
{
}

void HeldKeyringPrompter::StopPrompting(const QDBusObjectPath&)
{
}

LauncherListener::LauncherListener(QDBusConnection connection)
    : connection_(connection)
{
    connection_.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                        QStringLiteral("Update"), this, SLOT(onUpdate(QString, QVariantMap)));
}

void LauncherListener::onUpdate(const QString& appUri, const QVariantMap& properties)
{
    updates.append(Update{appUri, properties});
    paths.append(calledFromDBus() ? message().path() : QString());
}
