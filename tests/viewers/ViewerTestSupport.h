#pragma once
// What the viewer tests share: one application with private folders, a blocking fetch for the test's own use,
// and a loopback server whose answers the test shapes and holds.
#include "../support/DevServiceTest.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// The body at the address (the test's own fetch; the viewers never block like this). Empty on failure.
QByteArray fetch(const QUrl& url);

// Answers each path with prepared bytes: the head and a first part at once, the rest when released (or the
// connection cut, for a transfer that breaks off).
class ShapedServer : public QTcpServer {
public:
    struct Answer {
        QByteArray head;  // status line and headers, with the blank line
        QByteArray first; // sent with the head
        QByteArray rest;  // sent on release
        bool hold = false;
    };
    ShapedServer();
    QUrl url(const QString& path) const;
    void answer(const QString& path, const Answer& a) { answers_.insert(path, a); }
    // An ordinary answer with its length.
    void answerWhole(const QString& path, const QByteArray& body, const QByteArray& type = "image/png");
    // Sends the rest of every held answer and closes; with cut the connections are dropped instead.
    void release(bool cut = false);
    int heldCount() const { return held_.size(); }

private:
    void serve(QTcpSocket* socket);
    QHash<QString, Answer> answers_;
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> held_;
};
