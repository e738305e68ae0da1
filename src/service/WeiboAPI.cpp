#include "service/WeiboAPI.h"

#include <cstdio>
#include <cstring>

namespace weibo {

std::mutex curl_lock;

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
}

SinaWeibo::~SinaWeibo()
{
    if (curlHandle)
        curl_easy_cleanup(curlHandle);
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
    std::lock_guard<std::mutex> lock(curl_lock);
    member = value;
    prepared = false;
}
}

void SinaWeibo::setProxyServerIp(const std::string& v) { assignSetting(proxyServerIp, proxyPrepared, v); }
void SinaWeibo::setProxyServerPort(const std::string& v) { assignSetting(proxyServerPort, proxyPrepared, v); }
void SinaWeibo::setProxyUserName(const std::string& v) { assignSetting(proxyUserName, proxyPrepared, v); }
void SinaWeibo::setProxyPassword(const std::string& v) { assignSetting(proxyPassword, proxyPrepared, v); }
void SinaWeibo::setSinaUsername(const std::string& v) { assignSetting(sinaUsername, userPassPrepared, v); }
void SinaWeibo::setSinaPassword(const std::string& v) { assignSetting(sinaPassword, userPassPrepared, v); }

void SinaWeibo::setConnectTimeout(long milliseconds)
{
    if (milliseconds < 1)
        return;
    std::lock_guard<std::mutex> lock(curl_lock);
    connectTimeoutMs = milliseconds;
}

void SinaWeibo::setLowSpeedAbort(long bytesPerSecond, long seconds)
{
    if (bytesPerSecond < 1 || seconds < 1)
        return;
    std::lock_guard<std::mutex> lock(curl_lock);
    lowSpeedLimit = bytesPerSecond;
    lowSpeedTime = seconds;
}

std::string SinaWeibo::getLastCurlError()
{
    std::lock_guard<std::mutex> lock(curl_lock);
    errorBuffer[ERROR_BUFFER_SIZE - 1] = '\0';
    return std::string(errorBuffer);
}

std::string SinaWeibo::getLastWebResponse() const
{
    std::lock_guard<std::mutex> lock(curl_lock);
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
    return self->saveLastWebResponse(data, size * nmemb);
}

void SinaWeibo::clearCurlCallbackBuffers()
{
    lastWebResponse.clear();
    std::memset(errorBuffer, 0, sizeof errorBuffer);
}

