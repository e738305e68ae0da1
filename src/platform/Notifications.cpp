#include "platform/Notifications.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFileInfo>
#include <QUrl>

namespace platform {

const QString Notifications::kStandardReminder = QStringLiteral("StandardReminder");

Notifications& Notifications::shared()
{
    // Never destroyed: a background block may post while the program exits.
    static Notifications* notifier = new Notifications(QDBusConnection::sessionBus());
    return *notifier;
}

Notifications::Notifications(const QDBusConnection& connection, const QString& applicationName)
    : connection_(connection)
    , applicationName_(applicationName)
    , enabled_{kStandardReminder}
{
}

void Notifications::registerNotifications(const QVariantMap& registrationDictionary)
{
    const QStringList names = registrationDictionary.value(QStringLiteral("DefaultNotifications")).toStringList();
    const QStringList all = registrationDictionary.value(QStringLiteral("AllNotifications")).toStringList();
    QStringList enabled;
    for (const QString& name : names)
        if (all.isEmpty() || all.contains(name))
            enabled.append(name);
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = enabled;
}

bool Notifications::isEnabled(const QString& notificationName) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_.contains(notificationName);
}

bool Notifications::hasBus() const
{
    return connection_.isConnected();
}

bool Notifications::notify(const QString& title, const QString& body, const QString& iconPath,
                           const QString& notificationName)
{
    if (!isEnabled(notificationName) || !connection_.isConnected())
        return false;

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QString icon;
    if (!iconPath.isEmpty())
        icon = QUrl::fromLocalFile(QFileInfo(iconPath).absoluteFilePath()).toString();
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("plumet"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1))); // normal
    hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
    // Servers that understand markup would otherwise read "<" and "&" in a status as tags; the body is
    // plain text.
    QString plainBody = body;
    plainBody.replace(QLatin1Char('&'), QStringLiteral("&amp;"))
        .replace(QLatin1Char('<'), QStringLiteral("&lt;"))
        .replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    call << applicationName_ << uint(0) << icon << title << plainBody << QStringList() << hints << int(-1);
    // asyncCall hands the message to the connection's own thread and returns at once; the answer is not needed.
    connection_.asyncCall(call);
    return true;
}

} // namespace platform
