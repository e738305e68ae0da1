#pragma once
// Desktop notifications through the freedesktop notification service (org.freedesktop.Notifications on the
// session D-Bus). Posting never waits for the service: the call is sent asynchronously. A notification posted
// with a click context offers its default action; when the user clicks it, notificationClicked hands the context
// back on the main thread. Without a session bus every post is a silent no-op.
#include <QDBusConnection>
#include <QObject>
#include <QVariant>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <deque>
#include <map>
#include <mutex>

namespace platform {

class Notifications : public QObject {
    Q_OBJECT
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
                const QString& notificationName = kStandardReminder, const QVariant& clickContext = QVariant());

    bool hasBus() const;

    // Whether a click on the notification with the service's id would be heard. Main thread.
    bool isClickable(uint id) const { return clickContexts_.count(id) != 0; }

    // How many clickable notifications are remembered (the oldest are forgotten first).
    static constexpr std::size_t kRememberedClicks = 200;

signals:
    // The user clicked a notification posted with this context.
    void notificationClicked(const QVariant& clickContext);

private slots:
    void actionInvoked(uint id, const QString& action);

private:
    void remember(uint id, const QVariant& clickContext);

    mutable std::mutex mutex_; // guards enabled_
    QDBusConnection connection_;
    QString applicationName_;
    QStringList enabled_;
    // Main thread only: the service's notification id -> click context, in posting order (a closed notification's
    // entry goes with the bound: some services tell the close before the click).
    std::map<uint, QVariant> clickContexts_;
    std::deque<uint> clickOrder_;
};

} // namespace platform
