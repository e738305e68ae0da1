#include "RefreshTestSupport.h"

#include <QApplication>

#include <httplib.h>

namespace refreshtest {

void setUpApplication(const char* name, const std::function<QApplication*(int& argc, char** argv)>& make)
{
    testsupport::ApplicationOptions options;
    options.name = name;
    options.privateFolders = true;
    options.bus = testsupport::SessionBus::Private;
    options.programNames = true;
    options.platformResources = true;
    options.drainQueues = true;
    if (make)
        options.make = [make](int& argc, char** argv) -> QCoreApplication* { return make(argc, argv); };
    testsupport::setUpApplication(options);
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
        Rewrite rewrite;
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
            const auto found = rewriting_.find(record.path);
            if (found != rewriting_.end())
                rewrite = found->second;
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
        if (rewrite) {
            rewrite(result->body, res);
            std::lock_guard<std::mutex> lock(mutex_);
            requests_[index].answered = true;
            return;
        }
        res.status = result->status;
        res.body = result->body;
        std::size_t bytes = 16 + result->body.size(); // "HTTP/1.1 200 OK\r\n"
        for (const auto& h : result->headers) {
            bytes += h.first.size() + h.second.size() + 4;
            // The service's clock travels in its Date header (a client with a wrong clock sets itself by it).
            if (h.first == "Content-Type" || h.first == "Date")
                res.set_header(h.first.c_str(), h.second);
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

void CountingProxy::rewritePath(const std::string& path, Rewrite rewrite)
{
    std::lock_guard<std::mutex> lock(mutex_);
    rewriting_[path] = std::move(rewrite);
}

void CountingProxy::clearFailures()
{
    std::lock_guard<std::mutex> lock(mutex_);
    failing_.clear();
    rewriting_.clear();
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
