#include "DevServerProcess.h"

#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace testsupport {

DevServerProcess::DevServerProcess(const std::string& db, const std::vector<std::string>& extra, int timeoutSeconds)
{
    const char* exe = std::getenv("PLUMET_DEVSERVER");
    if (!exe || !*exe) {
        error_ = "PLUMET_DEVSERVER is not set";
        return;
    }
    std::string database = db;
    if (database.empty()) {
        char tmpl[] = "/tmp/plumet-devserver-XXXXXX";
        if (!::mkdtemp(tmpl)) {
            error_ = "no temporary folder";
            return;
        }
        tempDir_ = tmpl;
        database = tempDir_ + "/devserver.sqlite";
    }
    // Everything the child needs is built before the fork: only async-signal-safe calls may follow it.
    std::vector<std::string> args = {exe, "--port", "0", "--db", database};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) {
        error_ = "no pipe";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        error_ = "fork failed";
        return;
    }
    // It prints nothing after "Ready", so the pipe can close once that line came.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::string buffer;
    char chunk[4096];
    while (std::chrono::steady_clock::now() < deadline && buffer.find("\nReady\n") == std::string::npos) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(out[0], &set);
        timeval tv{0, 100000};
        if (::select(out[0] + 1, &set, nullptr, nullptr, &tv) <= 0)
            continue;
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        buffer.append(chunk, std::size_t(n));
    }
    ::close(out[0]);
    output_ = buffer;
    std::size_t pos = 0;
    while (pos < buffer.size()) {
        std::size_t end = buffer.find('\n', pos);
        if (end == std::string::npos)
            end = buffer.size();
        const std::string line = buffer.substr(pos, end - pos);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0)
            values_[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    ready_ = buffer.find("\nReady\n") != std::string::npos;
    if (!ready_)
        error_ = "no Ready line: " + buffer;
}

DevServerProcess::~DevServerProcess()
{
    stop();
    if (!tempDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir_, ignored);
    }
}

void DevServerProcess::stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

std::string DevServerProcess::value(const std::string& key) const
{
    auto it = values_.find(key);
    return it == values_.end() ? std::string() : it->second;
}

int DevServerProcess::port() const
{
    return std::atoi(value("Port").c_str());
}

} // namespace testsupport
