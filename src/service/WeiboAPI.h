#pragma once
// weibo::SinaWeibo: the signed HTTP client of the service, its endpoint catalogue and request options.
#include "service/WeiboPaths.h"
#include "service/oauth.h"

#include <boost/optional.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// libcurl's handle types, declared exactly as its header declares them, so that the layers that use the client
// do not take in the transport's header with it.
typedef void CURL;
typedef void CURLM;

namespace weibo {

using oAuth::KeyValueMap;

// Every HTTP transfer of the process runs under this lock, one at a time, whatever thread or client
// starts it. It also guards each client's transfer handle, buffers, prepared flags, proxy, basic
// credentials and time-outs.
extern std::mutex curl_lock;

// Quitting cancels every transfer in flight: each ends within a tenth of a second as a failure, and every later
// one fails at once without a connection, so no thread of the program stays behind curl_lock. allowTransfers
// lifts it (a test that cancels, a start after a cancelled one).
void cancelAllTransfers();
void allowTransfers();
bool transfersCancelled();

// Why a transfer failed, as far as a caller needs to tell it apart: a user sees a short text for it, and a
// refused token sends the user back to the authorisation.
enum class TransferFailure {
    None,
    Cancelled,    // cancelAllTransfers
    Connection,   // no connection, reset, unreadable HTTP
    TimedOut,     // connect time-out, low-speed abort or the total cap
    TooLarge,     // the answer passed the size cap
    ServerError,  // HTTP 5xx
    Refused,      // HTTP 4xx: the service's error object
    AuthRefused,  // the service no longer accepts the access token
    Unreadable,   // an answer came but could not be read (reported by the parsing caller)
};

struct TransferOutcome {
    TransferFailure failure = TransferFailure::None;
    long httpStatus = 0;      // 0: no answer
    int errorCode = 0;        // the service's "error_code", 0 when none
    std::string errorText;    // the transport's text, or the service's "error"
};

// The service's error codes that mean the access token itself is refused (unknown, revoked or expired).
bool isTokenRefusal(int errorCode);
// The service's code of an error answer: the one leading its "error" text ("40109:Error: ..."), else its
// "error_code" (40109 or "40109"); 0 when none.
int errorCodeOf(const std::string& body);

// Collects the outcome of every transfer the current thread makes while it lives (watches nest; each one sees
// the transfers made in its lifetime). A background block makes one to tell "nothing new" from "the service
// could not be asked", without sharing any state with other threads.
class TransferWatch {
public:
    TransferWatch();
    ~TransferWatch();
    TransferWatch(const TransferWatch&) = delete;
    TransferWatch& operator=(const TransferWatch&) = delete;

    bool failed() const { return first_.failure != TransferFailure::None; }
    // The first failure seen (a refused token wins over any other, since only it needs the user).
    const TransferOutcome& failure() const { return first_; }
    std::size_t transfers() const { return transfers_; }
    // Records an outcome on every watch of this thread (the transfers do; a parser reports Unreadable).
    static void record(const TransferOutcome& outcome);
    static void reportUnreadable();

private:
    void take(const TransferOutcome& outcome);
    TransferWatch* outer_;
    TransferOutcome first_;
    std::size_t transfers_ = 0;
};

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
    // ever: the connect time-out, a low-speed abort, a total time per transfer and a cap on the answer.
    static constexpr long DEFAULT_CONNECT_TIMEOUT_MS = 15000;
    static constexpr long DEFAULT_LOW_SPEED_LIMIT = 64;  // bytes per second ...
    static constexpr long DEFAULT_LOW_SPEED_TIME = 30;   // ... for this many seconds aborts the transfer
    static constexpr long DEFAULT_READ_TIMEOUT_S = 120;     // every transfer but a picture upload
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
    void setMaxAnswerBytes(std::size_t bytes);

    // The HTTP status of the last transfer (0 when no answer came), so that a caller can tell the service's
    // answer from a failure; kept until the next transfer like the error text.
    long getLastHttpStatus();
    // The last transfer's outcome (failure kind, status, error code and text).
    TransferOutcome getLastOutcome();

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

    // Transfers: the response body, or empty for a transport failure or no handle.
    std::string performGet(const std::string& url);
    std::string performGet(const std::string& url, const std::string& headerLine);
    std::string performPost(const std::string& url, const KeyValueMap& params, const std::string& picturePath,
                            bool xauth);
    std::string performDelete(const std::string& url);

    // Token flows.
    bool acquireAuthorizeUrl(std::string& authorizeUrl);
    bool acquireOAuthAccessToken(const std::string& pin);
    bool acquireOAuthAccessToken(const std::string& userName, const std::string& password);

    // Reading operations (GET).
    std::string timelinePublic(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineFriends(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineUser(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineMentions(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineCommentsToMe(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineCommentsByMe(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineAllMyComments(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string timelineComments(std::uint64_t statusId, const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string directMessages(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string directMessagesSent(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string favorites(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusUnread(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusCounts(const std::vector<std::uint64_t>& statusIds);
    std::string statusShowById(std::uint64_t statusId, const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string userShow(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string accountVerify();
    std::string emotions(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string friendshipsShow(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string friendshipsIds(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string searchSuggestionsAtUsers(const std::string& prefix, int type,
                                         const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string userLists(const std::string& user, const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string membersOfUserList(const std::string& user, const std::string& list,
                                  const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string isUserMemberOfList(const std::string& member, const std::string& owner, const std::string& list);

    // Writing operations (POST).
    std::string statusUpdate(const std::string& text, const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusUpload(const std::string& text, const std::string& picturePath,
                             const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusRepost(std::uint64_t statusId, const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusComment(std::uint64_t statusId, const std::string& text,
                              const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusReply(std::uint64_t commentId, const std::string& text, std::uint64_t statusId,
                            const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string directMessagesNew(const std::string& recipient, const std::string& text,
                                  const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string favoritesCreate(std::uint64_t statusId);
    std::string friendshipsCreate(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string friendshipsDestroy(const SinaWeiboOptions& options = SinaWeiboOptions());
    std::string statusResetCount(int type);

    // Deleting operations (DELETE).
    std::string statusDestroyById(std::uint64_t statusId);
    std::string commentDestroyById(std::uint64_t commentId);
    std::string favoritesDestroy(std::uint64_t statusId);
    std::string directMessagesDestroyById(std::uint64_t messageId);

private:
    enum { ERROR_BUFFER_SIZE = 1024 };

    // All of these run with curl_lock held.
    void prepareStandardParams();
    void prepareCurlProxy();
    void prepareCurlCallback();
    void prepareCurlUserPass();
    void clearCurlCallbackBuffers();
    // Sets the header line (none when empty) and the URL, performs, and drops the header list again.
    std::string performPrepared(const std::string& url, const std::string& headerLine, bool upload = false);
    // Signs and performs; a timestamp the service refuses is corrected by the service's clock (its Date
    // header) and the request made once more. setBody sets method and body again for each attempt.
    std::string performSigned(int kind, const std::string& url, const KeyValueMap& params, bool xauth,
                              bool upload, const std::function<void()>& setBody);
    // Runs the prepared transfer, checking the cancel flag at least every 50 ms.
    // Answers libcurl's result code (a CURLcode).
    int runTransfer();
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
