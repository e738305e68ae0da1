// plumet-devserver [--port N] [--db PATH] [--reset] [--activity SECONDS] [--clock-offset SECONDS]
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <cstdio>
#include <cstring>
#include <string>

#include "devserver/DevServer.h"

namespace {

// A lock-free atomic: the signal may land on any of the server's threads while the main thread polls it.
std::atomic<bool> signalled{false};

void onSignal(int) { signalled.store(true); }

void usage(const char* argv0) {
    std::printf("usage: %s [--port N] [--db PATH] [--reset] [--activity SECONDS] [--clock-offset SECONDS]\n"
                "  --port N            listen on 127.0.0.1:N (default 8470; 0 picks a free port)\n"
                "  --db PATH           database file (default %s)\n"
                "  --reset             start from a fresh demo world\n"
                "  --activity SECONDS  let other users post, comment and write to the demo account\n"
                "  --clock-offset S    the service's clock runs S seconds ahead of this machine's (negative: behind)\n",
                argv0, devserver::defaultDatabasePath().c_str());
}

bool number(const char* text, int& out, int min, int max) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < min || v > max) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    devserver::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--port") {
            const char* v = next();
            if (!v || !number(v, options.port, 0, 65535)) {
                std::fprintf(stderr, "plumet-devserver: --port needs a number from 0 to 65535\n");
                return 2;
            }
        } else if (a == "--db") {
            const char* v = next();
            if (!v || !*v) {
                std::fprintf(stderr, "plumet-devserver: --db needs a path\n");
                return 2;
            }
            options.dbPath = v;
        } else if (a == "--reset") {
            options.reset = true;
        } else if (a == "--activity") {
            const char* v = next();
            if (!v || !number(v, options.activitySeconds, 1, 86400)) {
                std::fprintf(stderr, "plumet-devserver: --activity needs a number of seconds (1 to 86400)\n");
                return 2;
            }
        } else if (a == "--clock-offset") {
            const char* v = next();
            int seconds = 0;
            if (!v || !number(v, seconds, -86400 * 366, 86400 * 366)) {
                std::fprintf(stderr, "plumet-devserver: --clock-offset needs a number of seconds\n");
                return 2;
            }
            options.clockOffset = seconds;
        } else if (a == "--help" || a == "-h") {
            usage(argv[0]);
            return 0;
        } else {
            std::fprintf(stderr, "plumet-devserver: unknown option %s\n", a.c_str());
            usage(argv[0]);
            return 2;
        }
    }

    devserver::DevServer server(options);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "plumet-devserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("plumet-devserver: %s database %s\n", server.createdDatabase() ? "created" : "opened",
                options.dbPath.empty() ? devserver::defaultDatabasePath().c_str() : options.dbPath.c_str());
    std::printf("Port=%d\n%sReady\n", server.port(), server.settingsLines().c_str());
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    // The signal handler only sets a flag; a watcher turns it into an orderly stop.
    std::thread watcher([&server] {
        while (!signalled) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        server.stop();
    });
    server.wait();
    signalled = true;
    watcher.join();
    server.stop();
    return 0;
}
