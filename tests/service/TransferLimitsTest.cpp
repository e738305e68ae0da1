// The limits that keep one bad server from holding the transfer lock: trickles, floods, cancelling at quit,
// failures told apart from answers, and a clock the service refuses.
#include "LoopbackServer.h"

#include "service/WeiboAPI.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace {

using servicetest::Captured;
using servicetest::LoopbackServer;
using weibo::SinaWeibo;
using weibo::TransferFailure;
using Clock = std::chrono::steady_clock;

void signIn(SinaWeibo& client, const std::string& origin)
{
    client.setBaseUrls(origin, origin + "/2");
    client.oAuth().setConsumerKey("5127730916");
    client.oAuth().setConsumerSecret("9f1c0a7e52d84b3690e1c7a4f2b85d03");
    client.oAuth().setOAuthTokenKey("access-token");
    client.oAuth().setOAuthTokenSecret("access-secret");
}

// Answers 200 and then sends `bytesPerTick` bytes every `tick` until the client lets go (at most 20 s).
void trickle(httplib::Response& res, std::size_t bytesPerTick, std::chrono::milliseconds tick)
{
    res.set_chunked_content_provider("application/json", [bytesPerTick, tick](std::size_t, httplib::DataSink& sink) {
        const auto end = Clock::now() + std::chrono::seconds(20);
        const std::string piece(bytesPerTick, ' ');
        while (Clock::now() < end) {
            if (!sink.write(piece.data(), piece.size()))
                return false;
            std::this_thread::sleep_for(tick);
        }
        sink.done();
        return true;
    });
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SinaWeiboLimits, TrickleEndsByLowSpeedAndTotalCapAndFreesTheLock)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());

    // Two bytes a second: below the low-speed floor.
    server.setResponder([](const Captured&, httplib::Response& res) { trickle(res, 2, std::chrono::milliseconds(1000)); });
    client.setLowSpeedAbort(64, 2);
    auto start = Clock::now();
    weibo::TransferWatch slow;
    EXPECT_EQ(client.timelineFriends(), "");
    EXPECT_LT(secondsSince(start), 8.0);
    EXPECT_EQ(slow.failure().failure, TransferFailure::TimedOut);
    EXPECT_FALSE(client.getLastCurlError().empty());

    // 2 KB a second beats the floor, so only the total cap ends it.
    server.setResponder([](const Captured&, httplib::Response& res) { trickle(res, 200, std::chrono::milliseconds(100)); });
    client.setTransferTimeouts(2, 2);
    start = Clock::now();
    EXPECT_EQ(client.timelineMentions(), "");
    EXPECT_GE(secondsSince(start), 1.5);
    EXPECT_LT(secondsSince(start), 8.0);
    EXPECT_EQ(client.getLastOutcome().failure, TransferFailure::TimedOut);

    // The lock is free again.
    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content("[]", "application/json"); });
    SinaWeibo other;
    signIn(other, server.origin());
    EXPECT_EQ(other.timelineFriends(), "[]");
    EXPECT_EQ(other.getLastHttpStatus(), 200);
}

TEST(SinaWeiboLimits, CancelEndsAHungTransferAtOnceAndRefusesLaterOnes)
{
    servicetest::SilentListener silent;
    SinaWeibo client;
    signIn(client, silent.origin());
    std::atomic<bool> ended{false};
    Clock::time_point endedAt;
    std::thread worker([&] {
        weibo::TransferWatch watch;
        EXPECT_EQ(client.timelineFriends(), "");
        EXPECT_EQ(watch.failure().failure, TransferFailure::Cancelled);
        endedAt = Clock::now();
        ended = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(ended.load());
    const auto cancelAt = Clock::now();
    weibo::cancelAllTransfers();
    worker.join();
    EXPECT_LT(std::chrono::duration<double>(endedAt - cancelAt).count(), 0.1);

    // Later transfers never start, so threads queued behind the lock drain as fast.
    LoopbackServer server;
    SinaWeibo other;
    signIn(other, server.origin());
    EXPECT_EQ(other.accountVerify(), "");
    EXPECT_EQ(server.count(), 0u);
    weibo::allowTransfers();
    EXPECT_FALSE(other.accountVerify().empty());
    EXPECT_EQ(server.count(), 1u);
}

TEST(SinaWeiboLimits, AnswerSizeCapWithAndWithoutLength)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());
    client.setMaxAnswerBytes(1000);

    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content(std::string(5000, 'x'), "application/json"); });
    EXPECT_EQ(client.timelineFriends(), "");
    EXPECT_EQ(client.getLastOutcome().failure, TransferFailure::TooLarge);
    EXPECT_NE(client.getLastCurlError().find("larger than 1000"), std::string::npos);

    // No length announced: the cap is found while the answer streams in.
    server.setResponder([](const Captured&, httplib::Response& res) { trickle(res, 600, std::chrono::milliseconds(1)); });
    EXPECT_EQ(client.timelineFriends(), "");
    EXPECT_EQ(client.getLastOutcome().failure, TransferFailure::TooLarge);

    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content(std::string(1000, 'y'), "application/json"); });
    EXPECT_EQ(client.timelineFriends(), std::string(1000, 'y'));
    EXPECT_EQ(client.getLastOutcome().failure, TransferFailure::None);
}

