// The video window with the real web engine, offscreen, against the development service's player page. The
// engine runs without its sandbox and without any background networking here only: the test runs as root and
// nothing may leave the machine.
#include "ViewerTestSupport.h"
#include "model/WeiboParser.h"
#include "viewers/VideoWebView.h"
#include "viewers/VideoWindowController.h"
#include "viewers/Viewers.h"

#include <QTest>

namespace {

class VideoEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                "--disable-gpu --disable-background-networking --disable-component-update --disable-sync "
                "--disable-domain-reliability --no-pings --no-proxy-server --disable-features=MediaRouter");
        testsupport::ApplicationOptions options;
        options.name = "plumet-video-tests";
        options.privateFolders = true;
        options.bus = testsupport::SessionBus::Blocked;
        testsupport::setUpApplication(options);
        VideoWindowController::setModuleFileName(QStringLiteral(PLUMET_VIDEO_MODULE));
    }
    void TearDown() override { testsupport::tearDownApplication(); }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new VideoEnvironment);

class VideoWindowTest : public testsupport::DevServiceTest {
protected:
    // The video behind one of the service's short addresses, as the service describes it.
    boost::shared_ptr<weibo::WBVideo> video(const QString& code) const
    {
        const QByteArray info = fetch(QUrl(service_->base() + QStringLiteral("/mblog/sinaurl_info.php?url=") + code));
        return weibo::parseVideo(info.toStdString(), code.toStdString());
    }
};

TEST_F(VideoWindowTest, PlayerPageLoadsUnderTheVideosTitleAndTheSameAddressCloses)
{
    VideoWindowController window;
    Viewers::setWindowControllers(nullptr, &window);
    const auto cat = video(QStringLiteral("v3Fk9a"));
    ASSERT_TRUE(cat && cat->isValid());
    bool loaded = false;
    QObject::connect(&window, &VideoWindowController::pageLoaded, [&](bool ok) { loaded = ok; });
    ASSERT_TRUE(Viewers::openVideo(*cat)) << window.moduleError().toStdString();
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QString::fromStdString(cat->title));
    ASSERT_NE(window.webview(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 60000));
    EXPECT_EQ(window.webview()->title(), QStringLiteral("小猫弹钢琴"));
    EXPECT_EQ(window.webview()->url(), QUrl(QString::fromStdString(cat->flash)));

    // The same address again closes the window; another one replaces the page.
    EXPECT_TRUE(Viewers::openVideo(*cat));
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.urlString().isEmpty());
    const auto sunset = video(QStringLiteral("Zq8_w-"));
    ASSERT_TRUE(sunset);
    loaded = false;
    ASSERT_TRUE(window.setVideo(QString::fromStdString(sunset->flash), QString::fromStdString(sunset->title)));
    ASSERT_TRUE(waitUntil([&] { return loaded && window.webview()->title() == QStringLiteral("海边日落"); }, 60000));
    Viewers::setWindowControllers(nullptr, nullptr);
}

TEST_F(VideoWindowTest, AddressesOtherThanTheWebsAreRefused)
{
    VideoWindowController window;
    for (const char* address : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,<h1>x</h1>",
                                "http:///player", "ftp://127.0.0.1/video"}) {
        EXPECT_FALSE(window.setVideo(QString::fromLatin1(address), QStringLiteral("x"))) << address;
        EXPECT_FALSE(window.isVisible()) << address;
        EXPECT_TRUE(window.urlString().isEmpty()) << address;
    }
    // Nothing was refused for want of the engine: none was loaded for them.
    EXPECT_EQ(window.webview(), nullptr);
    EXPECT_FALSE(Viewers::openVideo(QStringLiteral("x"), QStringLiteral("javascript:alert(1)")));
}

} // namespace
