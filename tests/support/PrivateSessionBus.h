#pragma once
// A session bus of the test's own: a dbus-daemon child with a minimal configuration (no service activation), whose
// address replaces DBUS_SESSION_BUS_ADDRESS for this process, so nothing reaches the desktop's real bus. Create it
// before anything opens the session bus (QDBusConnection::sessionBus() keeps its first connection).
#include "ChildProcess.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QVector>

#include <memory>

class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    bool isRunning() const { return !address_.isEmpty(); }
    QString address() const { return address_; }
    // A connection of its own to the private bus (a stand-in for another program).
    QDBusConnection connect(const QString& name) const;

private:
    QTemporaryDir dir_;
    testsupport::ChildProcess daemon_;
    QString address_;
};

// Stands in for the desktop's notification service: records every Notify call, answers when told to.
class NotificationListener : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
        int timeout = 0;
        QStringList actions;
        uint id = 0; // the id its answer gives
    };
    explicit NotificationListener(QDBusConnection connection);
    ~NotificationListener() override;
    bool isRegistered() const { return registered_; }
    QVector<Call> calls;
    // Answers the calls held so far (until then their senders are left waiting).
    void answerAll();
    // The user clicks the notification with this id.
    void click(uint id);

public slots:
    Q_SCRIPTABLE uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                             const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);

private:
    QDBusConnection connection_;
    bool registered_ = false;
    QVector<QDBusMessage> held_;
    QVector<uint> heldIds_;
    uint nextId_ = 1;
};

// Stands in for the desktop's keyring prompter (the program that shows "choose a password for the new keyring"):
// it takes every prompt the keyring opens and never answers it, like a dialog nobody looks at. Going away ends
// the prompts as a dismissal does.
class HeldKeyringPrompter : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.keyring.internal.Prompter")
public:
    explicit HeldKeyringPrompter(QDBusConnection connection);
    ~HeldKeyringPrompter() override;
    bool isRegistered() const { return registered_; }
    // Prompts the keyring has opened so far.
    int promptsBegun() const { return begun_; }
    // Leaves the bus: every open prompt ends unanswered.
    void goAway();

public slots:
    Q_SCRIPTABLE void BeginPrompting(const QDBusObjectPath& callback);
    Q_SCRIPTABLE void PerformPrompt(const QDBusObjectPath& callback, const QString& type, const QVariantMap& properties,
                                    const QString& exchange);
    Q_SCRIPTABLE void StopPrompting(const QDBusObjectPath& callback);

private:
    QDBusConnection connection_;
    bool registered_ = false;
    int begun_ = 0;
};

// Records the launcher-count signals seen on the bus.
class LauncherListener : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    explicit LauncherListener(QDBusConnection connection);
    struct Update {
        QString appUri;
        QVariantMap properties;
    };
    QVector<Update> updates;
    QStringList paths; // the object path each update came from

public slots:
    void onUpdate(const QString& appUri, const QVariantMap& properties);

private:
    QDBusConnection connection_;
};
