#include "PlatformTestApp.h"

#include "platform/Dispatch.h"
#include "platform/URLCache.h"
#include "platform/ProxyChoice.h"
#include "platform/URLConnection.h"
#include "platform/UserDefaults.h"

#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace platform;

// What a run stored is read back by the next one (its lists kept on disk show their pictures offline); the folder
// keeps within its capacity, the least recently written going first; a removed entry is gone from disk too.
TEST(URLCache, StoredPicturesAreReadBackInALaterRunAndTheFolderKeepsWithinItsCapacity)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto url = [](char c) { return QUrl(QStringLiteral("http://127.0.0.1/p/%1.png").arg(QChar(c))); };
    {
        URLCache first(100000);
        first.setDiskFolder(dir.path(), 1000);
        for (char c : {'a', 'b', 'c'})
            ASSERT_TRUE(first.storeCachedResponse(QByteArray(400, c), url(c)));
    }
    // The ages a run leaves them with: a written first, c last.
    const QDateTime now = QDateTime::currentDateTime();
    for (const QFileInfo& info : QDir(dir.path()).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const char c = file.read(1).at(0);
        ASSERT_TRUE(file.setFileTime(now.addSecs(-3600 * ('d' - c)), QFileDevice::FileModificationTime));
    }

    URLCache later(100000);
    EXPECT_FALSE(later.cachedResponseForRequest(url('c')).has_value()) << "no folder, nothing from disk";
    later.setDiskFolder(dir.path(), 1000);
    EXPECT_FALSE(later.cachedResponseForRequest(url('a')).has_value()) << "the oldest file should have gone";
    EXPECT_EQ(later.cachedResponseForRequest(url('b')).value_or(QByteArray()), QByteArray(400, 'b'));
    EXPECT_EQ(later.cachedResponseForRequest(url('c')).value_or(QByteArray()), QByteArray(400, 'c'));
    EXPECT_EQ(later.count(), 2);

    later.removeCachedResponseForRequest(url('b'));
    URLCache third(100000);
    third.setDiskFolder(dir.path(), 1000);
    EXPECT_FALSE(third.cachedResponseForRequest(url('b')).has_value());
    EXPECT_TRUE(third.cachedResponseForRequest(url('c')).has_value());
}

TEST(URLCache, EvictsTheLeastRecentlyUsedAtTheByteCap)
{
    EXPECT_EQ(URLCache::shared().memoryCapacity(), 2000000);

    URLCache cache(2000000);
    const qint64 big = cache.maximumEntrySize(); // 200000
    ASSERT_EQ(big, 200000);
    auto url = [](int i) { return QUrl(QStringLiteral("http://127.0.0.1/p/%1.png").arg(i)); };
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(cache.storeCachedResponse(QByteArray(big, char('a' + i)), url(i)));
    EXPECT_EQ(cache.currentMemoryUsage(), 2000000); // exactly full: nothing evicted yet
    EXPECT_EQ(cache.count(), 10);

    ASSERT_TRUE(cache.cachedResponseForRequest(url(0)).has_value()); // 0 is now the most recent
    ASSERT_TRUE(cache.storeCachedResponse(QByteArray(10, 'z'), url(10)));
    EXPECT_FALSE(cache.cachedResponseForRequest(url(1)).has_value()); // the least recent went
    EXPECT_TRUE(cache.cachedResponseForRequest(url(0)).has_value());
    EXPECT_EQ(cache.currentMemoryUsage(), 1800010);

    // Replacing an entry counts its new size only; the fragment does not make another entry.
    ASSERT_TRUE(cache.storeCachedResponse(QByteArray(5, 'y'), QUrl(QStringLiteral("http://127.0.0.1/p/10.png#x"))));
    EXPECT_EQ(cache.currentMemoryUsage(), 1800005);
    EXPECT_EQ(cache.cachedResponseForRequest(url(10)).value(), QByteArray(5, 'y'));

    // Too big to keep: refused, and nothing else is pushed out for it.
    EXPECT_FALSE(cache.storeCachedResponse(QByteArray(big + 1, 'q'), url(11)));
    EXPECT_FALSE(cache.cachedResponseForRequest(url(11)).has_value());
    EXPECT_EQ(cache.count(), 10);
    EXPECT_FALSE(cache.storeCachedResponse(QByteArray("x"), QUrl()));

    // An empty body is data too.
    ASSERT_TRUE(cache.storeCachedResponse(QByteArray(), url(12)));
    EXPECT_TRUE(cache.cachedResponseForRequest(url(12)).has_value());

    // Shrinking evicts at once, oldest first.
    cache.setMemoryCapacity(600000);
    EXPECT_LE(cache.currentMemoryUsage(), 600000);
    EXPECT_TRUE(cache.cachedResponseForRequest(url(12)).has_value());
    EXPECT_FALSE(cache.cachedResponseForRequest(url(2)).has_value());
    cache.removeAllCachedResponses();
    EXPECT_EQ(cache.currentMemoryUsage(), 0);
    EXPECT_EQ(cache.count(), 0);
}

