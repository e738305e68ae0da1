// Downloaded pictures, avatars and the short-address video lookup against a loopback server.
#include "CellTestSupport.h"
#include "QtPrinters.h"

#include "cells/TimelineCellStatus.h"
#include "platform/URLCache.h"
#include "platform/URLConnection.h"

#include <httplib.h>

#include <QPainter>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace {

class PictureServer {
public:
    PictureServer()
    {
        server_.Get(R"(/pic/(\w+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            count(req.path);
            const QByteArray png = pngBytes(30, 20, QColor(0, 200, 0));
            res.set_content(png.constData(), size_t(png.size()), "image/png");
        });
        server_.Get("/noise.png", [this](const httplib::Request& req, httplib::Response& res) {
            count(req.path);
            QImage image(64, 64, QImage::Format_ARGB32);
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    image.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x + y * 53) % 256));
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            res.set_content(png.constData(), size_t(png.size()), "image/png");
        });
        server_.Get("/still.png", [this](const httplib::Request& req, httplib::Response& res) {
            count(req.path);
            const QByteArray png = pngBytes(120, 90, QColor(0, 0, 0));
            res.set_content(png.constData(), size_t(png.size()), "image/png");
        });
        server_.Get("/mblog/sinaurl_info.php", [this](const httplib::Request& req, httplib::Response& res) {
            count(req.path);
            const std::string key = req.get_param_value("url");
            std::string body = R"({"code":"A00006","data":{)";
            if (key == "vid1")
                body += R"("vid1":{"url":"x","type":"video","title":"t","screen":")" + base() + R"(/still.png"})";
            else if (key == "page1")
                body += R"("page1":{"url":"x","type":"webpage","title":"t","screen":""})";
            body += "}}";
            res.set_content(body, "application/json");
        });
        // Fails the first time it is asked for, then answers: a picture whose first download broke.
        server_.Get("/flaky.png", [this](const httplib::Request& req, httplib::Response& res) {
            if (count(req.path) == 1) {
                res.status = 503;
                return;
            }
            const QByteArray png = pngBytes(30, 20, QColor(200, 0, 0));
            res.set_content(png.constData(), size_t(png.size()), "image/png");
        });
        server_.Get(R"(/(missing|no-avatar)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
            count(req.path);
            res.status = 404;
            res.set_content("no such picture", "text/plain");
        });
        // One request per connection, so that stopping does not wait out a kept-alive connection.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        waitUntil([this] { return server_.is_running(); });
    }
    ~PictureServer()
    {
        server_.stop();
        thread_.join();
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    QString url(const char* path) const { return QString::fromStdString(base()) + QLatin1String(path); }
    int hits(const std::string& path) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = hits_.find(path);
        return it == hits_.end() ? 0 : it->second;
    }

private:
    int count(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return ++hits_[path];
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_; // guards hits_
    std::map<std::string, int> hits_;
};

class PictureLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        scope_.context.setWebHost(server_.url(""));
        platform::URLCache::shared().removeAllCachedResponses();
    }

    PictureServer server_;
    ScopedContext scope_{1000};
};

} // namespace

TEST_F(PictureLoad, OneDownloadServesEveryCellAndEveryWaitingList)
{
    auto status = makeStatus(1, makeUser(7, "张三"), "有图");
    status->thumbnail_pic = server_.url("/pic/a.png").toStdString();
    auto first = std::make_shared<TimelineCellStatus>(status);
    auto second = std::make_shared<TimelineCellStatus>(makeStatus(2, makeUser(8, "李四"), "同一张图"));
    second->status()->thumbnail_pic = status->thumbnail_pic;
    FakeList home, mentions(QStringLiteral("/statuses/mentions"));
    auto gone = std::make_unique<FakeList>();
    first->setListViewController(&home);
    second->setListViewController(&mentions);

    // While the picture loads the text is not final and the height stays stale.
    EXPECT_FALSE(first->calculateTextViewHeight());
    EXPECT_TRUE(first->recalculateTextViewHeight());
    EXPECT_FALSE(first->calculateTextViewHeight()); // asked again by the same list: counted once
    EXPECT_FALSE(second->calculateTextViewHeight());
    bool determinate = true;
    auto third = std::make_shared<TimelineCellStatus>(status);
    third->setListViewController(gone.get());
    EXPECT_TRUE(third->parseImage(QString::fromStdString(status->thumbnail_pic), 1, determinate).isEmpty());
    EXPECT_FALSE(determinate);
    EXPECT_EQ(home.countdown, 1);
    EXPECT_EQ(mentions.countdown, 1);
    EXPECT_EQ(pendingImageStateForURL(QString::fromStdString(status->thumbnail_pic)), PendingImageState::Loading);
    gone.reset(); // a list that went away meanwhile is not called back

    ASSERT_TRUE(waitUntil([&] { return home.reloads == 1 && mentions.reloads == 1; }));
    EXPECT_EQ(server_.hits("/pic/a.png"), 1);
    EXPECT_EQ(home.countdown, 0);
    EXPECT_EQ(pendingImageStateForURL(QString::fromStdString(status->thumbnail_pic)), PendingImageState::Absent);

    ASSERT_TRUE(first->calculateTextViewHeight());
    const AttributedString text = first->stringForTextView(determinate);
    EXPECT_TRUE(determinate);
    EXPECT_TRUE(shown(text).startsWith(QStringLiteral("张三\n有图\n<?:1>\n\n来自Plumet")));
    const auto picture = text.attachmentAt(6);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image().size(), QSize(30, 20));
    EXPECT_FALSE(picture->data().isEmpty());
    EXPECT_EQ(picture->baselineOffset(), 0);
    // The picture's line makes the text taller than the same status without it.
    TimelineCellStatus bare(makeStatus(3, makeUser(7, "张三"), "有图"));
    bare.setListViewController(&home);
    ASSERT_TRUE(bare.calculateTextViewHeight());
    EXPECT_GE(first->textViewHeight(), bare.textViewHeight() + 20);
    EXPECT_EQ(server_.hits("/pic/a.png"), 1);
}

