#include "RefreshTestSupport.h"

#include "../platform/PrivateSessionBus.h"
#include "platform/Dispatch.h"
#include "platform/PlatformResources.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <boost/make_shared.hpp>
#include <httplib.h>

namespace refreshtest {

namespace {

// The program's consumer credentials, which the development service expects.
constexpr const char* kConsumerKey = "5127730916";
constexpr const char* kConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";

std::unique_ptr<QTemporaryDir> root;
std::unique_ptr<PrivateSessionBus> privateBus;
std::unique_ptr<QApplication> application;

} // namespace

void setUpApplication(const char* name, const std::function<QApplication*(int& argc, char** argv)>& make)
{
    root = std::make_unique<QTemporaryDir>();
    // Nothing of the user's: configuration, data, cache and the session bus are all private to the run.
    qputenv("XDG_CONFIG_HOME", QDir(root->path()).filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir(root->path()).filePath(QStringLiteral("data-0")).toUtf8());
    qputenv("XDG_CACHE_HOME", QDir(root->path()).filePath(QStringLiteral("cache")).toUtf8());
    qputenv("PLUMET_NO_BROWSER", "1");
    privateBus = std::make_unique<PrivateSessionBus>();
    static int argc = 1;
    static std::string programName;
    programName = name;
    static char* argv[] = {programName.data(), nullptr};
    application.reset(make ? make(argc, argv) : new QApplication(argc, argv));
    QApplication::setOrganizationName(QStringLiteral("Plumet"));
    QApplication::setApplicationName(QStringLiteral("Plumet"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root->path());
    platform::ensurePlatformResources();
    platform::UserDefaults::standard().registerDefaultsFromResource();
}

void tearDownApplication()
{
    platform::closeMainQueue();
    platform::waitForGlobalQueue(30000);
    application.reset();
    privateBus.reset();
    root.reset();
}

PrivateSessionBus* bus() { return privateBus.get(); }

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return pred();
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void useFreshSettingsAndData()
{
    static int serial = 0;
    ++serial;
    const QDir dir(root->path());
    platform::UserDefaults::standard().reopen(dir.filePath(QStringLiteral("settings-%1/Plumet.conf").arg(serial)));
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data-%1").arg(serial)).toUtf8());
}

boost::shared_ptr<weibo::SinaWeibo> makeClient(const QString& base, const QString& token, const QString& secret)
{
    auto client = boost::make_shared<weibo::SinaWeibo>();
    client->oAuth().setConsumerKey(kConsumerKey);
    client->oAuth().setConsumerSecret(kConsumerSecret);
    client->oAuth().setOAuthTokenKey(token.toStdString());
    client->oAuth().setOAuthTokenSecret(secret.toStdString());
    client->setBaseUrls(base.toStdString(), (base + QStringLiteral("/2")).toStdString());
    return client;
}

// ---------------------------------------------------------------------------------------------------------------
// The development service

DevService::DevService()
{
    const QString program = qEnvironmentVariable("PLUMET_DEVSERVER");
    if (program.isEmpty()) {
        error_ = QStringLiteral("PLUMET_DEVSERVER is not set");
        return;
    }
    process_.setProgram(program);
    process_.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                           dir_.filePath(QStringLiteral("dev.sqlite"))});
    process_.start();
    if (!process_.waitForStarted(10000)) {
        error_ = process_.errorString();
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000 && process_.state() == QProcess::Running) {
        if (!process_.canReadLine() && !process_.waitForReadyRead(500))
            continue;
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (line == QLatin1String("Ready")) {
                running_ = !base().isEmpty() && !value(QStringLiteral("DemoAccessToken")).isEmpty();
                if (!running_)
                    error_ = QStringLiteral("no WeiboHost or DemoAccessToken line");
                return;
            }
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0)
                values_.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    error_ = QStringLiteral("no Ready line: ") + QString::fromUtf8(process_.readAllStandardError());
}

DevService::~DevService()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

int DevService::port() const
{
    return QUrl(base()).port();
}

boost::shared_ptr<weibo::SinaWeibo> DevService::demoClient() const
{
    return makeClient(base(), value(QStringLiteral("DemoAccessToken")), value(QStringLiteral("DemoAccessTokenSecret")));
}

boost::shared_ptr<weibo::SinaWeibo> DevService::personClient(const std::string& login) const
{
    auto client = makeClient(base());
    if (!client->acquireOAuthAccessToken(login, "plumet"))
        return {};
    return client;
}

// ---------------------------------------------------------------------------------------------------------------
// The counting proxy

