#include "platform/URLConnection.h"

#include "platform/Dispatch.h"
#include "platform/URLCache.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QVector>

namespace platform {
namespace {

const char* const kTooLarge = "plumetTooLarge";

struct Waiter {
    URLConnection::Success success;
    URLConnection::Failure failure;
};

// Lives on the main thread with the application object as parent; every member is touched there only.
class Downloader : public QObject {
public:
    explicit Downloader(QObject* parent)
        : QObject(parent)
        , manager_(new QNetworkAccessManager(this))
    {
    }

    static Downloader* instance()
    {
        static QPointer<Downloader> downloader;
        if (!downloader && QCoreApplication::instance())
            downloader = new Downloader(QCoreApplication::instance());
        return downloader;
    }

    void request(const QUrl& url, const Waiter& waiter)
    {
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            if (waiter.failure)
                waiter.failure(QStringLiteral("unsupported address: %1").arg(url.toString()));
            return;
        }
        if (std::optional<QByteArray> cached = URLCache::shared().cachedResponseForRequest(url)) {
            if (waiter.success)
                waiter.success(*cached);
            return;
        }
        const QString key = url.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
        auto pending = waiters_.find(key);
        if (pending != waiters_.end()) {
            pending->append(waiter);
            return;
        }
        waiters_.insert(key, QVector<Waiter>{waiter});

        QNetworkRequest request(url);
        request.setTransferTimeout(30000);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply* reply = manager_->get(request);
        // A picture larger than any the service makes is a flood, not a picture: it ends as a failure before it
        // fills the memory.
        connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
            if (received > URLConnection::kMaxAnswerBytes || total > URLConnection::kMaxAnswerBytes) {
                reply->setProperty(kTooLarge, true);
                reply->abort();
            }
        });
        connect(reply, &QNetworkReply::finished, this, [this, reply, key, url] { finished(reply, key, url); });
    }

    int active() const { return static_cast<int>(waiters_.size()); }

private:
    void finished(QNetworkReply* reply, const QString& key, const QUrl& url)
    {
        reply->deleteLater();
        const QVector<Waiter> waiters = waiters_.take(key);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        QString error;
        QByteArray body;
        if (reply->property(kTooLarge).toBool()) {
            error = QStringLiteral("answer larger than %1 bytes").arg(URLConnection::kMaxAnswerBytes);
        } else if (reply->error() != QNetworkReply::NoError && status < 400) {
            error = reply->errorString();
        } else if (status >= 400) {
            // An error page is not the picture that was asked for.
            error = QStringLiteral("HTTP %1").arg(status);
        } else {
            body = reply->readAll();
            URLCache::shared().storeCachedResponse(body, url);
        }
        for (const Waiter& waiter : waiters) {
            if (error.isEmpty()) {
                if (waiter.success)
                    waiter.success(body);
            } else if (waiter.failure) {
                waiter.failure(error);
            }
        }
    }

    QNetworkAccessManager* manager_;
    QHash<QString, QVector<Waiter>> waiters_;
};

} // namespace

void URLConnection::asyncRequest(const QUrl& url, Success success, Failure failure)
{
    // Always through the main queue, even from the main thread, so that no callback runs inside the caller.
    dispatchMainAsync([url, waiter = Waiter{std::move(success), std::move(failure)}] {
        if (Downloader* downloader = Downloader::instance())
            downloader->request(url, waiter);
    });
}

int URLConnection::activeTransfers()
{
    Downloader* downloader = Downloader::instance();
    return downloader ? downloader->active() : 0;
}

} // namespace platform
