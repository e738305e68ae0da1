#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// A download of one address into a file, reported once on the main thread: `created` when the file is in place,
// `failed` otherwise. The file appears whole or not at all (written beside it, then renamed), so an interrupted
// download never leaves a truncated picture that a later start would take for a cached one. Only http and https
// addresses are fetched; a status of 400 or more, an empty body and a transfer that stalls for 30 s fail.
class URLDownload : public QObject {
    Q_OBJECT
public:
    using Created = std::function<void(URLDownload* download, const QString& path)>;
    using Failed = std::function<void(URLDownload* download, const QString& error)>;

    // Starts at once; the download deletes itself after reporting.
    static URLDownload* start(QNetworkAccessManager* manager, const QUrl& url, const QString& destination,
                              Created created, Failed failed);

    QUrl url() const { return url_; }
    QString destination() const { return destination_; }

private:
    URLDownload(const QUrl& url, const QString& destination, Created created, Failed failed);
    void finish(QNetworkReply* reply);
    void report(bool ok, const QString& error);

    QUrl url_;
    QString destination_;
    Created created_;
    Failed failed_;
};
