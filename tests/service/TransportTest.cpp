// The transfers of the client: bodies, failures, time-outs, the process-wide lock and the token flows.
#include "LoopbackServer.h"

#include "service/WeiboAPI.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using servicetest::Captured;
using servicetest::LoopbackServer;
using weibo::SinaWeibo;
using weibo::SinaWeiboOptions;

const char* const kConsumerKey = "5127730916";
const char* const kConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";

void signIn(SinaWeibo& client, const std::string& origin)
{
    client.setBaseUrls(origin, origin + "/2");
    client.oAuth().setConsumerKey(kConsumerKey);
    client.oAuth().setConsumerSecret(kConsumerSecret);
    client.oAuth().setOAuthTokenKey("access-token");
    client.oAuth().setOAuthTokenSecret("access-secret");
}

std::string signatureError(const LoopbackServer& server, const Captured& r,
                           const std::string& tokenSecret = "access-secret")
{
    return servicetest::checkSignature(r, server.origin(), kConsumerSecret, tokenSecret);
}

TEST(SinaWeiboTransport, MultipartUploadThenDeleteThenEmptyPost)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());

    const std::string pictureBytes("\xff\xd8\xff\xe0\0JFIF\r\n--not-a-boundary\r\n\0\xff\xd9", 31);
    const auto picture = std::filesystem::temp_directory_path()
        / ("plumet-service-test-" + std::to_string(::getpid()) + ".jpg");
    std::ofstream(picture, std::ios::binary) << pictureBytes;

    SinaWeiboOptions where;
    where.latitude_ = 1.5f;
    where.longtitude_ = 2.25f;
    EXPECT_EQ(client.statusUpload("图 片 & more", picture.string(), where).value, "{\"path\":\"/statuses/upload.json\"}")
        << client.getLastCurlError();
    std::filesystem::remove(picture);
    const Captured upload = server.last();
    EXPECT_EQ(upload.method, "POST");
    EXPECT_EQ(upload.path, "/statuses/upload.json");
    EXPECT_EQ(upload.contentType.rfind("multipart/form-data; boundary=", 0), 0u) << upload.contentType;
    const auto& parts = upload.parts;
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].name, "pic");
    EXPECT_EQ(parts[0].filename, picture.filename().string());
    EXPECT_EQ(parts[0].content, pictureBytes);
    EXPECT_EQ(parts[1].name, "lat");
    EXPECT_EQ(parts[1].content, "1.5");
    EXPECT_EQ(parts[2].name, "long");
    EXPECT_EQ(parts[2].content, "2.25");
    EXPECT_EQ(parts[3].name, "status");
    EXPECT_EQ(parts[3].content, "图 片 & more");
    EXPECT_EQ(signatureError(server, upload), "");

    // Nothing of the form may travel with the DELETE that follows.
    client.statusDestroyById(42);
    const Captured destroy = server.last();
    EXPECT_EQ(destroy.method, "DELETE");
    EXPECT_EQ(destroy.target, "/statuses/destroy/42.json");
    EXPECT_EQ(destroy.body, "");
    EXPECT_EQ(destroy.contentType, "");
    EXPECT_TRUE(destroy.contentLength.empty() || destroy.contentLength == "0") << destroy.contentLength;
    EXPECT_EQ(destroy.authorizationCount, 1u);
    EXPECT_EQ(signatureError(server, destroy), "");

    // A POST with an empty form sends an empty body, not the previous POST's one.
    client.statusUpdate("first");
    EXPECT_EQ(server.last().body, "status=first");
    client.friendshipsCreate(SinaWeiboOptions());
    const Captured empty = server.last();
    EXPECT_EQ(empty.method, "POST");
    EXPECT_EQ(empty.path, "/friendships/create.json");
    EXPECT_EQ(empty.body, "");
    EXPECT_EQ(empty.contentLength, "0");
    EXPECT_EQ(signatureError(server, empty), "");

    // Nor does a url-encoded body travel with a DELETE or a GET.
    client.statusUpdate("second");
    client.commentDestroyById(43);
    EXPECT_EQ(server.last().method, "DELETE");
    EXPECT_EQ(server.last().body, "");
    client.statusUpdate("third");
    client.accountVerify();
    EXPECT_EQ(server.last().method, "GET");
    EXPECT_EQ(server.last().body, "");
    EXPECT_EQ(server.count(), 8u);
}