namespace {

// A loopback server whose /slow answer waits at a gate, so that requests can pile up behind one transfer.
class PictureServer {
public:
    PictureServer()
    {
        server_.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            ++slowHits;
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
            res.set_content("PICTURE-BYTES", "image/png");
        });
        server_.Get("/empty", [this](const httplib::Request&, httplib::Response& res) {
            ++emptyHits;
            res.set_content("", "image/png");
        });
        server_.Get("/missing", [this](const httplib::Request&, httplib::Response& res) {
            ++missingHits;
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        server_.set_keep_alive_max_count(1); // no idle connection keeps stop() waiting
        port = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~PictureServer()
    {
        openGate();
        server_.stop();
        thread_.join();
    }
    void openGate()
    {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    QUrl url(const char* path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(path))); }

    int port = 0;
    std::atomic<int> slowHits{0};
    std::atomic<int> emptyHits{0};
    std::atomic<int> missingHits{0};

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

struct Outcome {
    std::vector<QByteArray> bodies;
    std::vector<QString> errors;
    bool allOnMain = true;
};

void request(const QUrl& url, Outcome& outcome)
{
    URLConnection::asyncRequest(
        url,
        [&outcome](const QByteArray& body) {
            outcome.allOnMain = outcome.allOnMain && isMainThread();
            outcome.bodies.push_back(body);
        },
        [&outcome](const QString& error) {
            outcome.allOnMain = outcome.allOnMain && isMainThread();
            outcome.errors.push_back(error);
        });
}

} // namespace

TEST(URLConnection, SeveralRequestsForOneAddressMakeOneDownload)
{
    URLCache::shared().removeAllCachedResponses();
    PictureServer server;
    Outcome outcome;
    const QUrl slow = server.url("/slow");
    for (int i = 0; i < 4; ++i)
        request(slow, outcome);
    std::atomic<bool> workerAsked{false};
    dispatchGlobal([&] {
        request(slow, outcome);
        workerAsked = true;
    });
    EXPECT_TRUE(outcome.bodies.empty()); // never answered inside the call
    ASSERT_TRUE(waitUntil([&] { return workerAsked.load() && server.slowHits == 1; }));
    server.openGate();
    ASSERT_TRUE(waitUntil([&] { return outcome.bodies.size() == 5; }));
    EXPECT_EQ(server.slowHits.load(), 1);
    for (const QByteArray& body : outcome.bodies)
        EXPECT_EQ(body, QByteArray("PICTURE-BYTES"));
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_TRUE(outcome.allOnMain);
    EXPECT_EQ(URLCache::shared().cachedResponseForRequest(slow).value_or(QByteArray()), QByteArray("PICTURE-BYTES"));

    // Later requests are answered from the cache, still later than the call.
    request(slow, outcome);
    EXPECT_EQ(outcome.bodies.size(), 5u);
    ASSERT_TRUE(waitUntil([&] { return outcome.bodies.size() == 6; }));
    EXPECT_EQ(server.slowHits.load(), 1);

    // An empty body is a success.
    Outcome empty;
    request(server.url("/empty"), empty);
    ASSERT_TRUE(waitUntil([&] { return empty.bodies.size() == 1; }));
    EXPECT_TRUE(empty.bodies[0].isEmpty());
    EXPECT_TRUE(empty.errors.empty());
    EXPECT_EQ(URLConnection::activeTransfers(), 0);
}

TEST(URLConnection, FailuresComeBackAsFailures)
{
    URLCache::shared().removeAllCachedResponses();
    PictureServer server;

    // An error page is not the picture asked for, and is not kept.
    Outcome missing;
    request(server.url("/missing"), missing);
    request(server.url("/missing"), missing);
    ASSERT_TRUE(waitUntil([&] { return missing.errors.size() == 2; }));
    EXPECT_TRUE(missing.bodies.empty());
    EXPECT_EQ(missing.errors[0], QStringLiteral("HTTP 404"));
    EXPECT_TRUE(missing.allOnMain);
    EXPECT_FALSE(URLCache::shared().cachedResponseForRequest(server.url("/missing")).has_value());

    // Nobody listening.
    int deadPort = 0;
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        deadPort = closed.serverPort();
    }
    Outcome refused;
    request(QUrl(QStringLiteral("http://127.0.0.1:%1/pic.png").arg(deadPort)), refused);
    // Addresses that are not web addresses are never fetched (a status could point at a local file).
    request(QUrl(QStringLiteral("file:///etc/passwd")), refused);
    request(QUrl(), refused);
    ASSERT_TRUE(waitUntil([&] { return refused.errors.size() == 3; }, 15000));
    EXPECT_TRUE(refused.bodies.empty());
    for (const QString& error : refused.errors)
        EXPECT_FALSE(error.isEmpty());
}

