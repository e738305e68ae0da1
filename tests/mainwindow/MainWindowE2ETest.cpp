// The main window's start-up against the development service: pictures made available and counted, the
// emotion catalogue, the account and its avatar cache, the home catch-up, a slow and a dead service, and a
// screenshot of the home timeline.
#include "MainWindowTestSupport.h"
#include "WindowParts.h"

#include "cells/CellContext.h"
#include "cells/HotTextScanner.h"
#include "cells/TimelineCellBase.h"
#include "mainwindow/LeftTab.h"
#include "platform/URLConnection.h"
#include "timeline/AvatarButton.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"
#include "widgets/TabView.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QTest>

#include <cstdio>

namespace {

class MainWindowE2ETest : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        useFreshSettingsAndData();
        configureAddresses(service_->base());
    }

    // A window for the demo account, its client pointed at `base` (the development service when none).
    std::unique_ptr<MyWindowController> makeWindow(const QString& base = QString())
    {
        auto client = service_->demoClient();
        if (!base.isEmpty())
            client->setBaseUrls(base.toStdString(), (base + QStringLiteral("/2")).toStdString());
        auto window = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client);
        MyWindowController* w = window.get();
        QObject::connect(w, &MyWindowController::initCountChanged, [this, w](qint64 count) {
            initCounts_.push_back(count);
            // The home timeline's unread count as the start-up left it, before the first display (which clears
            // the unread rows it shows).
            if (count == 0)
                unreadAtStartupEnd_ = w->weiboListViewController()->unreadCount();
        });
        QObject::connect(window.get(), &MyWindowController::firstListViewShown, [this] { ++shown_; });
        return window;
    }

    // Shows the window and waits for the home timeline to be shown.
    void start(MyWindowController& window, int timeoutMs = 60000)
    {
        initCounts_.clear();
        shown_ = 0;
        window.resize(540, 760);
        window.showWindow();
        ASSERT_TRUE(waitUntil([&] { return shown_ > 0; }, timeoutMs)) << "initCount " << window.initCount();
        EXPECT_EQ(window.initCount(), 0);
    }

    static int filesUnder(const QString& folder)
    {
        int n = 0;
        for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
            ++n;
        return n;
    }

    static std::vector<std::uint64_t> cellIds(PXListViewController* c)
    {
        std::vector<std::uint64_t> ids;
        for (const CellPtr& cell : *c->dataOfCells())
            ids.push_back(cell->entityId());
        return ids;
    }

    std::vector<qint64> initCounts_;
    std::uint64_t unreadAtStartupEnd_ = 0;
    int shown_ = 0;
};