TEST(SinaWeiboTransport, UnreadablePictureSendsNothing)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());
    EXPECT_EQ(client.statusUpload("text", "/nonexistent/plumet/picture.jpg").value, "");
    EXPECT_EQ(server.count(), 0u);
    EXPECT_NE(client.getLastCurlError().find("/nonexistent/plumet/picture.jpg"), std::string::npos);
}

TEST(SinaWeiboTransport, UnreachableServerKeepsErrorTextUntilNextTransfer)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, "http://127.0.0.1:" + std::to_string(servicetest::unusedPort()));

    EXPECT_EQ(client.timelineFriends().value, "");
    const std::string error = client.getLastCurlError();
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(client.getLastCurlError(), error);
    EXPECT_EQ(client.getLastWebResponse(), "");

    client.setBaseUrls(server.origin(), server.origin() + "/2");
    EXPECT_EQ(client.accountVerify().value, "{\"path\":\"/account/verify_credentials.json\"}");
    EXPECT_EQ(client.getLastCurlError(), "");
    EXPECT_EQ(client.getLastWebResponse(), "{\"path\":\"/account/verify_credentials.json\"}");
}

TEST(SinaWeiboTransport, ErrorAnswersAndLargeBodiesComeBackUnchanged)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());

    const std::string error = "{\"request\":\"/statuses/update.json\",\"error_code\":\"400\","
                              "\"error\":\"40025:Error: repeated weibo text! 不要重复发布\"}";
    server.setResponder([&](const Captured&, httplib::Response& res) {
        res.status = 400;
        res.set_content(error, "application/json");
    });
    EXPECT_EQ(client.statusUpdate("again").value, error);
    EXPECT_EQ(client.getLastCurlError(), "");

    std::string large(300000, 'x');
    for (std::size_t i = 0; i < large.size(); i += 997)
        large[i] = static_cast<char>('a' + i % 26);
    server.setResponder([&](const Captured&, httplib::Response& res) { res.set_content(large, "application/json"); });
    EXPECT_EQ(client.timelineFriends().value, large);

    server.setResponder([](const Captured&, httplib::Response& res) { res.status = 204; });
    EXPECT_EQ(client.accountVerify().value, "");
    EXPECT_EQ(client.getLastCurlError(), "");
}

TEST(SinaWeiboTransport, SilentServerEndsAsTransportFailureWithinTheTimeOut)
{
    servicetest::SilentListener silent;
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, silent.origin());
    client.setConnectTimeout(2000);
    client.setLowSpeedAbort(1, 1);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.timelineFriends().value, "");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(15));
    EXPECT_FALSE(client.getLastCurlError().empty());

    // The lock is free again for every other client.
    SinaWeibo other;
    signIn(other, server.origin());
    EXPECT_FALSE(other.accountVerify().value.empty());
}

