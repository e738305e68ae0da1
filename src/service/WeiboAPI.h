#pragma once
// weibo::SinaWeibo: the signed HTTP client of the service, its endpoint catalogue and request options.
#include "service/Reply.h"
#include "service/WeiboPaths.h"
#include "service/oauth.h"

#include <boost/optional.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// libcurl's handle types, declared exactly as its header declares them, so that the layers that use the client
// do not take in the transport's header with it.
typedef void CURL;
typedef void CURLM;

namespace weibo {

using oAuth::KeyValueMap;

// Every HTTP transfer of the process runs under this lock, one at a time, whatever thread or client starts it. It
// also guards each client's transfer handle, buffers, prepared flags, proxy, basic credentials and time-outs.
// Unlike a plain mutex it knows who waits: a write the user started goes ahead of waiting reads, and may wait only
// until its deadline, so the user hears of a slow service in time whatever the background is doing.
class TransferLock {
public:
    using Clock = std::chrono::steady_clock;

    void lock() { lockUntil(false, Clock::time_point::max()); }
    void unlock();
    // Waits at most until `deadline`; an action is let in before any waiting read. False when the deadline came
    // first (the lock is then not held).
    bool lockUntil(bool action, Clock::time_point deadline);
    // How long the action that has waited longest has been waiting (zero when none waits).
    Clock::duration longestActionWait() const;

private:
    mutable std::mutex m_;  // guards everything below
    std::condition_variable cv_;
    bool held_ = false;
    int actionsWaiting_ = 0;
    std::multiset<Clock::time_point> actionWaitSince_;
};
extern TransferLock curl_lock;

// Quitting cancels every transfer in flight: each ends within a tenth of a second as a failure, and every later
// one fails at once without a connection, so no thread of the program stays behind curl_lock. allowTransfers
// lifts it (a test that cancels, a start after a cancelled one).
void cancelAllTransfers();
void allowTransfers();
bool transfersCancelled();

// The service's error codes that mean the access token itself is refused (unknown, revoked or expired).
bool isTokenRefusal(int errorCode);
// The service's code of an error answer: the one leading its "error" text ("40109:Error: ..."), else its
// "error_code" (40109 or "40109"); 0 when none.
int errorCodeOf(const std::string& body);

// Default base addresses (the local development service). A client starts with these and takes the
// configured ones through SinaWeibo::setBaseUrls.
inline const std::string WEIBO_HOST = "http://127.0.0.1:8470";
inline const std::string WEIBO2_HOST = "http://127.0.0.1:8470/2";

inline const std::string WEIBO_API_FORMAT_JSON = ".json";
inline const std::string WEIBO_API_FORMAT_XML = ".xml";

// Optional request parameters; a present member is sent under its key (the name without the trailing
// underscore; latitude_ -> lat, longtitude_ -> long), an absent one is left out. min_id_ is never sent.
struct SinaWeiboOptions {
    boost::optional<std::uint64_t> user_id_;
    boost::optional<std::uint64_t> uid_;
    boost::optional<std::string> screen_name_;
    boost::optional<std::uint64_t> since_id_;
    boost::optional<std::uint64_t> min_id_;
    boost::optional<std::uint64_t> max_id_;
    boost::optional<int> count_;
    boost::optional<int> page_;
    boost::optional<int> base_app_;
    boost::optional<int> feature_;
    boost::optional<std::uint64_t> in_reply_to_status_id_;
    boost::optional<float> latitude_;
    boost::optional<float> longtitude_;
    boost::optional<std::string> annotations_;
    boost::optional<std::uint64_t> cid_;
    boost::optional<int> without_mention_;
    boost::optional<int> comment_ori_;
    boost::optional<std::string> status_;
    boost::optional<int> is_comment_;
    boost::optional<int> with_new_status_;
    boost::optional<std::string> type_;
    boost::optional<std::string> language_;
    boost::optional<int> listType_;
    boost::optional<int> cursor_;
    boost::optional<std::uint64_t> source_id_;
    boost::optional<std::string> source_screen_name_;
    boost::optional<std::uint64_t> target_id_;
    boost::optional<std::string> target_screen_name_;
    boost::optional<int> range_;
};

// out = first + ":" + second.
void utilMakeCurlParams(std::string& out, const std::string& first, const std::string& second);

class SinaWeibo {
public:
    // Transport limits that keep a dead, trickling or flooding server from holding curl_lock (and memory) for
    // ever: the connect time-out, a low-speed abort, a total time per transfer and a cap on the answer. A read
    // (GET) may take DEFAULT_READ_TIMEOUT_S, but gives way once a write the user started has waited
    // DEFAULT_GIVE_WAY_S for the lock; such a write is answered, or reported as failed, within
    // DEFAULT_ACTION_DEADLINE_S of its call, its wait for the lock included. A picture upload keeps its own limit.
    static constexpr long DEFAULT_CONNECT_TIMEOUT_MS = 15000;
    static constexpr long DEFAULT_LOW_SPEED_LIMIT = 64;  // bytes per second ...
    static constexpr long DEFAULT_LOW_SPEED_TIME = 15;   // ... for this many seconds aborts the transfer
    static constexpr long DEFAULT_READ_TIMEOUT_S = 30;
    static constexpr long DEFAULT_ACTION_DEADLINE_S = 20;
    static constexpr long DEFAULT_GIVE_WAY_S = 8;
    static constexpr long DEFAULT_UPLOAD_TIMEOUT_S = 600;   // a multipart POST with a picture
    static constexpr std::size_t DEFAULT_MAX_ANSWER_BYTES = 8u * 1024u * 1024u;

