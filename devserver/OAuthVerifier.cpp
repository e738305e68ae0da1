#include "devserver/OAuthVerifier.h"

#include <algorithm>
#include <set>

#include "service/HMAC_SHA1.h"
#include "service/base64.h"

namespace devserver {

namespace {

bool iequalsPrefix(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

enum class Reading { Decode, DecodePlus, Raw };

std::string read(const std::string& text, Reading how) {
    switch (how) {
    case Reading::Decode: return percentDecode(text, false);
    case Reading::DecodePlus: return percentDecode(text, true);
    case Reading::Raw: return text;
    }
    return text;
}

bool constantTimeEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::uint64_t fnv1a(const std::string& text) {
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

}  // namespace

bool parseAuthorizationHeader(const std::string& value, ParamList& rawParams) {
    rawParams.clear();
    std::size_t i = 0;
    while (i < value.size() && isBlank(value[i])) ++i;
    if (!iequalsPrefix(value.substr(i), "OAuth")) return false;
    i += 5;
    if (i < value.size() && !isBlank(value[i])) return false;
    while (i < value.size()) {
        while (i < value.size() && (isBlank(value[i]) || value[i] == ',')) ++i;
        if (i >= value.size()) break;
        std::size_t eq = value.find('=', i);
        if (eq == std::string::npos) return false;
        std::string name = value.substr(i, eq - i);
        while (!name.empty() && isBlank(name.back())) name.pop_back();
        if (name.empty()) return false;
        i = eq + 1;
        while (i < value.size() && isBlank(value[i])) ++i;
        std::string val;
        if (i < value.size() && value[i] == '"') {
            std::size_t close = value.find('"', i + 1);
            if (close == std::string::npos) return false;
            val = value.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            std::size_t end = value.find(',', i);
            if (end == std::string::npos) end = value.size();
            val = value.substr(i, end - i);
            while (!val.empty() && isBlank(val.back())) val.pop_back();
            i = end;
        }
        rawParams.emplace_back(name, val);
    }
    return !rawParams.empty();
}

std::string headerParam(const ParamList& rawParams, const std::string& name) {
    for (auto& kv : rawParams)
        if (kv.first == name) return percentDecode(kv.second, false);
    return std::string();
}

std::string normalizeParameters(const ParamList& decoded) {
    std::vector<std::pair<std::string, std::string>> encoded;
    encoded.reserve(decoded.size());
    for (auto& kv : decoded) encoded.emplace_back(percentEncode(kv.first), percentEncode(kv.second));
    std::sort(encoded.begin(), encoded.end());
    std::string out;
    for (std::size_t k = 0; k < encoded.size(); ++k) {
        if (k) out += '&';
        out += encoded[k].first;
        out += '=';
        out += encoded[k].second;
    }
    return out;
}

std::string signatureBaseString(const std::string& method, const std::string& baseUrl,
                                const std::string& normalizedParams) {
    return method + "&" + percentEncode(baseUrl) + "&" + percentEncode(normalizedParams);
}

std::string hmacSignature(const std::string& consumerSecret, const std::string& tokenSecret,
                          const std::string& baseString) {
    std::string key = percentEncode(consumerSecret) + "&" + percentEncode(tokenSecret);
    return base64_encode(CHMAC_SHA1::digest(key, baseString));
}

bool verifySignature(const SignedRequest& request, const ParamList& headerRaw, const std::string& consumerSecret,
                     const std::string& tokenSecret) {
    std::string sentRaw;
    bool haveSignature = false;
    for (auto& kv : headerRaw)
        if (kv.first == "oauth_signature") {
            sentRaw = kv.second;
            haveSignature = true;
        }
    if (!haveSignature || sentRaw.empty()) return false;
    const std::string sentDecoded = percentDecode(sentRaw, false);

    // Pieces without '=' count as empty values for RFC 5849 senders; the project's client drops them.
    struct Piece { std::string name, value; bool bare; };
    std::vector<Piece> queryRaw;
    bool sawBare = false;
    for (auto& kv : splitQueryRaw(request.rawQuery)) {
        bool bare = kv.second.empty() && request.rawQuery.find(kv.first + "=") == std::string::npos;
        sawBare = sawBare || bare;
        queryRaw.push_back({kv.first, kv.second, bare});
    }
    const ParamList formRaw = splitQueryRaw(request.formBody);

    std::set<std::string> tried;
    const Reading readings[] = {Reading::Decode, Reading::DecodePlus, Reading::Raw};
    for (Reading how : readings) {
        for (int dropBare = 0; dropBare <= (sawBare ? 1 : 0); ++dropBare) {
            for (int headerDecoded = 1; headerDecoded >= 0; --headerDecoded) {
                ParamList all;
                for (auto& piece : queryRaw) {
                    if (dropBare && piece.bare) continue;
                    all.emplace_back(read(piece.name, how), read(piece.value, how));
                }
                for (auto& kv : formRaw) all.emplace_back(read(kv.first, how), read(kv.second, how));
                for (auto& kv : request.multipartFields) all.push_back(kv);
                for (auto& kv : headerRaw) {
                    if (kv.first == "oauth_signature" || kv.first == "realm") continue;
                    all.emplace_back(kv.first, headerDecoded ? percentDecode(kv.second, false) : kv.second);
                }
                const std::string normalized = normalizeParameters(all);
                for (auto& base : request.baseUrls) {
                    std::string baseString = signatureBaseString(request.method, base, normalized);
                    if (!tried.insert(baseString).second) continue;
                    std::string expected = hmacSignature(consumerSecret, tokenSecret, baseString);
                    if (constantTimeEquals(expected, sentDecoded) || constantTimeEquals(expected, sentRaw)) return true;
                }
            }
        }
    }
    return false;
}

bool NonceCache::remember(const std::string& consumer, const std::string& token, std::int64_t timestamp,
                          const std::string& nonce, std::int64_t now) {
    std::uint64_t key = fnv1a(consumer + '\n' + token + '\n' + nonce);
    std::lock_guard<std::mutex> lock(mutex_);
    while (!buckets_.empty() && buckets_.begin()->first < now - window_ - 1) buckets_.erase(buckets_.begin());
    return buckets_[timestamp].insert(key).second;
}

std::size_t NonceCache::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t n = 0;
    for (auto& b : buckets_) n += b.second.size();
    return n;
}

}  // namespace devserver
