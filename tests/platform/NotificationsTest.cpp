#include "PlatformTestApp.h"

#include "platform/Dispatch.h"
#include "platform/Notifications.h"
#include "platform/UnreadBadge.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <atomic>

using namespace platform;

namespace {

class PrivateBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = PlatformTestApp::bus();
        if (!bus || !bus->isRunning())
            GTEST_SKIP() << "dbus-daemon could not be started";
        // The program's own connection is the session bus, which must be the private one.
        ASSERT_EQ(qgetenv("DBUS_SESSION_BUS_ADDRESS"), bus->address().toUtf8());
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    }
    PrivateSessionBus* bus = nullptr;
};

} // namespace

TEST_F(PrivateBusTest, NotificationsArriveAtTheDesktopServiceWithoutWaitingForIt)
{
    QDBusConnection peer = bus->connect(QStringLiteral("notification-service"));
    ASSERT_TRUE(peer.isConnected());
    NotificationListener listener(peer);
    ASSERT_TRUE(listener.isRegistered());

    Notifications& notifier = Notifications::shared();
    notifier.registerNotifications(
        {{QStringLiteral("AllNotifications"), QStringList{Notifications::kStandardReminder}},
         {QStringLiteral("DefaultNotifications"), QStringList{Notifications::kStandardReminder}}});
    EXPECT_TRUE(notifier.hasBus());

    // The listener never answers until told: a poster that waited for the answer would hang here.
    EXPECT_TRUE(notifier.notify(QStringLiteral("张三"), QStringLiteral("新的一条微博 <b>&</b>")));
    std::atomic<bool> fromWorker{false};
    dispatchGlobal([&] {
        fromWorker = Notifications::shared().notify(QStringLiteral("李四"), QStringLiteral("评论"),
                                                    QStringLiteral("/tmp/avatar.png"));
    });
    ASSERT_TRUE(waitUntil([&] { return listener.calls.size() == 2; }));
    EXPECT_TRUE(fromWorker.load());

    const auto& first = listener.calls[0];
    EXPECT_EQ(first.appName, QStringLiteral("Plumet"));
    EXPECT_EQ(first.summary, QStringLiteral("张三"));
    EXPECT_EQ(first.body, QStringLiteral("新的一条微博 &lt;b&gt;&amp;&lt;/b&gt;")); // text, never markup
    EXPECT_TRUE(first.icon.isEmpty());
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("plumet"));
    EXPECT_EQ(listener.calls[1].summary, QStringLiteral("李四"));
    EXPECT_EQ(listener.calls[1].icon, QStringLiteral("file:///tmp/avatar.png"));
    listener.answerAll();

    // A name that was not registered as a default is not delivered.
    EXPECT_FALSE(notifier.notify(QStringLiteral("x"), QStringLiteral("y"), QString(), QStringLiteral("Other")));
    notifier.registerNotifications({{QStringLiteral("AllNotifications"), QStringList{Notifications::kStandardReminder}},
                                    {QStringLiteral("DefaultNotifications"), QStringList{}}});
    EXPECT_FALSE(notifier.notify(QStringLiteral("x"), QStringLiteral("y")));
    notifier.registerNotifications(
        {{QStringLiteral("AllNotifications"), QStringList{Notifications::kStandardReminder}},
         {QStringLiteral("DefaultNotifications"), QStringList{Notifications::kStandardReminder}}});

    // Without a bus, posting is a silent no-op.
    Notifications offline(QDBusConnection(QStringLiteral("no-such-connection")));
    EXPECT_FALSE(offline.hasBus());
    EXPECT_FALSE(offline.notify(QStringLiteral("x"), QStringLiteral("y")));

    // Every delivered call was seen, and no more.
    EXPECT_TRUE(notifier.notify(QStringLiteral("王五"), QStringLiteral("私信")));
    ASSERT_TRUE(waitUntil([&] { return listener.calls.size() == 3; }));
    EXPECT_EQ(listener.calls[2].summary, QStringLiteral("王五"));
}

TEST_F(PrivateBusTest, LauncherCountFollowsTheUnreadCount)
{
    QDBusConnection peer = bus->connect(QStringLiteral("dock"));
    ASSERT_TRUE(peer.isConnected());
    LauncherListener dock(peer);

    UnreadBadge& badge = UnreadBadge::shared();
    QSignalSpy titles(&badge, &UnreadBadge::badgeLabelChanged);
    badge.setUnreadCount(3);
    badge.setUnreadCount(3); // unchanged: nothing new to announce
    badge.setUnreadCount(1024);
    badge.setUnreadCount(0);
    ASSERT_TRUE(waitUntil([&] { return dock.updates.size() >= 3; }));

    ASSERT_EQ(dock.updates.size(), 3);
    for (const auto& update : dock.updates)
        EXPECT_EQ(update.appUri, QStringLiteral("application://plumet.desktop"));
    EXPECT_EQ(dock.paths[0], QString::fromLatin1(UnreadBadge::kObjectPath));
    EXPECT_EQ(dock.updates[0].properties.value(QStringLiteral("count")).toLongLong(), 3);
    EXPECT_TRUE(dock.updates[0].properties.value(QStringLiteral("count-visible")).toBool());
    EXPECT_EQ(dock.updates[1].properties.value(QStringLiteral("count")).toLongLong(), 1024);
    EXPECT_FALSE(dock.updates[2].properties.value(QStringLiteral("count-visible")).toBool());

    ASSERT_EQ(titles.count(), 3);
    EXPECT_EQ(titles[0][0].toString(), QStringLiteral("3"));
    EXPECT_EQ(titles[1][0].toString(), QStringLiteral("1024"));
    EXPECT_EQ(titles[2][0].toString(), QString());

    // A dock that starts later asks for the count; a count set from a worker reaches the main thread.
    dispatchGlobal([] { UnreadBadge::shared().setUnreadCount(7); });
    ASSERT_TRUE(waitUntil([&] { return badge.badgeLabel() == QStringLiteral("7"); }));
    QDBusMessage query = QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
                                                        QString::fromLatin1(UnreadBadge::kObjectPath),
                                                        QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                        QStringLiteral("Query"));
    QDBusPendingReply<QVariantMap> reply = peer.asyncCall(query);
    ASSERT_TRUE(waitUntil([&] { return reply.isFinished(); }));
    ASSERT_TRUE(reply.isValid()) << reply.error().message().toStdString();
    EXPECT_EQ(reply.value().value(QStringLiteral("count")).toLongLong(), 7);
    EXPECT_TRUE(reply.value().value(QStringLiteral("count-visible")).toBool());
    badge.setUnreadCount(0);
}
