#include "platform/Notifications.h"

#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

namespace platform {

const QString Notifications::kStandardReminder = QStringLiteral("StandardReminder");

Notifications& Notifications::shared()
{
    // Never destroyed: a background block may post while the program exits.
    static Notifications* notifier = new Notifications(QDBusConnection::sessionBus());
    return *notifier;
}

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDefaultAction = QStringLiteral("default");

} // namespace

Notifications::Notifications(const QDBusConnection& connection, const QString& applicationName)
    : connection_(connection)
    , applicationName_(applicationName)
    , enabled_{kStandardReminder}
{
    // The answers and the clicks are handled on the main thread, wherever the notifier was first asked for.
    if (QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
    if (connection_.isConnected()) {
        connection_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                            SLOT(actionInvoked(uint, QString)));
    }
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
                           const QString& notificationName, const QVariant& clickContext)
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
    const QStringList actions = clickContext.isValid() ? QStringList{kDefaultAction, QStringLiteral("查看")}
                                                       : QStringList();
    call << applicationName_ << uint(0) << icon << title << plainBody << actions << hints << int(-1);
    // asyncCall hands the message to the connection's own thread and returns at once.
    const QDBusPendingCall pending = connection_.asyncCall(call);
    if (!clickContext.isValid())
        return true;
    // The answer, the notification's id, tells a later click whose it is; it is awaited on the main thread. (Handed
    // over through the main queue, not a queued call: a caller may be a worker thread.)
    dispatchMainAsync([self = QPointer<Notifications>(this), pending, clickContext] {
        if (!self)
            return;
        auto* watcher = new QDBusPendingCallWatcher(pending, self);
        connect(watcher, &QDBusPendingCallWatcher::finished, self, [self, clickContext](QDBusPendingCallWatcher* w) {
            const QDBusPendingReply<uint> reply = *w;
            if (self && reply.isValid())
                self->remember(reply.value(), clickContext);
            w->deleteLater();
        });
    });
    return true;
}

void Notifications::remember(uint id, const QVariant& clickContext)
{
    if (clickContexts_.insert_or_assign(id, clickContext).second)
        clickOrder_.push_back(id);
    while (clickOrder_.size() > kRememberedClicks) {
        clickContexts_.erase(clickOrder_.front());
        clickOrder_.pop_front();
    }
}

void Notifications::actionInvoked(uint id, const QString& action)
{
    // Another program's notification carries an id this one never got.
    const auto it = clickContexts_.find(id);
    if (it == clickContexts_.end() || action != kDefaultAction)
        return;
    const QVariant context = it->second;
    emit notificationClicked(context);
}


} // namespace platform
