// What tests and people need from a development service that a real one never offers: revoking an access token
// while a client uses it, and a service clock that is off the machine's. Both answer only on loopback, as the
// whole server does.
#include "devserver/ServerImpl.h"

#include <ctime>

namespace devserver {

std::string httpDate(std::int64_t epochSeconds) {
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char out[40];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return out;
}

std::int64_t DevServer::Impl::serviceNow() const {
    return static_cast<std::int64_t>(std::time(nullptr)) + clockOffset.load();
}

// POST /dev/revoke_token  token=KEY      the token answers 40111 from now on
// POST /dev/clock         offset=SECONDS the service's clock runs that far ahead of the machine's
bool DevServer::Impl::handleDevControl(const httplib::Request& req, httplib::Response& res, const std::string& path) {
    if (path != "/dev/revoke_token" && path != "/dev/clock") return false;
    if (req.method != "POST") throw ApiError{405, "10021", "HTTP method " + req.method + " is not supported"};
    std::string token, offset;
    for (auto& kv : parseForm(req.body)) {
        if (kv.first == "token") token = kv.second;
        if (kv.first == "offset") offset = kv.second;
    }
    if (path == "/dev/clock") {
        char* end = nullptr;
        const long long value = std::strtoll(offset.c_str(), &end, 10);
        if (offset.empty() || !end || *end) throw ApiError{400, "10008", "offset must be a number of seconds"};
        clockOffset = value;
    } else {
        if (token.empty()) throw ApiError{400, "10008", "token missing"};
        {
            auto lease = store->acquire();
            WriteTransaction tx(*lease);
            lease->prepare("DELETE FROM access_tokens WHERE token = ?1").bind(1, token).run();
            tx.commit();
        }
        std::unique_lock<std::shared_mutex> lock(tokenMutex);
        tokenCache.erase(token);
    }
    res.set_content("{\"result\":true}", "application/json; charset=utf-8");
    return true;
}

}  // namespace devserver
