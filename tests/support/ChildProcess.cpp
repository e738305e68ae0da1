#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace {

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

ChildProcess::~ChildProcess()
{
    end();
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                         const std::string& input)
{
    if (argv.empty() || pid_ > 0)
        return false;
    // Everything the child needs is built before the fork: only async-signal-safe calls may follow it.
    std::vector<std::string> args = argv;
    std::vector<std::string> env = environment;
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(env);
    const pid_t parent = ::getpid();
    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(in, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        if (environment.empty())
            ::execvp(argp[0], argp.data());
        else
            ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    if (pid_ < 0) {
        ::close(out[0]);
        ::close(in[1]);
        return false;
    }
    output_ = out[0];
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
        if (n <= 0)
            break;
        written += std::size_t(n);
    }
    ::close(in[1]);
    return true;
}

std::string ChildProcess::readOutput(const std::string& until, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[4096];
    while (output_ >= 0 && (until.empty() || read_.find(until) == std::string::npos)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{output_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0)
            break;
        const ssize_t n = ::read(output_, chunk, sizeof chunk);
        if (n <= 0) {
            ::close(output_);
            output_ = -1;
            break;
        }
        read_.append(chunk, std::size_t(n));
    }
    return read_;
}

bool ChildProcess::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0)
        return true;
    exitCode_ = r == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
}

bool ChildProcess::wait(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // Its output must not fill the pipe while it finishes.
        if (output_ >= 0)
            readOutput(std::string(), 10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ChildProcess::end(int timeoutMs)
{
    if (running()) {
        ::kill(pid_, SIGTERM);
        if (!wait(timeoutMs)) {
            ::kill(pid_, SIGKILL);
            wait(timeoutMs);
        }
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
}

std::vector<std::string> environmentWith(const std::vector<std::string>& set, const std::vector<std::string>& unset)
{
    auto keyOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const std::string key = keyOf(entry);
        bool drop = false;
        for (const std::string& u : unset)
            drop = drop || u == key;
        for (const std::string& s : set)
            drop = drop || keyOf(s) == key;
        if (!drop)
            out.push_back(entry);
    }
    out.insert(out.end(), set.begin(), set.end());
    return out;
}

} // namespace testsupport