TEST_F(MainWindowE2ETest, FirstStartCachesEveryPictureAndASecondStartCountsOnlyItsOwnStep)
{
    // One emotion lies in the local store (directly under "emotions"): it is copied, not downloaded.
    const QByteArray localPicture = QByteArrayLiteral("local emotion picture");
    QDir().mkpath(MyWindowController::emotionsFolder());
    {
        QFile local(MyWindowController::emotionsFolder() + QStringLiteral("/哈哈"));
        ASSERT_TRUE(local.open(QIODevice::WriteOnly));
        local.write(localPicture);
    }

    {
        auto window = makeWindow();
        start(*window);
        // 471 emoji and 23 emotions were downloaded, each raising the count once and reporting once.
        int raised = 0;
        qint64 previous = 1;
        for (qint64 count : initCounts_) {
            raised += count > previous;
            previous = count;
        }
        EXPECT_EQ(raised, 471 + 23);
        EXPECT_EQ(initCounts_.back(), 0);
        EXPECT_EQ(shown_, 1);
        EXPECT_EQ(filesUnder(MyWindowController::emojiFolder()), 471);
        const QImage emoji(MyWindowController::emojiFolder() + QStringLiteral("/ee9095.png"));
        EXPECT_FALSE(emoji.isNull());

        // The catalogue: four categories in the service's order, the unnamed one under "默认".
        const auto& groups = window->categoryEmotions();
        ASSERT_EQ(groups.size(), 4);
        EXPECT_EQ(groups[0].first().category, QStringLiteral("心情"));
        EXPECT_EQ(groups[3].first().category, QStringLiteral("默认"));
        EXPECT_EQ(window->keyedEmotions().size(), 24);
        const QString copied = window->pathForEmotionName(QStringLiteral("哈哈"));
        EXPECT_EQ(copied, MyWindowController::emotionsFolder() + QStringLiteral("/心情/哈哈"));
        QFile copiedFile(copied);
        ASSERT_TRUE(copiedFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(copiedFile.readAll(), localPicture);
        const QString downloaded = window->pathForEmotionName(QStringLiteral("赞"));
        EXPECT_EQ(downloaded, MyWindowController::emotionsFolder() + QStringLiteral("/默认/赞"));
        EXPECT_FALSE(QImage(downloaded).isNull());
        EXPECT_TRUE(window->pathForEmotionName(QStringLiteral("没有这个")).isEmpty());
        // Item text finds the pictures.
        EXPECT_EQ(CellContext::current().hotTextResources().pathForEmotionName(QStringLiteral("赞")), downloaded);
        EXPECT_FALSE(CellContext::current().hotTextResources().pathForEmoji(u'\uE415').isEmpty());

        // The account: the user, its avatar cached under its address.
        EXPECT_EQ(window->selfUserIdString(), service_->value(QStringLiteral("DemoUserId")));
        EXPECT_EQ(window->selfUserName(), service_->value(QStringLiteral("DemoScreenName")));
        const QString selfImage = MyWindowController::resourceFolder() + QStringLiteral("/selfimage");
        ASSERT_TRUE(waitUntil([&] { return !testsupport::part<AvatarButton>(window, "selfButton")->image().isNull(); }));
        EXPECT_TRUE(QFile::exists(selfImage));
        EXPECT_EQ(platform::UserDefaults::standard().stringForKey(QStringLiteral("LastSelfImage")),
                  QString::fromStdString(window->selfUser()->profile_image_url));
        EXPECT_TRUE(window->busyHints().isEmpty());
        EXPECT_TRUE(testsupport::part<QWidget>(window, "hintView")->isHidden());
        window->cleanup();
    }

    // The cached avatar is used as it is while its address has not changed: a picture of our own stands in.
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(MyWindowController::resourceFolder() + QStringLiteral("/selfimage"), "PNG"));

    auto again = makeWindow();
    start(*again);
    // Every picture was there: the start-up's one step reported, nothing else.
    EXPECT_EQ(initCounts_, std::vector<qint64>{0});
    ASSERT_TRUE(waitUntil([&] { return !testsupport::part<AvatarButton>(again, "selfButton")->image().isNull(); }));
    EXPECT_EQ(testsupport::part<AvatarButton>(again, "selfButton")->image().pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(testsupport::part<AvatarButton>(again, "selfButton")->name(), QString());
}

TEST_F(MainWindowE2ETest, HomeCatchUpTopsUpFewNewStatusesAndLeavesAFullOneAsItCame)
{
    const std::vector<std::uint64_t> ids = service_->homeTimelineIds();
    ASSERT_GT(ids.size(), 120u);
    // The pictures are beside the point here: their host is unreachable, so they fail at once.
    configureAddresses(service_->base(), QStringLiteral("http://127.0.0.1:%1").arg(closedLoopbackPort()));
    auto& defaults = platform::UserDefaults::standard();

    struct Case {
        std::size_t newer;      // statuses newer than "LatestStatusId"
        std::size_t cells;      // the list after the catch-up
        std::uint64_t unread;
    };
    // Of the 5 newest, the demo account's own are not unread.
    weibo::SinaWeiboOptions five;
    five.count_ = 5;
    const auto newest = weibo::parseString<weibo::WBStatus>(service_->demoClient()->timelineFriends(five));
    ASSERT_EQ(newest.size(), 5u);
    const auto others = std::uint64_t(std::count_if(newest.begin(), newest.end(), [this](const auto& status) {
        return status->user && status->user->id != service_->demoUserId();
    }));
    ASSERT_LT(others, 5u) << "the seed's newest statuses include one of the demo account's own";
    // 0 new: the 20 newest; 5 new: those and 10 older from the fifth on (the seam shown once); 100 new: the
    // catch-up alone, its unread count left at 0.
    for (const Case& c : {Case{0, 20, 0}, Case{5, 14, others}, Case{100, 100, 0}}) {
        SCOPED_TRACE(c.newer);
        defaults.setObject(QVariant::fromValue<qulonglong>(ids[c.newer]), QStringLiteral("LatestStatusId"));
        auto window = makeWindow();
        start(*window);
        PXListViewController* home = window->weiboListViewController();
        const std::vector<std::uint64_t> expected(ids.begin(), ids.begin() + std::ptrdiff_t(c.cells));
        EXPECT_EQ(cellIds(home), expected);
        EXPECT_EQ(unreadAtStartupEnd_, c.unread);
        // The next start catches up from the newest status shown.
        window->cleanup();
        EXPECT_EQ(defaults.objectForKey(QStringLiteral("LatestStatusId")).toULongLong(), ids[0]);
    }

    // No "LatestStatusId" at all: everything newer than 0, that is the 100 newest.
    defaults.removeObjectForKey(QStringLiteral("LatestStatusId"));
    auto window = makeWindow();
    start(*window);
    EXPECT_EQ(window->weiboListViewController()->dataOfCells()->size(), 100u);
}

TEST_F(MainWindowE2ETest, SlowServiceLeavesTheWindowResponsiveAndADeadOneAnEmptyWorkingWindow)
{
    SilentServer silent;
    ASSERT_TRUE(silent.isListening());
    configureAddresses(silent.base());
    auto window = makeWindow(silent.base());
    window->resize(540, 760);
    window->showWindow();

    // While every request hangs the main thread keeps turning: ticks 10 ms apart never wait long.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worstGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGap = std::max(worstGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ticker.start(10);
    ASSERT_TRUE(waitUntil([&] { return silent.connections() > 0; }));
    waitUntil([] { return false; }, 1500);
    ticker.stop();
    // A request waited on by the main thread would stall it for the whole wait; a busy machine may delay a tick.
    EXPECT_LT(worstGap, 1000);
    EXPECT_TRUE(window->isStarting());
    EXPECT_EQ(window->busyHints(), QStringList{QStringLiteral("正在载入微博...")});
    // Commands wait for the start-up.
    window->leftTabClicked(testsupport::part<LeftTab>(window, "timelineMention"));
    EXPECT_EQ(testsupport::part<TabView>(window, "tabView")->indexOfSelectedTabViewItem(), 0);

    // The service goes away: every request fails, and the start-up still ends, with an empty home timeline.
    silent.hangUp();
    ASSERT_TRUE(waitUntil([&] { return shown_ > 0; }, 60000));
    EXPECT_EQ(window->initCount(), 0);
    EXPECT_TRUE(window->weiboListViewController()->dataOfCells()->empty());
    EXPECT_EQ(window->selfUserId(), 0u);
    EXPECT_TRUE(window->categoryEmotions().isEmpty());
    EXPECT_TRUE(window->busyHints().isEmpty());
    // The window works: tabs switch.
    window->leftTabClicked(testsupport::part<LeftTab>(window, "timelineMention"));
    EXPECT_EQ(testsupport::part<TabView>(window, "tabView")->indexOfSelectedTabViewItem(), 2);
    EXPECT_TRUE(waitUntil([&] { return window->busyHints().isEmpty(); }, 60000));
    // An empty run keeps the position of the run before.
    platform::UserDefaults::standard().setObject(QVariant::fromValue<qulonglong>(42), QStringLiteral("LatestStatusId"));
    window->cleanup();
    EXPECT_EQ(platform::UserDefaults::standard().objectForKey(QStringLiteral("LatestStatusId")).toULongLong(), 42u);
}

TEST_F(MainWindowE2ETest, ScreenshotOfTheHomeTimeline)
{
    auto window = makeWindow();
    start(*window);
    PXListViewController* home = window->weiboListViewController();
    ASSERT_FALSE(home->dataOfCells()->empty());
    // Let the avatars and thumbnails of the rows in view arrive.
    waitUntil([&] { return platform::URLConnection::activeTransfers() == 0 && home->countdownToReloadData() == 0; },
              20000);
    waitUntil([] { return false; }, 300);
    home->reloadData();
    const QImage shot = window->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QString path = QStringLiteral(PLUMET_TEST_OUTPUT) + QStringLiteral("/mainwindow-home.png");
    ASSERT_TRUE(shot.save(path, "PNG"));
    std::printf("Screenshot of the main window: %s\n", qPrintable(path));
    std::fflush(stdout);
    RecordProperty("screenshot", path.toStdString());
}

} // namespace