    SinaWeibo();
    ~SinaWeibo();
    SinaWeibo(const SinaWeibo&) = delete;
    SinaWeibo& operator=(const SinaWeibo&) = delete;

    bool isCurlInit() const { return curlHandle != nullptr; }
    oAuth::OAuth& oAuth() { return oauth_; }

    // Base addresses without trailing slash (one is dropped if given); an empty argument keeps the old value.
    void setBaseUrls(const std::string& v1, const std::string& v2);
    std::string baseUrl() const;
    std::string baseUrl2() const;

    const std::string& getSinaUsername() const { return sinaUsername; }
    const std::string& getSinaPassword() const { return sinaPassword; }
    const std::string& getProxyServerIp() const { return proxyServerIp; }
    const std::string& getProxyServerPort() const { return proxyServerPort; }
    const std::string& getProxyUserName() const { return proxyUserName; }
    const std::string& getProxyPassword() const { return proxyPassword; }

    // An empty argument is ignored; otherwise the value is applied on the next transfer.
    void setProxyServerIp(const std::string& v);
    void setProxyServerPort(const std::string& v);
    void setProxyUserName(const std::string& v);
    void setProxyPassword(const std::string& v);
    void setSinaUsername(const std::string& v);
    void setSinaPassword(const std::string& v);
    // Forgets the configured proxy: from the next transfer on the environment's proxy variables apply again.
    void clearProxy();

    // Values below 1 are ignored.
    void setConnectTimeout(long milliseconds);
    void setLowSpeedAbort(long bytesPerSecond, long seconds);
    void setTransferTimeouts(long readSeconds, long uploadSeconds);
    // The deadline of a write the user started, and how long such a write waits before a read gives way to it;
    // in milliseconds.
    void setActionLimits(long deadlineMs, long giveWayMs);
    void setMaxAnswerBytes(std::size_t bytes);

    // The last transfer's error text (at most 1023 characters), kept until the next transfer.
    std::string getLastCurlError();
    std::string getLastWebResponse() const;

    // Appends n bytes to the response buffer; 0 for no data.
    std::size_t saveLastWebResponse(const char* data, std::size_t n);
    // The transport's write callback; client is the SinaWeibo. Ends the transfer once the answer passes the
    // size cap.
    static std::size_t curlCallback(char* data, std::size_t size, std::size_t nmemb, void* client);

    std::string makeBaseUrl(const std::string& path) const;   // version 1 + path + ".json"
    std::string makeBaseUrl2(const std::string& path) const;  // version 2 + path + ".json"

    // Transfers: the response body (empty for a transport failure or no handle) and the outcome of this transfer.
    Reply<std::string> performGet(const std::string& url);
    Reply<std::string> performGet(const std::string& url, const std::string& headerLine);
    Reply<std::string> performPost(const std::string& url, const KeyValueMap& params, const std::string& picturePath,
                                   bool xauth);
    Reply<std::string> performDelete(const std::string& url);

    // Token flows: true on success; `outcome`, when given, receives why one failed (an answer that carries no
    // token is Unreadable).
    bool acquireAuthorizeUrl(std::string& authorizeUrl, TransferOutcome* outcome = nullptr);
    bool acquireOAuthAccessToken(const std::string& pin, TransferOutcome* outcome = nullptr);
    bool acquireOAuthAccessToken(const std::string& userName, const std::string& password,
                                 TransferOutcome* outcome = nullptr);

