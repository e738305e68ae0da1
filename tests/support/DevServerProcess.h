#pragma once
// The development service as a child process, for every test and benchmark that needs one: the executable named
// by PLUMET_DEVSERVER on a free loopback port (--port 0) with a database of its own, and the "Key=value" lines it
// prints before "Ready" (Port, WeiboHost, Weibo2Host, DemoLogin, DemoPassword, DemoAccessToken, ...).
// Toolkit-free, so the service's own tests use it too.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

class DevServerProcess {
public:
    // `db` empty: a fresh database in a temporary folder that goes with the process.
    explicit DevServerProcess(const std::string& db = std::string(), const std::vector<std::string>& extra = {},
                              int timeoutSeconds = 60);
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;

    // Ends the process (SIGTERM) and waits for it.
    void stop();
    bool ready() const { return ready_; }
    // Why it is not ready, for test messages.
    const std::string& error() const { return error_; }
    std::string value(const std::string& key) const;
    int port() const;
    // Everything it printed up to "Ready".
    const std::string& output() const { return output_; }

private:
    std::string tempDir_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string error_;
    std::string output_;
    std::map<std::string, std::string> values_;
};

} // namespace testsupport
