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
    const auto slow = client.timelineFriends();
    EXPECT_EQ(slow.value, "");
    EXPECT_LT(secondsSince(start), 8.0);
    EXPECT_EQ(slow.outcome.failure, TransferFailure::TimedOut);
    EXPECT_FALSE(slow.outcome.detail.empty());
    EXPECT_FALSE(client.getLastCurlError().empty());

    // 2 KB a second beats the floor, so only the total cap ends it.
    server.setResponder([](const Captured&, httplib::Response& res) { trickle(res, 200, std::chrono::milliseconds(100)); });
    client.setTransferTimeouts(2, 2);
    start = Clock::now();
    const auto capped = client.timelineMentions();
    EXPECT_EQ(capped.value, "");
    EXPECT_GE(secondsSince(start), 1.5);
    EXPECT_LT(secondsSince(start), 8.0);
    EXPECT_EQ(capped.outcome.failure, TransferFailure::TimedOut);

    // The lock is free again.
    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content("[]", "application/json"); });
    SinaWeibo other;
    signIn(other, server.origin());
    const auto answered = other.timelineFriends();
    EXPECT_EQ(answered.value, "[]");
    EXPECT_EQ(answered.outcome.httpStatus, 200);
}

TEST(SinaWeiboLimits, CancelEndsAHungTransferAtOnceAndRefusesLaterOnes)
{
    servicetest::SilentListener silent;
    SinaWeibo client;
    signIn(client, silent.origin());
    std::atomic<bool> ended{false};
    Clock::time_point endedAt;
    std::thread worker([&] {
        const auto hung = client.timelineFriends();
        EXPECT_EQ(hung.value, "");
        EXPECT_EQ(hung.outcome.failure, TransferFailure::Cancelled);
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
    EXPECT_EQ(other.accountVerify().value, "");
    EXPECT_EQ(server.count(), 0u);
    weibo::allowTransfers();
    EXPECT_FALSE(other.accountVerify().value.empty());
    EXPECT_EQ(server.count(), 1u);
}

TEST(SinaWeiboLimits, AnswerSizeCapWithAndWithoutLength)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());
    client.setMaxAnswerBytes(1000);

    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content(std::string(5000, 'x'), "application/json"); });
    const auto announced = client.timelineFriends();
    EXPECT_EQ(announced.value, "");
    EXPECT_EQ(announced.outcome.failure, TransferFailure::TooLarge);
    EXPECT_NE(announced.outcome.detail.find("larger than 1000"), std::string::npos);

    // No length announced: the cap is found while the answer streams in.
    server.setResponder([](const Captured&, httplib::Response& res) { trickle(res, 600, std::chrono::milliseconds(1)); });
    EXPECT_EQ(client.timelineFriends().outcome.failure, TransferFailure::TooLarge);

    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content(std::string(1000, 'y'), "application/json"); });
    const auto fits = client.timelineFriends();
    EXPECT_EQ(fits.value, std::string(1000, 'y'));
    EXPECT_TRUE(fits.ok());
}

TEST(SinaWeiboLimits, EachReplyCarriesItsOwnStatusAndFailureKind)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());

    server.setResponder([](const Captured&, httplib::Response& res) {
        res.status = 500;
        res.set_content("<html>oops</html>", "text/html");
    });
    const auto broken = client.timelineFriends();
    EXPECT_EQ(broken.value, "<html>oops</html>");
    EXPECT_EQ(broken.outcome.httpStatus, 500);
    EXPECT_EQ(broken.outcome.failure, TransferFailure::ServerError);

    server.setResponder([](const Captured&, httplib::Response& res) {
        res.status = 401;
        res.set_content("{\"error\":\"token invalid or expired\",\"error_code\":\"40111\"}", "application/json");
    });
    const auto refused = client.statusUnread();
    EXPECT_EQ(refused.outcome.failure, TransferFailure::AuthRefused);
    EXPECT_EQ(refused.outcome.errorCode, 40111);

    // A transfer of another thread in between changes nothing of a reply already handed back.
    server.setResponder([](const Captured&, httplib::Response& res) { res.set_content("[]", "application/json"); });
    std::thread([&] { EXPECT_TRUE(client.timelineFriends().ok()); }).join();
    EXPECT_EQ(refused.outcome.failure, TransferFailure::AuthRefused);
    EXPECT_EQ(broken.outcome.httpStatus, 500);

    EXPECT_EQ(weibo::errorCodeOf("{\"error_code\": 40109}"), 40109);
    EXPECT_EQ(weibo::errorCodeOf("{\"error\":\"40111:Error: token invalid\",\"error_code\":\"401\"}"), 40111);
    EXPECT_EQ(weibo::errorCodeOf("[{\"id\":1}]"), 0);
}