    // Reading operations (GET).
    Reply<std::string> timelinePublic(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineFriends(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineUser(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineMentions(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineCommentsToMe(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineCommentsByMe(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineAllMyComments(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> timelineComments(std::uint64_t statusId, const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> directMessages(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> directMessagesSent(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> favorites(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusUnread(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusCounts(const std::vector<std::uint64_t>& statusIds);
    Reply<std::string> statusShowById(std::uint64_t statusId, const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> userShow(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> accountVerify();
    Reply<std::string> emotions(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> friendshipsShow(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> friendshipsIds(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> searchSuggestionsAtUsers(const std::string& prefix, int type,
                                                const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> userLists(const std::string& user, const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> membersOfUserList(const std::string& user, const std::string& list,
                                         const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> isUserMemberOfList(const std::string& member, const std::string& owner, const std::string& list);

    // Writing operations (POST).
    Reply<std::string> statusUpdate(const std::string& text, const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusUpload(const std::string& text, const std::string& picturePath,
                                    const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusRepost(std::uint64_t statusId, const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusComment(std::uint64_t statusId, const std::string& text,
                                     const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusReply(std::uint64_t commentId, const std::string& text, std::uint64_t statusId,
                                   const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> directMessagesNew(const std::string& recipient, const std::string& text,
                                         const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> favoritesCreate(std::uint64_t statusId);
    Reply<std::string> friendshipsCreate(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> friendshipsDestroy(const SinaWeiboOptions& options = SinaWeiboOptions());
    Reply<std::string> statusResetCount(int type);

    // Deleting operations (DELETE).
    Reply<std::string> statusDestroyById(std::uint64_t statusId);
    Reply<std::string> commentDestroyById(std::uint64_t commentId);
    Reply<std::string> favoritesDestroy(std::uint64_t statusId);
    Reply<std::string> directMessagesDestroyById(std::uint64_t messageId);

private:
    enum { ERROR_BUFFER_SIZE = 1024 };

    // All of these run with curl_lock held.
    void prepareStandardParams();
    void prepareCurlProxy();
    void prepareCurlCallback();
    void prepareCurlUserPass();
    void clearCurlCallbackBuffers();
    // What a transfer is to the user, which sets its limits and its place in the queue for curl_lock.
    enum class RequestClass { Read, Action, Upload };
    // Takes curl_lock for a request of that class: a read waits as long as it must, an action until its deadline.
    // Answers the lock held (owns_lock false when the deadline came first) and the deadline of the transfer.
    std::unique_lock<TransferLock> lockFor(RequestClass requestClass, TransferLock::Clock::time_point& deadline);
    // Sets the header line (none when empty) and the URL, performs, and drops the header list again.
    Reply<std::string> performPrepared(const std::string& url, const std::string& headerLine,
                                       RequestClass requestClass, TransferLock::Clock::time_point deadline);
    // Signs and performs; a timestamp the service refuses is corrected by the service's clock (its Date
    // header) and the request made once more. setBody sets method and body again for each attempt.
    Reply<std::string> performSigned(int kind, const std::string& url, const KeyValueMap& params, bool xauth,
                                     RequestClass requestClass, TransferLock::Clock::time_point deadline,
                                     const std::function<void()>& setBody);
    // Runs the prepared transfer, checking the cancel flag at least every 50 ms; a read also gives way to a
    // waiting action there. Answers libcurl's result code (a CURLcode).
    int runTransfer(RequestClass requestClass);
    // The outcome of a request that could not be made or could not take the lock in time.
    static Reply<std::string> unsent(TransferFailure failure, const std::string& detail);
    // After a refused timestamp: takes the offset from the Date header; true when it changed.
    bool adoptServiceClock();
    static std::size_t headerCallback(char* data, std::size_t size, std::size_t nmemb, void* client);

    CURL* curlHandle = nullptr;
    char errorBuffer[ERROR_BUFFER_SIZE];
    std::string lastWebResponse;
    bool proxyPrepared = false;
    bool userPassPrepared = false;
    bool callbackPrepared = false;
    std::string proxyServerIp;
    std::string proxyServerPort;
    std::string proxyUserName;
    std::string proxyPassword;
    std::string sinaUsername;
    std::string sinaPassword;
    oAuth::OAuth oauth_;

    long connectTimeoutMs = DEFAULT_CONNECT_TIMEOUT_MS;
    long lowSpeedLimit = DEFAULT_LOW_SPEED_LIMIT;
    long lowSpeedTime = DEFAULT_LOW_SPEED_TIME;
    long readTimeoutS = DEFAULT_READ_TIMEOUT_S;
    long uploadTimeoutS = DEFAULT_UPLOAD_TIMEOUT_S;
    // Read before curl_lock is taken (an action's deadline starts at its call), so not guarded by it.
    std::atomic<long> actionDeadlineMs{DEFAULT_ACTION_DEADLINE_S * 1000};
    std::atomic<long> giveWayMs{DEFAULT_GIVE_WAY_S * 1000};
    bool gaveWay = false;  // the running read gave way to a waiting action
    std::size_t maxAnswerBytes = DEFAULT_MAX_ANSWER_BYTES;
    CURLM* multiHandle = nullptr;
    bool answerTooLarge = false;
    TransferOutcome lastOutcome;
    std::string lastDateHeader;

    mutable std::mutex baseUrlLock;  // guards host_ and host2_
    std::string host_ = WEIBO_HOST;
    std::string host2_ = WEIBO2_HOST;
};

} // namespace weibo
