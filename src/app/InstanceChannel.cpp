#include "app/InstanceChannel.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

const QByteArray kReopen = QByteArrayLiteral("reopen\n");

} // namespace

InstanceChannel::InstanceChannel(const QString& settingsFile, QObject* parent)
    : QObject(parent)
{
    // Named after the user and the settings file, so a test's private settings never meet the user's program.
    const QByteArray path = QFileInfo(settingsFile).absoluteFilePath().toUtf8();
    const QByteArray digest = QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex().left(16);
    name_ = QStringLiteral("plumet-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

InstanceChannel::~InstanceChannel() = default;

bool InstanceChannel::claim(int timeoutMs)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(timeoutMs)) {
            socket.write(kReopen);
            socket.waitForBytesWritten(timeoutMs);
            socket.disconnectFromServer();
            return false;
        }
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        if (server_->listen(name_)) {
            connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
            return true;
        }
        delete server_;
        server_ = nullptr;
        // Nobody answered yet the name is taken: a socket file left by a program that crashed.
        QLocalServer::removeServer(name_);
    }
    // No channel; this process runs on its own rather than not at all.
    return true;
}

void InstanceChannel::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == kReopen)
                    emit reopenRequested();
            }
        });
    }
}
