#include "ViewerTestSupport.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

QByteArray fetch(const QUrl& url)
{
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    waitUntil([&] { return reply->isFinished(); });
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    delete reply;
    return body;
}

ShapedServer::ShapedServer()
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QUrl ShapedServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
}

void ShapedServer::answerWhole(const QString& path, const QByteArray& body, const QByteArray& type)
{
    Answer a;
    a.head = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
             "\r\nConnection: close\r\n\r\n";
    a.first = body;
    answer(path, a);
}

void ShapedServer::serve(QTcpSocket* socket)
{
    const QByteArray request = socket->peek(8192);
    if (!request.contains("\r\n\r\n"))
        return;
    socket->readAll();
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = words.size() > 1 ? QString::fromLatin1(words.at(1)) : QString();
    if (!answers_.contains(path)) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const Answer& a = answers_.value(path);
    socket->write(a.head + a.first);
    if (a.hold) {
        held_.append({socket, a.rest});
        return;
    }
    socket->write(a.rest);
    socket->disconnectFromHost();
}

void ShapedServer::release(bool cut)
{
    for (auto& [socket, rest] : held_) {
        if (!socket)
            continue;
        if (cut) {
            socket->abort();
            continue;
        }
        socket->write(rest);
        socket->disconnectFromHost();
    }
    held_.clear();
}
