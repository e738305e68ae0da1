#pragma once
// Picture and page downloads that never block their caller: the transfer runs on the main thread's event loop
// (QNetworkAccessManager is asynchronous), and the answer comes back on the main thread.
#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

namespace platform {

class URLConnection {
public:
    using Success = std::function<void(const QByteArray& data)>;
    using Failure = std::function<void(const QString& error)>;
    static constexpr qint64 kMaxAnswerBytes = 20 * 1024 * 1024;

    // Downloads the address and calls success with the body, or failure with a reason, always later and always on
    // the main thread, never inside this call. Callable from any thread.
    // - Data already in URLCache::shared() is answered from there without a transfer.
    // - Several requests for one address while its transfer runs share that one transfer.
    // - Only http and https addresses are fetched; anything else fails.
    // - A status of 400 or more is a failure ("HTTP 404"), not a body; a successful body (even an empty one) is
    //   stored in URLCache::shared() (which keeps it when it fits).
    // - A transfer that stalls for 30 s fails, and so does one whose answer passes kMaxAnswerBytes.
    // If the main queue has closed (the application is quitting) neither callback is called.
    static void asyncRequest(const QUrl& url, Success success, Failure failure);

    // Transfers in flight now (main thread).
    static int activeTransfers();
};

} // namespace platform