void SinaWeibo::prepareCurlProxy()
{
    // "" rather than no value: an empty proxy also turns off the proxy variables of the environment, so
    // without a configured proxy the transfer always goes straight to the server.
    curl_easy_setopt(curlHandle, CURLOPT_PROXY, "");
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
    curl_easy_setopt(curlHandle, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(curlHandle, CURLOPT_LOW_SPEED_LIMIT, lowSpeedLimit);
    curl_easy_setopt(curlHandle, CURLOPT_LOW_SPEED_TIME, lowSpeedTime);
}

std::string SinaWeibo::performPrepared(const std::string& url, const std::string& headerLine)
{
    curl_slist* headers = nullptr;
    if (!headerLine.empty())
        headers = curl_slist_append(nullptr, headerLine.c_str());
    // Set even when empty: the handle must never keep pointing at an earlier transfer's freed list.
    curl_easy_setopt(curlHandle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curlHandle, CURLOPT_URL, url.c_str());
    const CURLcode rc = curl_easy_perform(curlHandle);
    curl_easy_setopt(curlHandle, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    if (rc != CURLE_OK) {
        if (errorBuffer[0] == '\0')
            std::snprintf(errorBuffer, sizeof errorBuffer, "%s", curl_easy_strerror(rc));
        return std::string();
    }
    return lastWebResponse;
}

std::string SinaWeibo::performGet(const std::string& url)
{
    std::lock_guard<std::mutex> lock(curl_lock);
    if (!curlHandle)
        return std::string();
    prepareStandardParams();
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpGet, url, KeyValueMap(), false);
    curl_easy_setopt(curlHandle, CURLOPT_HTTPGET, 1L);
    return performPrepared(url, header);
}

std::string SinaWeibo::performGet(const std::string& url, const std::string& headerLine)
{
    std::lock_guard<std::mutex> lock(curl_lock);
    if (!curlHandle)
        return std::string();
    prepareStandardParams();
    curl_easy_setopt(curlHandle, CURLOPT_HTTPGET, 1L);
    return performPrepared(url, headerLine);
}

std::string SinaWeibo::performPost(const std::string& url, const KeyValueMap& params, const std::string& picturePath,
                                   bool xauth)
{
    std::lock_guard<std::mutex> lock(curl_lock);
    if (!curlHandle)
        return std::string();
    prepareStandardParams();
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpPost, url, params, xauth);

    curl_mime* form = nullptr;
    if (picturePath.empty()) {
        // An empty map still sets an empty body: with no body set the transport would resend the
        // previous POST's body or read one from standard input.
        const std::string body = oAuth::stringFromKeyValueMap(params, oAuth::OAUTH_PARAM_SEPARATOR, true);
        curl_easy_setopt(curlHandle, CURLOPT_POST, 1L);
        curl_easy_setopt(curlHandle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(curlHandle, CURLOPT_COPYPOSTFIELDS, body.c_str());
    } else {
        form = curl_mime_init(curlHandle);
        curl_mimepart* pic = curl_mime_addpart(form);
        curl_mime_name(pic, "pic");
        if (curl_mime_filedata(pic, picturePath.c_str()) != CURLE_OK) {
            curl_mime_free(form);
            std::snprintf(errorBuffer, sizeof errorBuffer, "cannot read the picture file %s", picturePath.c_str());
            return std::string();
        }
        for (const auto& [name, value] : params) {
            curl_mimepart* part = curl_mime_addpart(form);
            curl_mime_name(part, name.c_str());
            curl_mime_data(part, value.data(), value.size());
        }
        curl_easy_setopt(curlHandle, CURLOPT_MIMEPOST, form);
    }

    std::string result = performPrepared(url, header);
    if (form) {
        curl_easy_setopt(curlHandle, CURLOPT_MIMEPOST, nullptr);
        curl_mime_free(form);
    }
    return result;
}

std::string SinaWeibo::performDelete(const std::string& url)
{
    std::lock_guard<std::mutex> lock(curl_lock);
    if (!curlHandle)
        return std::string();
    prepareStandardParams();
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpDelete, url, KeyValueMap(), false);
    // Back to a body-less request first, so a form or body of an earlier POST cannot travel with it.
    curl_easy_setopt(curlHandle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curlHandle, CURLOPT_CUSTOMREQUEST, "DELETE");
    return performPrepared(url, header);
}

bool SinaWeibo::acquireAuthorizeUrl(std::string& authorizeUrl)
{
    authorizeUrl.clear();
    if (!curlHandle)
        return false;
    const std::string url = baseUrl() + WEIBO_API_OAUTH_REQUEST_TOKEN;
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpGet, url, KeyValueMap(), false);
    if (header.empty())
        return false;
    const std::string response = performGet(url, header);
    if (response.empty() || !oauth_.setOAuthTokenKeyAndSecret(response))
        return false;
    authorizeUrl = baseUrl() + WEIBO_API_OAUTH_AUTHORIZE + oauth_.oAuthTokenKey();
    return true;
}

bool SinaWeibo::acquireOAuthAccessToken(const std::string& pin)
{
    if (!curlHandle)
        return false;
    const std::string url = baseUrl() + WEIBO_API_OAUTH_ACCESS_TOKEN;
    oauth_.setOAuthPin(pin);
    const std::string header = oauth_.makeOAuthHeader(oAuth::OAuth::HttpGet, url, KeyValueMap(), false);
    oauth_.setOAuthPin(std::string());
    if (header.empty())
        return false;
    const std::string response = performGet(url, header);
    if (response.empty())
        return false;
    return oauth_.setOAuthTokenKeyAndSecret(response);
}

bool SinaWeibo::acquireOAuthAccessToken(const std::string& userName, const std::string& password)
{
    if (!curlHandle)
        return false;
    oauth_.setXAuthUsername(userName);
    oauth_.setXAuthPassword(password);
    KeyValueMap form;
    form["source"] = oauth_.consumerKey();
    const std::string response = performPost(baseUrl() + WEIBO_API_OAUTH_ACCESS_TOKEN, form, std::string(), true);
    if (response.empty())
        return false;
    return oauth_.setOAuthTokenKeyAndSecret(response);
}

} // namespace weibo
