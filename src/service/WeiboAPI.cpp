#include "service/WeiboAPI.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace weibo {

TransferLock curl_lock;

namespace {
std::atomic<bool> cancelled{false};
// How often a waiting transfer looks at the cancel flag.
constexpr int kCancelCheckMs = 50;
}

void TransferLock::unlock()
{
    {
        std::lock_guard<std::mutex> guard(m_);
        held_ = false;
    }
    cv_.notify_all();
}

bool TransferLock::lockUntil(bool action, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> guard(m_);
    auto free = [&] { return !held_ && (action || actionsWaiting_ == 0); };
    if (free()) {
        held_ = true;
        return true;
    }
    std::multiset<Clock::time_point>::iterator since;
    if (action) {
        ++actionsWaiting_;
        since = actionWaitSince_.insert(Clock::now());
    }
    const bool got = deadline == Clock::time_point::max() ? (cv_.wait(guard, free), true)
                                                          : cv_.wait_until(guard, deadline, free);
    if (action) {
        --actionsWaiting_;
        actionWaitSince_.erase(since);
    }
    if (got)
        held_ = true;
    else if (action)
        cv_.notify_all();  // reads held back for this action may go on
    return got;
}

TransferLock::Clock::duration TransferLock::longestActionWait() const
{
    std::lock_guard<std::mutex> guard(m_);
    if (actionWaitSince_.empty())
        return Clock::duration::zero();
    return Clock::now() - *actionWaitSince_.begin();
}

void cancelAllTransfers() { cancelled.store(true); }
void allowTransfers() { cancelled.store(false); }
bool transfersCancelled() { return cancelled.load(); }

bool isTokenRefusal(int errorCode)
{
    // 40111: the token is unknown, revoked or expired.
    return errorCode == 40111;
}

namespace {
// The digits right after `key` (skipping blanks, ':' and '"'), at most 9; 0 when none.
int numberAfter(const std::string& body, const std::string& key)
{
    std::size_t at = body.find(key);
    if (at == std::string::npos)
        return 0;
    at += key.size();
    while (at < body.size() && (std::isspace(static_cast<unsigned char>(body[at])) || body[at] == ':' || body[at] == '"'))
        ++at;
    long value = 0;
    int digits = 0;
    while (at < body.size() && std::isdigit(static_cast<unsigned char>(body[at])) && digits < 9) {
        value = value * 10 + (body[at++] - '0');
        ++digits;
    }
    return digits ? int(value) : 0;
}
}

int errorCodeOf(const std::string& body)
{
    // Only the service's small error object is looked at; a page of statuses is never an error. Its detailed
    // code leads the "error" text ("40109:Error: ..."), its "error_code" may be that code or the HTTP status.
    if (body.size() > 4096)
        return 0;
    const int detailed = numberAfter(body, "\"error\"");
    if (detailed >= 10000)
        return detailed;
    return numberAfter(body, "\"error_code\"");
}

namespace {
void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string withoutTrailingSlash(std::string url)
{
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}
}

void utilMakeCurlParams(std::string& out, const std::string& first, const std::string& second)
{
    out = first + ":" + second;
}

SinaWeibo::SinaWeibo()
{
    std::memset(errorBuffer, 0, sizeof errorBuffer);
    initCurlOnce();
    curlHandle = curl_easy_init();
    // Time-outs must not raise signals: transfers run on several threads.
    if (curlHandle)
        curl_easy_setopt(curlHandle, CURLOPT_NOSIGNAL, 1L);
    // The transfer is driven by hand (runTransfer), so that it can look at the cancel flag while it waits.
    multiHandle = curlHandle ? curl_multi_init() : nullptr;
    if (!multiHandle && curlHandle) {
        curl_easy_cleanup(curlHandle);
        curlHandle = nullptr;
    }
}

SinaWeibo::~SinaWeibo()
{
    if (curlHandle)
        curl_easy_cleanup(curlHandle);
    if (multiHandle)
        curl_multi_cleanup(multiHandle);
}

void SinaWeibo::setBaseUrls(const std::string& v1, const std::string& v2)
{
    std::lock_guard<std::mutex> lock(baseUrlLock);
    if (!v1.empty())
        host_ = withoutTrailingSlash(v1);
    if (!v2.empty())
        host2_ = withoutTrailingSlash(v2);
}

std::string SinaWeibo::baseUrl() const
{
    std::lock_guard<std::mutex> lock(baseUrlLock);
    return host_;
}

