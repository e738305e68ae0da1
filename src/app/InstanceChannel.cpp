#include "app/InstanceChannel.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QThread>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

const QByteArray kReopen = QByteArrayLiteral("reopen\n");
// The answers of the running instance.
const QByteArray kReopened = QByteArrayLiteral("ok\n");
const QByteArray kQuitting = QByteArrayLiteral("quitting\n");

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

bool InstanceChannel::claim(int timeoutMs, int quitWaitMs)
{
    QElapsedTimer waited;
    waited.start();
    for (int attempt = 0; attempt < 2;) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(timeoutMs)) {
            socket.write(kReopen);
            socket.waitForBytesWritten(timeoutMs);
            QByteArray answer;
            if (socket.waitForReadyRead(timeoutMs) || socket.canReadLine())
                answer = socket.readLine();
            socket.disconnectFromServer();
            // The running one is on its way out: its window must not come back; wait until it is gone.
            if (answer == kQuitting && waited.elapsed() < quitWaitMs) {
                QThread::msleep(50);
                continue;
            }
            return false;
        }
        ++attempt;
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
                if (socket->readLine() != kReopen)
                    continue;
                socket->write(quitting_ ? kQuitting : kReopened);
                socket->flush();
                if (!quitting_)
                    emit reopenRequested();
            }
        });
    }
}