TEST_F(PictureLoad, AFailedPictureIsAskedForAgainAfterItsBackOffAndThenShownInItsOwnSize)
{
    setPictureRetryDelay(std::chrono::milliseconds(100));
    auto cell = std::make_shared<TimelineCellStatus>(makeStatus(1, makeUser(7, "张三"), "x"));
    FakeList list;
    cell->setListViewController(&list);
    const QString flaky = server_.url("/flaky.png");
    bool determinate = true;
    cell->parseImage(flaky, 2, determinate);
    ASSERT_TRUE(waitUntil([&] { return list.reloads == 1; }));
    // Shown again at once: the placeholder, no new request.
    cell->parseImage(flaky, 2, determinate);
    EXPECT_TRUE(determinate);
    EXPECT_EQ(server_.hits("/flaky.png"), 1);
    cell->setRecalculateTextViewHeight(false); // laid out around the placeholder

    // Shown again once the back-off is over: asked for again with the placeholder still up (the list never waits
    // on the retry), and the cell is measured again when the picture comes.
    ASSERT_TRUE(waitUntil([&] {
        cell->parseImage(flaky, 2, determinate);
        return server_.hits("/flaky.png") == 2;
    }));
    EXPECT_TRUE(determinate);
    ASSERT_TRUE(waitUntil([&] { return list.reloads == 2; }));
    EXPECT_TRUE(cell->recalculateTextViewHeight());
    const AttributedString picture = cell->parseImage(flaky, 2, determinate);
    ASSERT_TRUE(picture.attachmentAt(0));
    EXPECT_EQ(picture.attachmentAt(0)->image().size(), QSize(30, 20));
    setPictureRetryDelay(std::chrono::milliseconds(5000));
}