std::string SinaWeibo::baseUrl2() const
{
    std::lock_guard<std::mutex> lock(baseUrlLock);
    return host2_;
}

std::string SinaWeibo::makeBaseUrl(const std::string& path) const
{
    return baseUrl() + path + WEIBO_API_FORMAT_JSON;
}

std::string SinaWeibo::makeBaseUrl2(const std::string& path) const
{
    return baseUrl2() + path + WEIBO_API_FORMAT_JSON;
}

namespace {
// The transfer applies these values under curl_lock, so they change under it too; an empty argument
// keeps the old value and leaves the prepared flag alone.
void assignSetting(std::string& member, bool& prepared, const std::string& value)
{
    if (value.empty())
        return;
    std::lock_guard<TransferLock> lock(curl_lock);
    member = value;
    prepared = false;
}
}

void SinaWeibo::setProxyServerIp(const std::string& v) { assignSetting(proxyServerIp, proxyPrepared, v); }
void SinaWeibo::setProxyServerPort(const std::string& v) { assignSetting(proxyServerPort, proxyPrepared, v); }
void SinaWeibo::setProxyUserName(const std::string& v) { assignSetting(proxyUserName, proxyPrepared, v); }
void SinaWeibo::setProxyPassword(const std::string& v) { assignSetting(proxyPassword, proxyPrepared, v); }
void SinaWeibo::setSinaUsername(const std::string& v) { assignSetting(sinaUsername, userPassPrepared, v); }

void SinaWeibo::clearProxy()
{
    std::lock_guard<TransferLock> lock(curl_lock);
    proxyServerIp.clear();
    proxyServerPort.clear();
    proxyUserName.clear();
    proxyPassword.clear();
    proxyPrepared = false;
}
void SinaWeibo::setSinaPassword(const std::string& v) { assignSetting(sinaPassword, userPassPrepared, v); }

void SinaWeibo::setConnectTimeout(long milliseconds)
{
    if (milliseconds < 1)
        return;
    std::lock_guard<TransferLock> lock(curl_lock);
    connectTimeoutMs = milliseconds;
}

void SinaWeibo::setLowSpeedAbort(long bytesPerSecond, long seconds)
{
    if (bytesPerSecond < 1 || seconds < 1)
        return;
    std::lock_guard<TransferLock> lock(curl_lock);
    lowSpeedLimit = bytesPerSecond;
    lowSpeedTime = seconds;
}

void SinaWeibo::setTransferTimeouts(long readSeconds, long uploadSeconds)
{
    std::lock_guard<TransferLock> lock(curl_lock);
    if (readSeconds >= 1)
        readTimeoutS = readSeconds;
    if (uploadSeconds >= 1)
        uploadTimeoutS = uploadSeconds;
}

void SinaWeibo::setMaxAnswerBytes(std::size_t bytes)
{
    if (bytes < 1)
        return;
    std::lock_guard<TransferLock> lock(curl_lock);
    maxAnswerBytes = bytes;
}

void SinaWeibo::setActionLimits(long deadlineMs, long giveWayMs_)
{
    if (deadlineMs >= 1)
        actionDeadlineMs = deadlineMs;
    if (giveWayMs_ >= 1)
        giveWayMs = giveWayMs_;
}

std::string SinaWeibo::getLastCurlError()
{
    std::lock_guard<TransferLock> lock(curl_lock);
    errorBuffer[ERROR_BUFFER_SIZE - 1] = '\0';
    return std::string(errorBuffer);
}

std::string SinaWeibo::getLastWebResponse() const
{
    std::lock_guard<TransferLock> lock(curl_lock);
    return lastWebResponse;
}

std::size_t SinaWeibo::saveLastWebResponse(const char* data, std::size_t n)
{
    if (!data || n == 0)
        return 0;
    lastWebResponse.append(data, n);
    return n;
}

std::size_t SinaWeibo::curlCallback(char* data, std::size_t size, std::size_t nmemb, void* client)
{
    SinaWeibo* self = static_cast<SinaWeibo*>(client);
    if (!self || !data || size * nmemb == 0)
        return 0;
    if (self->lastWebResponse.size() + size * nmemb > self->maxAnswerBytes) {
        self->answerTooLarge = true;
        return 0; // ends the transfer as a failure
    }
    return self->saveLastWebResponse(data, size * nmemb);
}