TEST(SinaWeiboTransport, TransfersOfTwoThreadsNeverOverlap)
{
    LoopbackServer server;
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    server.setResponder([&](const Captured&, httplib::Response& res) {
        const int now = ++active;
        int seen = mostActive.load();
        while (now > seen && !mostActive.compare_exchange_weak(seen, now)) {
        }
        // Gives a second transfer time to arrive while this one is still being answered.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --active;
        res.set_content("{}", "application/json");
    });

    auto worker = [&server] {
        SinaWeibo client;
        signIn(client, server.origin());
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(client.timelineMentions().value, "{}");
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(server.count(), 12u);
    EXPECT_EQ(mostActive.load(), 1);
}

TEST(SinaWeiboTransport, ProxyCredentialsAndTheOnlyAuthorizationHeader)
{
    LoopbackServer server;
    SinaWeibo client;
    signIn(client, server.origin());

    // Without configured credentials a transfer carries no Authorization at all but the signed one ...
    EXPECT_FALSE(client.performGet(server.origin() + "/plain", "").value.empty());
    EXPECT_EQ(server.last().authorizationCount, 0u);
    client.accountVerify();
    EXPECT_EQ(server.last().authorizationCount, 1u);
    EXPECT_EQ(server.last().authorization.rfind("OAuth ", 0), 0u);

    // ... and configured ones never replace the signed header.
    client.setSinaUsername("");
    EXPECT_EQ(client.getSinaUsername(), "");
    client.setSinaUsername("someone");
    client.setSinaPassword("secret");
    client.accountVerify();
    EXPECT_EQ(server.last().authorizationCount, 1u);
    EXPECT_EQ(server.last().authorization.rfind("OAuth ", 0), 0u);

    // Through a proxy (the loopback server plays it) the request names the real target.
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(servicetest::unusedPort());
    client.setBaseUrls(nowhere, nowhere + "/2");
    client.setProxyServerIp("127.0.0.1");
    client.setProxyServerPort(std::to_string(server.port()));
    EXPECT_FALSE(client.timelineFriends().value.empty());
    EXPECT_EQ(server.last().target, nowhere + "/statuses/friends_timeline.json");
    client.setProxyServerIp("");
    EXPECT_EQ(client.getProxyServerIp(), "127.0.0.1");
    EXPECT_FALSE(client.friendshipsIds().value.empty());
    EXPECT_EQ(server.last().target, nowhere + "/2/friendships/friends/ids.json");
}

// Without a proxy of its own the client goes where the environment says, as libcurl does by default: the relay
// named by http_proxy, or straight to a host that no_proxy names. A proxy of its own wins over the variables.
TEST(SinaWeiboTransport, TheEnvironmentsProxyUnlessNoProxyNamesTheHostAndAConfiguredOneWins)
{
    LoopbackServer service;
    LoopbackServer relay;
    LoopbackServer own;
    SinaWeibo client;
    signIn(client, service.origin());
    ::setenv("http_proxy", relay.origin().c_str(), 1);

    EXPECT_FALSE(client.timelineFriends().value.empty());
    ASSERT_EQ(relay.count(), 1u);
    EXPECT_EQ(relay.last().target, service.origin() + "/statuses/friends_timeline.json");
    EXPECT_EQ(service.count(), 0u);

    ::setenv("no_proxy", "localhost,127.0.0.1", 1);
    EXPECT_FALSE(client.timelineFriends().value.empty());
    EXPECT_EQ(relay.count(), 1u);
    EXPECT_EQ(service.count(), 1u);
    ::unsetenv("no_proxy");

    client.setProxyServerIp("127.0.0.1");
    client.setProxyServerPort(std::to_string(own.port()));
    EXPECT_FALSE(client.timelineFriends().value.empty());
    EXPECT_EQ(own.count(), 1u);
    EXPECT_EQ(relay.count(), 1u);

    // Forgotten: the environment's again.
    client.clearProxy();
    EXPECT_EQ(client.getProxyServerIp(), "");
    EXPECT_FALSE(client.timelineFriends().value.empty());
    EXPECT_EQ(relay.count(), 2u);
    EXPECT_EQ(own.count(), 1u);
    ::unsetenv("http_proxy");
}

TEST(SinaWeiboTransport, BufferHelpersAndBaseUrls)
{
    SinaWeibo client;
    ASSERT_TRUE(client.isCurlInit());
    EXPECT_EQ(client.baseUrl(), weibo::WEIBO_HOST);
    EXPECT_EQ(client.baseUrl2(), weibo::WEIBO2_HOST);
    client.setBaseUrls("http://127.0.0.1:9/", "");
    EXPECT_EQ(client.makeBaseUrl("/statuses/unread"), "http://127.0.0.1:9/statuses/unread.json");
    EXPECT_EQ(client.makeBaseUrl2("/x"), weibo::WEIBO2_HOST + "/x.json");

    char data[] = "abcdef";
    EXPECT_EQ(client.saveLastWebResponse(nullptr, 3), 0u);
    EXPECT_EQ(client.saveLastWebResponse(data, 0), 0u);
    EXPECT_EQ(client.saveLastWebResponse(data, 3), 3u);
    EXPECT_EQ(SinaWeibo::curlCallback(data, 2, 3, &client), 6u);
    EXPECT_EQ(SinaWeibo::curlCallback(data, 2, 0, &client), 0u);
    EXPECT_EQ(SinaWeibo::curlCallback(nullptr, 2, 3, &client), 0u);
    EXPECT_EQ(SinaWeibo::curlCallback(data, 2, 3, nullptr), 0u);
    EXPECT_EQ(client.getLastWebResponse(), "abcabcdef");

    std::string params;
    weibo::utilMakeCurlParams(params, "user", "pass");
    EXPECT_EQ(params, "user:pass");
}

TEST(SinaWeiboTokens, PinFlowReplacesTheRequestToken)
{
    LoopbackServer server;
    server.setResponder([](const Captured& r, httplib::Response& res) {
        if (r.path == "/oauth/request_token")
            res.set_content("oauth_token=req-token&oauth_token_secret=req-secret", "text/plain");
        else if (r.path == "/oauth/access_token")
            res.set_content("oauth_token=acc-token&oauth_token_secret=acc-secret&user_id=1904178193", "text/plain");
        else
            res.set_content("{}", "application/json");
    });
    SinaWeibo client;
    client.setBaseUrls(server.origin(), server.origin() + "/2");
    client.oAuth().setConsumerKey(kConsumerKey);
    client.oAuth().setConsumerSecret(kConsumerSecret);

    std::string authorizeUrl = "stale";
    ASSERT_TRUE(client.acquireAuthorizeUrl(authorizeUrl));
    EXPECT_EQ(authorizeUrl, server.origin() + "/oauth/authorize?oauth_token=req-token");
    Captured r = server.last();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/oauth/request_token");
    auto header = servicetest::parseAuthorization(r.authorization);
    EXPECT_EQ(header.names(), "oauth_consumer_key,oauth_nonce,oauth_signature,oauth_signature_method,"
                              "oauth_timestamp,oauth_version");
    EXPECT_EQ(signatureError(server, r, ""), "");

    ASSERT_TRUE(client.acquireOAuthAccessToken(std::string("482915")));
    r = server.last();
    EXPECT_EQ(r.target, "/oauth/access_token");
    header = servicetest::parseAuthorization(r.authorization);
    EXPECT_EQ(header.value("oauth_token"), "req-token");
    EXPECT_EQ(header.value("oauth_verifier"), "482915");
    EXPECT_EQ(signatureError(server, r, "req-secret"), "");
    EXPECT_EQ(client.oAuth().oAuthTokenKey(), "acc-token");
    EXPECT_EQ(client.oAuth().oAuthUserId(), "1904178193");
    EXPECT_EQ(client.oAuth().oAuthPin(), "");

    client.accountVerify();
    header = servicetest::parseAuthorization(server.last().authorization);
    EXPECT_EQ(header.value("oauth_token"), "acc-token");
    EXPECT_EQ(header.value("oauth_verifier"), "");
    EXPECT_EQ(signatureError(server, server.last(), "acc-secret"), "");

    // An error document as the answer leaves no usable token behind.
    server.setResponder([](const Captured&, httplib::Response& res) {
        res.status = 401;
        res.set_content("{\"error\":\"40109:Error: consumer_key_refused!\"}", "application/json");
    });
    EXPECT_FALSE(client.acquireAuthorizeUrl(authorizeUrl));
    EXPECT_EQ(authorizeUrl, "");
    EXPECT_EQ(client.oAuth().oAuthTokenKey(), "");
}

TEST(SinaWeiboTokens, XAuthExchange)
{
    LoopbackServer server;
    server.setResponder([](const Captured&, httplib::Response& res) {
        res.set_content("oauth_token=x-token&oauth_token_secret=x-secret&user_id=42", "text/plain");
    });
    SinaWeibo client;
    client.setBaseUrls(server.origin(), "");
    client.oAuth().setConsumerKey(kConsumerKey);
    client.oAuth().setConsumerSecret(kConsumerSecret);

    ASSERT_TRUE(client.acquireOAuthAccessToken("reader@plumet.test", "p@ss word"));
    const Captured r = server.last();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/oauth/access_token");
    EXPECT_EQ(r.body, "source=5127730916");
    const auto header = servicetest::parseAuthorization(r.authorization);
    EXPECT_EQ(header.names(), "oauth_consumer_key,oauth_nonce,oauth_signature,oauth_signature_method,oauth_timestamp,"
                              "oauth_version,x_auth_mode,x_auth_password,x_auth_username");
    EXPECT_EQ(header.value("x_auth_username"), "reader@plumet.test");
    EXPECT_EQ(header.value("x_auth_password"), "p@ss word");
    EXPECT_EQ(header.value("x_auth_mode"), "client_auth");
    EXPECT_EQ(signatureError(server, r, ""), "");
    EXPECT_EQ(client.oAuth().oAuthTokenSecret(), "x-secret");
    EXPECT_EQ(client.oAuth().oAuthUserId(), "42");

    // No answer at all keeps the token there was.
    client.setBaseUrls("http://127.0.0.1:" + std::to_string(servicetest::unusedPort()), "");
    EXPECT_FALSE(client.acquireOAuthAccessToken("reader@plumet.test", "p@ss word"));
    EXPECT_EQ(client.oAuth().oAuthTokenKey(), "x-token");
}

} // namespace