TEST(SinaWeiboLimits, StatusAndFailureKindsBesideTheBody)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());
    weibo::TransferWatch watch;

    server.setResponder([](const Captured&, httplib::Response& res) {
        res.status = 500;
        res.set_content("<html>oops</html>", "text/html");
    });
    EXPECT_EQ(client.timelineFriends(), "<html>oops</html>");
    EXPECT_EQ(client.getLastHttpStatus(), 500);
    EXPECT_EQ(watch.failure().failure, TransferFailure::ServerError);

    // A refused token outranks an earlier failure of the same block: only it needs the user.
    server.setResponder([](const Captured&, httplib::Response& res) {
        res.status = 401;
        res.set_content("{\"error\":\"token invalid or expired\",\"error_code\":\"40111\"}", "application/json");
    });
    EXPECT_FALSE(client.statusUnread().empty());
    EXPECT_EQ(watch.failure().failure, TransferFailure::AuthRefused);
    EXPECT_EQ(watch.failure().errorCode, 40111);
    EXPECT_EQ(watch.transfers(), 2u);

    // A nested watch sees only its own transfers.
    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content("[]", "application/json"); });
    {
        weibo::TransferWatch inner;
        EXPECT_EQ(client.timelineFriends(), "[]");
        EXPECT_FALSE(inner.failed());
    }
    EXPECT_EQ(watch.transfers(), 3u);

    EXPECT_EQ(weibo::errorCodeOf("{\"error_code\": 40109}"), 40109);
    EXPECT_EQ(weibo::errorCodeOf("{\"error\":\"40111:Error: token invalid\",\"error_code\":\"401\"}"), 40111);
    EXPECT_EQ(weibo::errorCodeOf("[{\"id\":1}]"), 0);
}

// A service whose clock is `skew` seconds away from ours: refuses timestamps more than 60 s off its own clock with
// 401/40109 and its Date header.
void serviceWithClock(LoopbackServer& server, long long skew)
{
    server.setResponder([skew](const Captured& r, httplib::Response& res) {
        const long long now = static_cast<long long>(std::time(nullptr)) + skew;
        const auto header = servicetest::parseAuthorization(r.authorization);
        const long long ts = std::atoll(header.value("oauth_timestamp").c_str());
        if (std::llabs(ts - now) > 60) {
            char date[64];
            const std::time_t t = static_cast<std::time_t>(now);
            std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&t));
            res.status = 401;
            res.set_header("Date", date);
            res.set_content("{\"error\":\"timestamp refused\",\"error_code\":\"40109\"}", "application/json");
            return;
        }
        res.set_content("[]", "application/json");
    });
}

TEST(SinaWeiboLimits, RefusedTimestampIsCorrectedOnceFromTheServiceClock)
{
    for (const long long skew : {15 * 60LL, -15 * 60LL}) {
        SCOPED_TRACE(skew);
        LoopbackServer server;
        serviceWithClock(server, skew);
        SinaWeibo client;
        signIn(client, server.origin());

        EXPECT_EQ(client.timelineFriends(), "[]");
        EXPECT_EQ(server.count(), 2u);
        EXPECT_NEAR(double(client.oAuth().clockOffset()), double(skew), 3.0);
        EXPECT_EQ(client.statusUpdate("hello"), "[]");
        EXPECT_EQ(server.count(), 3u);
    }

    // A refusal that the Date header cannot explain is not repeated.
    LoopbackServer server;
    server.setResponder([](const Captured&, httplib::Response& res) {
        res.status = 401;
        res.set_content("{\"error_code\":40109}", "application/json");
    });
    SinaWeibo client;
    signIn(client, server.origin());
    EXPECT_FALSE(client.timelineFriends().empty());
    EXPECT_EQ(server.count(), 1u);
    EXPECT_EQ(client.getLastHttpStatus(), 401);
}

} // namespace