TEST_F(PictureLoad, FailedDownloadShowsThePlaceholderAndIsNotRetriedBeforeItsBackOff)
{
    auto cell = std::make_shared<TimelineCellStatus>(makeStatus(1, makeUser(7, "张三"), "x"));
    FakeList list;
    cell->setListViewController(&list);
    const QString missing = server_.url("/missing.png");
    bool determinate = true;
    EXPECT_TRUE(cell->parseImage(missing, 2, determinate).isEmpty());
    EXPECT_FALSE(determinate);
    ASSERT_TRUE(waitUntil([&] { return list.reloads == 1; }));
    EXPECT_EQ(pendingImageStateForURL(missing), PendingImageState::Bytes);

    const AttributedString shownText = cell->parseImage(missing, 2, determinate);
    EXPECT_TRUE(determinate);
    EXPECT_EQ(shown(shownText), QStringLiteral("<?:2>"));
    const QImage broken = QImage::fromData(cellResourceData(QStringLiteral("broken.png")));
    EXPECT_EQ(shownText.attachmentAt(0)->image().convertToFormat(QImage::Format_ARGB32),
              broken.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(list.started, 1);
    EXPECT_EQ(server_.hits("/missing.png"), 1);
}

TEST_F(PictureLoad, PictureTheCacheRefusesIsShownFromThePendingTable)
{
    platform::URLCache::shared().setMemoryCapacity(1000); // keeps nothing above 100 bytes
    auto cell = std::make_shared<TimelineCellStatus>(makeStatus(1, makeUser(7, "张三"), "x"));
    FakeList list;
    cell->setListViewController(&list);
    const QString url = server_.url("/noise.png");
    bool determinate = true;
    cell->parseImage(url, 1, determinate);
    const bool arrived = waitUntil([&] { return list.reloads == 1; });
    platform::URLCache::shared().setMemoryCapacity(platform::URLCache::kDefaultMemoryCapacity);
    ASSERT_TRUE(arrived);
    EXPECT_FALSE(platform::URLCache::shared().cachedResponseForRequest(QUrl(url)));
    EXPECT_EQ(pendingImageStateForURL(url), PendingImageState::Bytes);
    const AttributedString picture = cell->parseImage(url, 1, determinate);
    EXPECT_TRUE(determinate);
    ASSERT_TRUE(picture.attachmentAt(0));
    EXPECT_EQ(picture.attachmentAt(0)->image().size(), QSize(64, 64));
    EXPECT_EQ(server_.hits("/noise.png"), 1);
}

TEST_F(PictureLoad, ShortAddressIsLookedUpOncePerCellAndItsStillShownInTheRightBlock)
{
    const std::string address = server_.base() + "/vid1";
    auto original = makeStatus(2, makeUser(8, "李四"), "视频 " + address + " 再看 " + address);
    auto status = makeStatus(1, makeUser(7, "张三"), "转发 " + server_.base() + "/page1");
    status->retweeted_status = original;
    auto cell = std::make_shared<TimelineCellStatus>(status);
    FakeList list;
    cell->setListViewController(&list);

    ASSERT_TRUE(cell->calculateTextViewHeight());
    bool determinate = false;
    cell->stringForTextView(determinate); // a rebuild asks nothing again
    EXPECT_EQ(list.countdown, 2);
    ASSERT_TRUE(waitUntil([&] { return list.reloads == 1; }));
    EXPECT_EQ(server_.hits("/mblog/sinaurl_info.php"), 2);
    EXPECT_TRUE(cell->checkedURLPaths().contains(QStringLiteral("vid1")));
    EXPECT_TRUE(cell->checkedURLPaths().contains(QStringLiteral("page1")));
    EXPECT_FALSE(cell->video()); // a web page is no video
    ASSERT_TRUE(cell->retweetVideo());
    EXPECT_TRUE(cell->recalculateTextViewHeight());

    // The still loads like any picture, then sits in the reposted block only, with the play mark.
    EXPECT_FALSE(cell->calculateTextViewHeight());
    ASSERT_TRUE(waitUntil([&] { return list.reloads == 2; }));
    ASSERT_TRUE(cell->calculateTextViewHeight());
    const AttributedString text = cell->stringForTextView(determinate);
    EXPECT_TRUE(determinate);
    const QString s = shown(text);
    const qsizetype still = s.indexOf(QStringLiteral("<?:12>"));
    EXPECT_GT(still, s.indexOf(QStringLiteral("@李四")));
    EXPECT_LT(still, s.lastIndexOf(QStringLiteral("来自")));
    EXPECT_EQ(s.indexOf(QStringLiteral("<?:11>")), -1);
    const int at = int(text.string().indexOf(QChar(QChar::ObjectReplacementCharacter)));
    const QImage picture = text.attachmentAt(at)->image();
    EXPECT_EQ(picture.size(), QSize(120, 90));
    EXPECT_NE(picture.pixelColor(60, 45), QColor(Qt::black)); // the play mark over the centre
    EXPECT_EQ(picture.pixelColor(2, 2), QColor(Qt::black));
    EXPECT_EQ(server_.hits("/mblog/sinaurl_info.php"), 2);
}

TEST_F(PictureLoad, AvatarsLoadOnceAndReloadTheVisibleRow)
{
    auto user = makeUser(7, "张三");
    user->profile_image_url = server_.url("/pic/avatar.png").toStdString();
    auto cell = std::make_shared<TimelineCellStatus>(makeStatus(1, user, "x"));
    auto other = std::make_shared<TimelineCellStatus>(makeStatus(2, user, "y"));
    FakeList list;
    cell->setListViewController(&list);
    other->setListViewController(&list);
    EXPECT_TRUE(cell->profileImage().isNull());
    EXPECT_TRUE(other->profileImage().isNull());
    ASSERT_TRUE(waitUntil([&] { return list.visibleReloads == 1; }));
    EXPECT_EQ(cell->profileImage().size(), QSize(30, 20));
    EXPECT_EQ(other->profileImage().size(), QSize(30, 20));
    EXPECT_EQ(server_.hits("/pic/avatar.png"), 1);
    EXPECT_EQ(list.started, 0); // avatars do not hold the list's reload

    // A failed avatar is not asked for again while the program runs.
    user->profile_image_url = server_.url("/no-avatar.png").toStdString();
    EXPECT_TRUE(cell->profileImage().isNull());
    ASSERT_TRUE(waitUntil([&] {
        return server_.hits("/no-avatar.png") == 1 && platform::URLConnection::activeTransfers() == 0;
    }));
    EXPECT_TRUE(cell->profileImage().isNull());
    QCoreApplication::processEvents(); // a new request would have started its transfer here
    EXPECT_EQ(platform::URLConnection::activeTransfers(), 0);
    EXPECT_EQ(server_.hits("/no-avatar.png"), 1);
    EXPECT_EQ(list.visibleReloads, 1);
}
