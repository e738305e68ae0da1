#include "mainwindow/URLDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

namespace {

constexpr int kTransferTimeoutMs = 30000;

} // namespace

URLDownload::URLDownload(const QUrl& url, const QString& destination, Created created, Failed failed)
    : url_(url)
    , destination_(destination)
    , created_(std::move(created))
    , failed_(std::move(failed))
{
}

URLDownload* URLDownload::start(QNetworkAccessManager* manager, const QUrl& url, const QString& destination,
                                Created created, Failed failed)
{
    auto* download = new URLDownload(url, destination, std::move(created), std::move(failed));
    // A window closed mid-download destroys its manager and the replies with it; the download goes too
    // instead of waiting forever for a finish that will not come.
    if (manager)
        download->setParent(manager);
    const QString scheme = url.scheme().toLower();
    if (!manager || !url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        // Reported later, like every other outcome, so the caller's bookkeeping is in place first.
        QTimer::singleShot(0, download, [download] { download->report(false, QStringLiteral("unsupported address")); });
        return download;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager->get(request);
    connect(reply, &QNetworkReply::finished, download, [download, reply] { download->finish(reply); });
    return download;
}

void URLDownload::finish(QNetworkReply* reply)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status >= 400) {
        report(false, status >= 400 ? QStringLiteral("HTTP %1").arg(status) : reply->errorString());
        return;
    }
    const QByteArray body = reply->readAll();
    if (body.isEmpty()) {
        report(false, QStringLiteral("empty body"));
        return;
    }
    QDir().mkpath(QFileInfo(destination_).absolutePath());
    QSaveFile file(destination_);
    if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit()) {
        report(false, file.errorString());
        return;
    }
    report(true, QString());
}

void URLDownload::report(bool ok, const QString& error)
{
    if (ok) {
        if (created_)
            created_(this, destination_);
    } else if (failed_) {
        failed_(this, error);
    }
    deleteLater();
}