std::string normalisedPath(const std::string& target)
{
    std::string path = target.substr(0, target.find('?'));
    if (path.rfind("/2/", 0) == 0)
        path.erase(0, 2);
    const std::string json = ".json";
    if (path.size() > json.size() && path.compare(path.size() - json.size(), json.size(), json) == 0)
        path.resize(path.size() - json.size());
    return path;
}

CountingProxy::CountingProxy(int targetPort)
    : targetPort_(targetPort)
{
}

CountingProxy::~CountingProxy()
{
    stop();
}

QString CountingProxy::base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

bool CountingProxy::start()
{
    if (server_)
        return true;
    server_ = std::make_unique<httplib::Server>();
    // One request per connection: a stop refuses the very next request instead of serving kept-alive ones.
    server_->set_keep_alive_max_count(1);
    serve(*server_);
    if (port_ == 0) {
        port_ = server_->bind_to_any_port("127.0.0.1");
        if (port_ <= 0) {
            port_ = 0;
            server_.reset();
            return false;
        }
    } else if (!server_->bind_to_port("127.0.0.1", port_)) {
        server_.reset();
        return false;
    }
    httplib::Server* server = server_.get();
    // Bound means listening: connections wait in the backlog until the loop accepts them.
    thread_ = std::thread([server] { server->listen_after_bind(); });
    return true;
}

void CountingProxy::stop()
{
    if (!server_)
        return;
    release();
    server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

void CountingProxy::serve(httplib::Server& server)
{
    auto forward = [this](const httplib::Request& req, httplib::Response& res) {
        std::size_t index = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            Request record;
            record.method = req.method;
            record.path = normalisedPath(req.path);
            for (const auto& p : req.params)
                record.params.insert(p);
            requests_.push_back(record);
            index = requests_.size() - 1;
            if (failing_.count(record.path)) {
                res.status = 500;
                if (!failing_[record.path].empty())
                    res.set_content(failing_[record.path], "application/json");
                requests_[index].answered = true;
                return;
            }
            ++waiting_;
            released_.wait(lock, [this] { return !holding_; });
            --waiting_;
        }
        httplib::Client client("127.0.0.1", targetPort_);
        client.set_url_encode(false);
        client.set_keep_alive(false);
        client.set_read_timeout(60, 0);
        httplib::Headers headers;
        for (const char* name : {"Authorization", "Host", "Content-Type"})
            if (req.has_header(name))
                headers.emplace(name, req.get_header_value(name));
        const std::string contentType = req.get_header_value("Content-Type");
        httplib::Result result = req.method == "POST"     ? client.Post(req.target, headers, req.body, contentType)
                                 : req.method == "DELETE" ? client.Delete(req.target, headers, req.body, contentType)
                                                          : client.Get(req.target, headers);
        if (!result) {
            res.status = 502;
            return;
        }
        res.status = result->status;
        res.body = result->body;
        std::size_t bytes = 16 + result->body.size(); // "HTTP/1.1 200 OK\r\n"
        for (const auto& h : result->headers) {
            bytes += h.first.size() + h.second.size() + 4;
            if (h.first == "Content-Type")
                res.set_header("Content-Type", h.second);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        requests_[index].bytes = bytes;
        requests_[index].answered = true;
    };
    server.Get(".*", forward);
    server.Post(".*", forward);
    server.Delete(".*", forward);
}

std::vector<CountingProxy::Request> CountingProxy::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t CountingProxy::size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

int CountingProxy::count(const std::string& path, std::size_t from) const
{
    return int(requestsTo(path, from).size());
}

std::vector<CountingProxy::Request> CountingProxy::requestsTo(const std::string& path, std::size_t from) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Request> found;
    for (std::size_t i = from; i < requests_.size(); ++i)
        if (requests_[i].path == path)
            found.push_back(requests_[i]);
    return found;
}

std::uint64_t CountingProxy::bytesAnswered(std::size_t from) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::uint64_t total = 0;
    for (std::size_t i = from; i < requests_.size(); ++i)
        total += requests_[i].bytes;
    return total;
}

void CountingProxy::failPath(const std::string& path, const std::string& body)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failing_[path] = body;
}

void CountingProxy::clearFailures()
{
    std::lock_guard<std::mutex> lock(mutex_);
    failing_.clear();
}

void CountingProxy::hold()
{
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = true;
}

void CountingProxy::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = false;
    }
    released_.notify_all();
}

int CountingProxy::waiting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_;
}

} // namespace refreshtest
