#pragma once
// The application's unread badge, the Linux form of the dock badge: the launcher count of the common docks and
// task bars (com.canonical.Unity.LauncherEntry over the session D-Bus), a tray icon carrying the number when the
// desktop has a tray, and a signal so the main window can show the count in its title.
#include <QDBusConnection>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <memory>

class QSystemTrayIcon;

namespace platform {

class LauncherEntryObject;

class UnreadBadge : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kAppUri = "application://plumet.desktop";
    static constexpr const char* kObjectPath = "/com/canonical/unity/launcherentry/plumet";

    // The application's badge on the session bus; lives on the main thread.
    static UnreadBadge& shared();

    explicit UnreadBadge(const QDBusConnection& connection, QObject* parent = nullptr);
    ~UnreadBadge() override;

    // The badge label: the count as text ("%lu"), or empty for none. An empty label hides the count.
    void setBadgeLabel(const QString& label);
    QString badgeLabel() const { return label_; }
    // Shows n as the label; 0 hides the badge. Any thread (a call off the main thread is handed to it).
    void setUnreadCount(qulonglong n);
    qulonglong unreadCount() const { return count_; }

    // The launcher properties now: "count" (64-bit) and "count-visible".
    QVariantMap launcherProperties() const;

    // The tray icon: shown when enabled and the desktop has a tray; otherwise nothing happens.
    void setTrayIconEnabled(bool enabled);
    bool hasTrayIcon() const { return tray_ != nullptr; }
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // The application icon with the label drawn in a red capsule at its top right (the icon as it is for an
    // empty label).
    static QImage badgedImage(const QImage& base, const QString& label);
    static QImage applicationImage();

signals:
    // Every change of the label (empty when hidden), for the window title.
    void badgeLabelChanged(const QString& label);
    // The tray icon was clicked.
    void trayActivated();

private:
    void publish();

    QDBusConnection connection_;
    QString label_;
    qulonglong count_ = 0;
    QSystemTrayIcon* tray_ = nullptr;
    LauncherEntryObject* entry_ = nullptr;
};

} // namespace platform
