#include "PlatformTestApp.h"

#include "platform/Browser.h"

using namespace platform;

TEST(Browser, OpensWebAddressesThroughTheReplaceableOpener)
{
    // The run's own opener refuses: no test reaches the desktop's browser.
    EXPECT_FALSE(Browser::openURL(QUrl(QStringLiteral("http://127.0.0.1:8470/feedback"))));

    QList<QUrl> opened;
    Browser::setOpener([&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    EXPECT_TRUE(Browser::openURL(QUrl(QStringLiteral("http://127.0.0.1:8470/k/%E5%A4%A9"))));
    EXPECT_TRUE(Browser::openURL(QUrl(QStringLiteral("HTTPS://127.0.0.1/x"))));
    for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "ftp://127.0.0.1/", "http://", ""})
        EXPECT_FALSE(Browser::openURL(QUrl(QString::fromLatin1(refused)))) << refused;
    testsupport::refuseBrowser();

    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0].toString(QUrl::FullyEncoded), QStringLiteral("http://127.0.0.1:8470/k/%E5%A4%A9"));
}