TEST(ProxyChoice, LibcurlsRulesAndThePicturesTakeTheProxyTheServiceTransfersTake)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://10.1.1.1:3128"));
    env.insert(QStringLiteral("ALL_PROXY"), QStringLiteral("socks5://10.2.2.2"));
    env.insert(QStringLiteral("no_proxy"), QStringLiteral(".example.org, 127.0.0.0/8 ,localhost"));
    const auto choose = [&env](const char* url, const QString& host = QString()) {
        return ProxyChoice::forUrl(QUrl(QLatin1String(url)), host, QStringLiteral("8080"), env);
    };
    EXPECT_EQ(choose("http://api.example.com/x").variable, QStringLiteral("http_proxy"));
    EXPECT_EQ(choose("https://api.example.com/x").variable, QStringLiteral("ALL_PROXY"));
    for (const char* url : {"http://example.org/", "http://www.example.org/", "http://127.0.0.1:8470/", "http://localhost/"})
        EXPECT_EQ(choose(url).source, ProxyChoice::Source::Direct) << url;
    EXPECT_EQ(choose("http://notexample.org/").source, ProxyChoice::Source::Environment);
    // Plumet's own proxy wins over the variables, not over no_proxy.
    EXPECT_EQ(choose("http://api.example.com/", QStringLiteral("10.9.9.9")).proxy, QStringLiteral("10.9.9.9:8080"));
    EXPECT_EQ(choose("http://127.0.0.1/", QStringLiteral("10.9.9.9")).source, ProxyChoice::Source::Direct);
    // Upper-case HTTP_PROXY is not taken for http, as libcurl does not.
    QProcessEnvironment upper;
    upper.insert(QStringLiteral("HTTP_PROXY"), QStringLiteral("10.3.3.3:80"));
    EXPECT_EQ(ProxyChoice::forUrl(QUrl(QStringLiteral("http://a.b/")), {}, {}, upper).source, ProxyChoice::Source::Direct);
    EXPECT_TRUE(ProxyChoice::noProxyNames(QStringLiteral("*"), QStringLiteral("anything.net")));
    EXPECT_TRUE(ProxyChoice::noProxyNames(QStringLiteral("::1"), QStringLiteral("[::1]")));
    EXPECT_EQ(choose("https://a.b/").networkProxy().type(), QNetworkProxy::Socks5Proxy);
    EXPECT_EQ(choose("https://a.b/").networkProxy().port(), 1080);

    // A picture goes through the relay that http_proxy names.
    httplib::Server relay;
    std::mutex m;
    std::vector<std::string> targets;
    relay.Get(".*", [&](const httplib::Request& q, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m);
        targets.push_back(q.target);
        res.set_content("RELAYED", "image/png");
    });
    relay.set_keep_alive_max_count(1);
    const int relayPort = relay.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { relay.listen_after_bind(); });
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("proxy.conf")));
    ProxyChoice::installForNetworkAccess(defaults);
    ::setenv("http_proxy", QStringLiteral("127.0.0.1:%1").arg(relayPort).toLatin1().constData(), 1);
    URLCache::shared().removeAllCachedResponses();
    Outcome outcome;
    // A name the relay answers for without looking it up (the toolkit never sends a loopback address through a
    // proxy).
    const QUrl picture(QStringLiteral("http://pictures.invalid/through-the-relay.png"));
    request(picture, outcome);
    EXPECT_TRUE(waitUntil([&] { return outcome.bodies.size() + outcome.errors.size() == 1; }));
    ::unsetenv("http_proxy");
    QNetworkProxyFactory::setApplicationProxyFactory(nullptr);
    relay.stop();
    serving.join();
    ASSERT_EQ(outcome.bodies.size(), 1u);
    EXPECT_EQ(outcome.bodies[0], QByteArray("RELAYED"));
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(QString::fromStdString(targets[0]), picture.toString());
}
