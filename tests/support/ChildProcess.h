#pragma once
// A helper program started for a test (a bus daemon, a keyring, a command-line tool), with a plain fork and exec.
// QProcess is not used for these: its process start-up in the toolkit leaves ThreadSanitizer unable to see the
// test's own locks afterwards, so every later hand-over between threads would be reported.
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // ends it (see end())
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up on PATH) with the given environment ("KEY=value" lines; empty: this process's).
    // Its output (standard output and error together) comes back through readOutput; `input` is written to its
    // standard input, which is then closed. The child gets SIGTERM when the test process dies.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
               const std::string& input = std::string());
    // Reads what it printed until `until` appears or timeoutMs pass; answers everything read so far.
    std::string readOutput(const std::string& until, int timeoutMs);
    bool running();
    // Waits for it to end on its own; false when it is still running after timeoutMs.
    bool wait(int timeoutMs);
    // SIGTERM, then SIGKILL after timeoutMs.
    void end(int timeoutMs = 5000);
    int exitCode() const { return exitCode_; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int exitCode_ = -1;
    std::string read_;
};

// This process's environment with `set` ("KEY=value") replacing or adding entries and `unset` keys removed.
std::vector<std::string> environmentWith(const std::vector<std::string>& set, const std::vector<std::string>& unset = {});

} // namespace testsupport
