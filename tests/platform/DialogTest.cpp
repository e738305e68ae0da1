#include "PlatformTestApp.h"

#include "platform/AlertResponder.h"
#include "platform/UnreadBadge.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace platform;

namespace {

struct Seen {
    QString text;
    QString informative;
    QStringList buttons;
    QString defaultButton;
};

// Waits for the alert to come up, notes what it shows and presses the button titled `press` (or Escape).
void answerNextAlert(const QString& press, Seen& seen)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, press, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        seen.text = box->text();
        seen.informative = box->informativeText();
        for (QAbstractButton* b : box->buttons())
            seen.buttons.append(b->text());
        seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == press) {
                b->click();
                return;
            }
        box->reject(); // Escape
    });
    poll->start(10);
}

} // namespace

TEST(DialogAlertResponder, ShowsTheAlertTextsAndAnswersThePressedButton)
{
    Seen warning;
    answerNextAlert(QStringLiteral("确定"), warning);
    AlertResponder::alertWarning(QStringLiteral("发布新微博失败！"), QStringLiteral("<b>error</b>"), QStringLiteral("400"));
    EXPECT_EQ(warning.text, QStringLiteral("发布新微博失败！ 错误代码: 400"));
    EXPECT_EQ(warning.informative, QStringLiteral("<b>error</b>"));
    EXPECT_EQ(warning.buttons, QStringList{QStringLiteral("确定")});

    Seen confirm;
    answerNextAlert(QStringLiteral("确定"), confirm);
    EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("您确定要删除当前账号吗？"), QStringLiteral("info")), 1001);
    EXPECT_EQ(confirm.buttons.size(), 2);
    EXPECT_TRUE(confirm.buttons.contains(QStringLiteral("取消")));
    EXPECT_EQ(confirm.defaultButton, QStringLiteral("取消")); // Return must not confirm a deletion by accident

    Seen cancelled;
    answerNextAlert(QStringLiteral("取消"), cancelled);
    EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("m"), QStringLiteral("i")), 1000);
    Seen escaped;
    answerNextAlert(QString(), escaped); // Escape means cancel
    EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("m"), QStringLiteral("i")), 1000);
}

TEST(UnreadBadgeImage, NumberIsDrawnAtTheTopRightAndNoTrayWithoutADesktop)
{
    const QImage base = UnreadBadge::applicationImage();
    ASSERT_FALSE(base.isNull());
    EXPECT_EQ(UnreadBadge::badgedImage(base, QString()), base.convertToFormat(QImage::Format_ARGB32_Premultiplied));

    const QImage badged = UnreadBadge::badgedImage(base, QStringLiteral("12"));
    ASSERT_EQ(badged.size(), base.size());
    const int w = base.width();
    const int h = base.height();
    int redTopRight = 0;
    for (int y = 0; y < h / 3; ++y)
        for (int x = w * 2 / 3; x < w; ++x) {
            const QColor c = badged.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                ++redTopRight;
        }
    EXPECT_GT(redTopRight, w * h / 100);
    // The rest of the icon is untouched.
    EXPECT_EQ(badged.pixel(w / 4, h * 3 / 4), base.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(w / 4, h * 3 / 4));

    // Offscreen there is no tray: asking for one changes nothing and the count still works.
    UnreadBadge badge(QDBusConnection(QStringLiteral("no-bus")));
    badge.setTrayIconEnabled(true);
    EXPECT_FALSE(badge.hasTrayIcon());
    badge.setUnreadCount(5);
    EXPECT_EQ(badge.badgeLabel(), QStringLiteral("5"));
    EXPECT_EQ(badge.launcherProperties().value(QStringLiteral("count")).toLongLong(), 5);
}