std::size_t SinaWeibo::headerCallback(char* data, std::size_t size, std::size_t nmemb, void* client)
{
    auto* self = static_cast<SinaWeibo*>(client);
    const std::size_t n = size * nmemb;
    static const char kDate[] = "date:";
    if (self && data && n > sizeof kDate - 1) {
        bool match = true;
        for (std::size_t i = 0; i < sizeof kDate - 1 && match; ++i)
            match = std::tolower(static_cast<unsigned char>(data[i])) == kDate[i];
        if (match) {
            std::string value(data + sizeof kDate - 1, n - (sizeof kDate - 1));
            while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
                value.pop_back();
            while (!value.empty() && std::isspace(static_cast<unsigned char>(value.front())))
                value.erase(value.begin());
            self->lastDateHeader = value;
        }
    }
    return n;
}

namespace {
int progressCallback(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return transfersCancelled() ? 1 : 0;
}
}

void SinaWeibo::clearCurlCallbackBuffers()
{
    lastWebResponse.clear();
    std::memset(errorBuffer, 0, sizeof errorBuffer);
    lastOutcome = TransferOutcome();
    lastDateHeader.clear();
    answerTooLarge = false;
}

void SinaWeibo::prepareCurlProxy()
{
    // No value (rather than ""): without a configured proxy the transport reads http_proxy, https_proxy,
    // all_proxy and no_proxy from the environment, as every other program on the desktop does.
    curl_easy_setopt(curlHandle, CURLOPT_PROXY, nullptr);
    curl_easy_setopt(curlHandle, CURLOPT_PROXYUSERPWD, nullptr);
    curl_easy_setopt(curlHandle, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
    if (!proxyServerIp.empty()) {
        std::string proxy = proxyServerIp;
        if (!proxyServerPort.empty())
            utilMakeCurlParams(proxy, proxyServerIp, proxyServerPort);
        curl_easy_setopt(curlHandle, CURLOPT_PROXY, proxy.c_str());
        if (!proxyUserName.empty() && !proxyPassword.empty()) {
            std::string credentials;
            utilMakeCurlParams(credentials, proxyUserName, proxyPassword);
            curl_easy_setopt(curlHandle, CURLOPT_PROXYUSERPWD, credentials.c_str());
        }
    }
    proxyPrepared = true;
}

void SinaWeibo::prepareCurlCallback()
{
    curl_easy_setopt(curlHandle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curlHandle, CURLOPT_WRITEFUNCTION, &SinaWeibo::curlCallback);
    curl_easy_setopt(curlHandle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curlHandle, CURLOPT_HEADERFUNCTION, &SinaWeibo::headerCallback);
    curl_easy_setopt(curlHandle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curlHandle, CURLOPT_XFERINFOFUNCTION, &progressCallback);
    curl_easy_setopt(curlHandle, CURLOPT_NOPROGRESS, 0L);
    callbackPrepared = true;
}

void SinaWeibo::prepareCurlUserPass()
{
    // Basic credentials only when some are configured, so nothing can stand in for the signed header.
    curl_easy_setopt(curlHandle, CURLOPT_USERPWD, nullptr);
    if (!sinaUsername.empty() || !sinaPassword.empty()) {
        std::string credentials;
        utilMakeCurlParams(credentials, sinaUsername, sinaPassword);
        curl_easy_setopt(curlHandle, CURLOPT_USERPWD, credentials.c_str());
    }
    userPassPrepared = true;
}

void SinaWeibo::prepareStandardParams()
{
    curl_easy_setopt(curlHandle, CURLOPT_CUSTOMREQUEST, nullptr);
    clearCurlCallbackBuffers();
    if (!proxyPrepared)
        prepareCurlProxy();
    if (!callbackPrepared)
        prepareCurlCallback();
    if (!userPassPrepared)
        prepareCurlUserPass();
    // A server that accepts and then stays silent would otherwise hold curl_lock, and with it every
    // later request of the program, for ever.
    curl_easy_setopt(curlHandle, CURLOPT_LOW_SPEED_LIMIT, lowSpeedLimit);
    curl_easy_setopt(curlHandle, CURLOPT_LOW_SPEED_TIME, lowSpeedTime);
    curl_easy_setopt(curlHandle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxAnswerBytes));
}