TEST(SinaWeiboLimits, AnAnswerCutShortIsABrokenConnectionNotAnUnreachableService)
{
    // The service answers with a length it never sends, then closes: it was reached.
    servicetest::ScriptedListener cut("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n[{\"id\":1");
    SinaWeibo client;
    signIn(client, cut.origin());
    EXPECT_EQ(client.timelineFriends().outcome.failure, TransferFailure::Broken);

    // Nobody listens at all: that is the unreachable service.
    const std::string closed = cut.origin();
    cut.stop();
    SinaWeibo other;
    signIn(other, closed);
    EXPECT_EQ(other.timelineFriends().outcome.failure, TransferFailure::Connection);
}

TEST(SinaWeiboLimits, AUsersWriteIsAnsweredWithinItsDeadlineWhileASlowReadHoldsTheLock)
{
    LoopbackServer server;
    // Reads trickle at 100 bytes a second (above the low-speed floor) for as long as they are let; writes answer.
    server.setResponder([](const Captured& r, httplib::Response& res) {
        if (r.method == "GET")
            trickle(res, 10, std::chrono::milliseconds(100));
        else
            res.set_content("{\"id\":7}", "application/json");
    });
    SinaWeibo reader;
    signIn(reader, server.origin());
    SinaWeibo writer;
    signIn(writer, server.origin());
    writer.setActionLimits(6000, 1000);
    reader.setActionLimits(6000, 1000);

    std::atomic<bool> readEnded{false};
    weibo::Reply<std::string> read;
    std::thread poll([&] {
        read = reader.timelineFriends();
        readEnded = true;
    });
    // The read holds the lock once the server has seen it.
    ASSERT_TRUE(servicetest::waitFor([&] { return server.count() == 1; }));
    const auto start = Clock::now();
    const auto written = writer.statusUpdate("hello");
    poll.join();
    EXPECT_TRUE(written.ok());
    EXPECT_EQ(written.value, "{\"id\":7}");
    // The read gave way after the write had waited its second, and says it was slow.
    EXPECT_LT(secondsSince(start), 6.0);
    EXPECT_TRUE(readEnded.load());
    EXPECT_EQ(read.outcome.failure, TransferFailure::TimedOut);

    // A write that cannot get the lock before its deadline fails in time instead of waiting behind it.
    writer.setActionLimits(1500, 60000);
    reader.setActionLimits(6000, 60000);
    std::thread blocker([&] { reader.timelineFriends(); });
    ASSERT_TRUE(servicetest::waitFor([&] { return server.count() == 3; }));
    const auto late = Clock::now();
    EXPECT_EQ(writer.statusUpdate("again").outcome.failure, TransferFailure::TimedOut);
    EXPECT_LT(secondsSince(late), 4.0);
    weibo::cancelAllTransfers();
    blocker.join();
    weibo::allowTransfers();
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

        EXPECT_EQ(client.timelineFriends().value, "[]");
        EXPECT_EQ(server.count(), 2u);
        EXPECT_NEAR(double(client.oAuth().clockOffset()), double(skew), 3.0);
        EXPECT_EQ(client.statusUpdate("hello").value, "[]");
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
    const auto refused = client.timelineFriends();
    EXPECT_FALSE(refused.value.empty());
    EXPECT_EQ(server.count(), 1u);
    EXPECT_EQ(refused.outcome.httpStatus, 401);
}

} // namespace
