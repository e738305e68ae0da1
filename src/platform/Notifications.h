#pragma once
// Desktop notifications through the freedesktop notification service (org.freedesktop.Notifications on the
// session D-Bus). Posting never waits for the service: the call is sent asynchronously and its answer ignored.
// Without a session bus every post is a silent no-op.
#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <mutex>

namespace platform {

class Notifications {
public:
    // The one notification name the program posts under.
    static const QString kStandardReminder; // "StandardReminder"

    // The application's notifier on the session bus.
    static Notifications& shared();

    // A notifier on the given connection (a test's private bus, or an unconnected one).
    explicit Notifications(const QDBusConnection& connection, const QString& applicationName = QStringLiteral("Plumet"));

    // Registration: "AllNotifications" and "DefaultNotifications", each a list of names. Only names listed under
    // "DefaultNotifications" are delivered; until something registers, kStandardReminder alone is.
    void registerNotifications(const QVariantMap& registrationDictionary);
    bool isEnabled(const QString& notificationName) const;

    // Posts one notification (title, body, and an optional picture file shown as its icon). Returns true when it
    // was handed to the bus, false when the name is not enabled or there is no bus. Any thread.
    bool notify(const QString& title, const QString& body, const QString& iconPath = QString(),
                const QString& notificationName = kStandardReminder);

    bool hasBus() const;

private:
    mutable std::mutex mutex_; // guards enabled_
    QDBusConnection connection_;
    QString applicationName_;
    QStringList enabled_;
};

} // namespace platform