int SinaWeibo::runTransfer(RequestClass requestClass)
{
    gaveWay = false;
    if (transfersCancelled())
        return CURLE_ABORTED_BY_CALLBACK;
    if (curl_multi_add_handle(multiHandle, curlHandle) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    const auto giveWayAfter = std::chrono::milliseconds(giveWayMs.load());
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multiHandle, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        bool done = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multiHandle, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        if (transfersCancelled()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        // A slow read must not make the user's own post miss its deadline: past a point it gives way, and the
        // read is reported as the slow answer it is.
        if (requestClass == RequestClass::Read && curl_lock.longestActionWait() >= giveWayAfter) {
            gaveWay = true;
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        curl_multi_poll(multiHandle, nullptr, 0, kCancelCheckMs, nullptr);
    }
    curl_multi_remove_handle(multiHandle, curlHandle);
    return result;
}

bool SinaWeibo::adoptServiceClock()
{
    if (lastOutcome.httpStatus != 401 || lastOutcome.errorCode != 40109 || lastDateHeader.empty())
        return false;
    const std::time_t service = curl_getdate(lastDateHeader.c_str(), nullptr);
    if (service <= 0)
        return false;
    const long long offset = static_cast<long long>(service) - static_cast<long long>(std::time(nullptr));
    if (offset == oauth_.clockOffset())
        return false;
    oauth_.setClockOffset(offset);
    return true;
}

namespace {
// Failures after the service took the connection: it was reached, and what it sent broke off.
bool brokeAfterConnecting(CURLcode rc)
{
    return rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR || rc == CURLE_SEND_ERROR || rc == CURLE_GOT_NOTHING;
}

long millisecondsUntil(TransferLock::Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TransferLock::Clock::now());
    return std::max<long>(1, long(left.count()));
}
}

Reply<std::string> SinaWeibo::unsent(TransferFailure failure, const std::string& detail)
{
    TransferOutcome outcome = failureOf(failure);
    outcome.detail = detail;
    return Reply<std::string>(std::string(), outcome);
}

std::unique_lock<TransferLock> SinaWeibo::lockFor(RequestClass requestClass, TransferLock::Clock::time_point& deadline)
{
    deadline = TransferLock::Clock::time_point::max();
    if (requestClass != RequestClass::Action)
        return std::unique_lock<TransferLock>(curl_lock);
    deadline = TransferLock::Clock::now() + std::chrono::milliseconds(actionDeadlineMs.load());
    std::unique_lock<TransferLock> held(curl_lock, std::defer_lock);
    if (curl_lock.lockUntil(true, deadline))
        held = std::unique_lock<TransferLock>(curl_lock, std::adopt_lock);
    return held;
}

Reply<std::string> SinaWeibo::performPrepared(const std::string& url, const std::string& headerLine,
                                              RequestClass requestClass, TransferLock::Clock::time_point deadline)
{
    curl_slist* headers = nullptr;
    if (!headerLine.empty())
        headers = curl_slist_append(nullptr, headerLine.c_str());
    // Set even when empty: the handle must never keep pointing at an earlier transfer's freed list.
    curl_easy_setopt(curlHandle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curlHandle, CURLOPT_URL, url.c_str());
    long timeoutMs = (requestClass == RequestClass::Upload ? uploadTimeoutS : readTimeoutS) * 1000;
    if (deadline != TransferLock::Clock::time_point::max())
        timeoutMs = std::min(timeoutMs, millisecondsUntil(deadline));
    curl_easy_setopt(curlHandle, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curlHandle, CURLOPT_CONNECTTIMEOUT_MS, std::min(connectTimeoutMs, timeoutMs));
    const CURLcode rc = static_cast<CURLcode>(runTransfer(requestClass));
    curl_easy_setopt(curlHandle, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);

    long status = 0;
    if (rc == CURLE_OK)
        curl_easy_getinfo(curlHandle, CURLINFO_RESPONSE_CODE, &status);
    lastOutcome.httpStatus = status;
    if (rc != CURLE_OK) {
        if (rc == CURLE_ABORTED_BY_CALLBACK && transfersCancelled()) {
            lastOutcome.failure = TransferFailure::Cancelled;
            std::snprintf(errorBuffer, sizeof errorBuffer, "%s", "transfer cancelled");
        } else if (answerTooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
            lastOutcome.failure = TransferFailure::TooLarge;
            std::snprintf(errorBuffer, sizeof errorBuffer, "answer larger than %zu bytes", maxAnswerBytes);
        } else if (rc == CURLE_OPERATION_TIMEDOUT) {
            lastOutcome.failure = TransferFailure::TimedOut;
            if (gaveWay)
                std::snprintf(errorBuffer, sizeof errorBuffer, "%s", "slow read gave way to a waiting action");
        } else if (brokeAfterConnecting(rc)) {
            lastOutcome.failure = TransferFailure::Broken;
        } else {
            lastOutcome.failure = TransferFailure::Connection;
        }
        if (errorBuffer[0] == '\0')
            std::snprintf(errorBuffer, sizeof errorBuffer, "%s", curl_easy_strerror(rc));
        errorBuffer[ERROR_BUFFER_SIZE - 1] = '\0';
        lastOutcome.detail = errorBuffer;
        lastWebResponse.clear();
        return Reply<std::string>(std::string(), lastOutcome);
    }
    if (status >= 400) {
        lastOutcome.errorCode = errorCodeOf(lastWebResponse);
        if (status >= 500)
            lastOutcome.failure = TransferFailure::ServerError;
        else if (isTokenRefusal(lastOutcome.errorCode))
            lastOutcome.failure = TransferFailure::AuthRefused;
        else
            lastOutcome.failure = TransferFailure::Refused;
        lastOutcome.detail = "HTTP " + std::to_string(status);
    }
    return Reply<std::string>(lastWebResponse, lastOutcome);
}

Reply<std::string> SinaWeibo::performSigned(int kind, const std::string& url, const KeyValueMap& params, bool xauth,
                                            RequestClass requestClass, TransferLock::Clock::time_point deadline,
                                            const std::function<void()>& setBody)
{
    for (int attempt = 0;; ++attempt) {
        prepareStandardParams();
        setBody();
        const std::string header =
            oauth_.makeOAuthHeader(static_cast<oAuth::OAuth::HttpRequestType>(kind), url, params, xauth);
        Reply<std::string> result = performPrepared(url, header, requestClass, deadline);
        if (attempt == 0 && adoptServiceClock())
            continue;
        return result;
    }
}

namespace {
const char* const kNoHandle = "no transfer handle";
const char* const kLockTimedOut = "other transfers held the connection past the deadline";
}

Reply<std::string> SinaWeibo::performGet(const std::string& url)
{
    TransferLock::Clock::time_point deadline;
    const auto lock = lockFor(RequestClass::Read, deadline);
    if (!curlHandle)
        return unsent(TransferFailure::NotSent, kNoHandle);
    return performSigned(oAuth::OAuth::HttpGet, url, KeyValueMap(), false, RequestClass::Read, deadline,
                         [this] { curl_easy_setopt(curlHandle, CURLOPT_HTTPGET, 1L); });
}

Reply<std::string> SinaWeibo::performGet(const std::string& url, const std::string& headerLine)
{
    TransferLock::Clock::time_point deadline;
    const auto lock = lockFor(RequestClass::Read, deadline);
    if (!curlHandle)
        return unsent(TransferFailure::NotSent, kNoHandle);
    prepareStandardParams();
    curl_easy_setopt(curlHandle, CURLOPT_HTTPGET, 1L);
    return performPrepared(url, headerLine, RequestClass::Read, deadline);
}

Reply<std::string> SinaWeibo::performPost(const std::string& url, const KeyValueMap& params,
                                          const std::string& picturePath, bool xauth)
{
    const RequestClass requestClass = picturePath.empty() ? RequestClass::Action : RequestClass::Upload;
    TransferLock::Clock::time_point deadline;
    const auto lock = lockFor(requestClass, deadline);
    if (!lock.owns_lock())
        return unsent(TransferFailure::TimedOut, kLockTimedOut);
    if (!curlHandle)
        return unsent(TransferFailure::NotSent, kNoHandle);

    curl_mime* form = nullptr;
    std::string body;
    if (picturePath.empty()) {
        body = oAuth::stringFromKeyValueMap(params, oAuth::OAUTH_PARAM_SEPARATOR, true);
    } else {
        form = curl_mime_init(curlHandle);
        curl_mimepart* pic = curl_mime_addpart(form);
        curl_mime_name(pic, "pic");
        if (curl_mime_filedata(pic, picturePath.c_str()) != CURLE_OK) {
            curl_mime_free(form);
            clearCurlCallbackBuffers();
            std::snprintf(errorBuffer, sizeof errorBuffer, "cannot read the picture file %s", picturePath.c_str());
            return unsent(TransferFailure::NotSent, errorBuffer);
        }
        for (const auto& [name, value] : params) {
            curl_mimepart* part = curl_mime_addpart(form);
            curl_mime_name(part, name.c_str());
            curl_mime_data(part, value.data(), value.size());
        }
    }
    auto setBody = [&] {
        curl_easy_setopt(curlHandle, CURLOPT_POST, 1L);
        if (form) {
            curl_easy_setopt(curlHandle, CURLOPT_MIMEPOST, form);
        } else {
            // An empty map still sets an empty body: with no body set the transport would resend the
            // previous POST's body or read one from standard input.
            curl_easy_setopt(curlHandle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
            curl_easy_setopt(curlHandle, CURLOPT_COPYPOSTFIELDS, body.c_str());
        }
    };
    Reply<std::string> result =
        performSigned(oAuth::OAuth::HttpPost, url, params, xauth, requestClass, deadline, setBody);
    if (form) {
        curl_easy_setopt(curlHandle, CURLOPT_MIMEPOST, nullptr);
        curl_mime_free(form);
    }
    return result;
}

Reply<std::string> SinaWeibo::performDelete(const std::string& url)
{
    TransferLock::Clock::time_point deadline;
    const auto lock = lockFor(RequestClass::Action, deadline);
    if (!lock.owns_lock())
        return unsent(TransferFailure::TimedOut, kLockTimedOut);
    if (!curlHandle)
        return unsent(TransferFailure::NotSent, kNoHandle);
    return performSigned(oAuth::OAuth::HttpDelete, url, KeyValueMap(), false, RequestClass::Action, deadline, [this] {
        // Back to a body-less request first, so a form or body of an earlier POST cannot travel with it.
        curl_easy_setopt(curlHandle, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curlHandle, CURLOPT_CUSTOMREQUEST, "DELETE");
    });
}

namespace {
// A token answer that carries no token: the service answered, but not with what was asked.
bool takeToken(const Reply<std::string>& answer, oAuth::OAuth& oauth, TransferOutcome* outcome)
{
    TransferOutcome result = answer.outcome;
    // Whatever came is offered to the signer, an error document too: it carries no token, so none stays usable.
    const bool taken = !answer.value.empty() && oauth.setOAuthTokenKeyAndSecret(answer.value);
    const bool ok = result.ok() && taken;
    if (result.ok() && !taken)
        result.failure = TransferFailure::Unreadable;
    if (outcome)
        *outcome = result;
    return ok;
}

void report(TransferOutcome* outcome, TransferFailure failure)
{
    if (outcome)
        *outcome = failureOf(failure);
}
}

bool SinaWeibo::acquireAuthorizeUrl(std::string& authorizeUrl, TransferOutcome* outcome)
{
    authorizeUrl.clear();
    if (!curlHandle) {
        report(outcome, TransferFailure::NotSent);
        return false;
    }
    const std::string url = baseUrl() + WEIBO_API_OAUTH_REQUEST_TOKEN;
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpGet, url, KeyValueMap(), false);
    if (header.empty()) {
        report(outcome, TransferFailure::NotSent);
        return false;
    }
    if (!takeToken(performGet(url, header), oauth_, outcome))
        return false;
    authorizeUrl = baseUrl() + WEIBO_API_OAUTH_AUTHORIZE + oauth_.oAuthTokenKey();
    return true;
}

bool SinaWeibo::acquireOAuthAccessToken(const std::string& pin, TransferOutcome* outcome)
{
    if (!curlHandle) {
        report(outcome, TransferFailure::NotSent);
        return false;
    }
    const std::string url = baseUrl() + WEIBO_API_OAUTH_ACCESS_TOKEN;
    oauth_.setOAuthPin(pin);
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpGet, url, KeyValueMap(), false);
    oauth_.setOAuthPin(std::string());
    if (header.empty()) {
        report(outcome, TransferFailure::NotSent);
        return false;
    }
    return takeToken(performGet(url, header), oauth_, outcome);
}

bool SinaWeibo::acquireOAuthAccessToken(const std::string& userName, const std::string& password,
                                        TransferOutcome* outcome)
{
    if (!curlHandle) {
        report(outcome, TransferFailure::NotSent);
        return false;
    }
    oauth_.setXAuthUsername(userName);
    oauth_.setXAuthPassword(password);
    KeyValueMap form;
    form["source"] = oauth_.consumerKey();
    return takeToken(performPost(baseUrl() + WEIBO_API_OAUTH_ACCESS_TOKEN, form, std::string(), true), oauth_,
                     outcome);
}

} // namespace weibo
