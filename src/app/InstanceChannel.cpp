#include "app/InstanceChannel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace {

const QByteArray kReopen = QByteArrayLiteral("reopen\n");
// The answers of the running instance.
const QByteArray kReopened = QByteArrayLiteral("ok\n");
const QByteArray kQuitting = QByteArrayLiteral("quitting\n");

// How often a launch looks again whether an instance on its way out has gone.
constexpr unsigned long kRetryMs = 50;

// Sends the reopen and reads the one-line answer: empty when the connection closed first or nothing came in time.
QByteArray askToReopen(QLocalSocket& socket, int answerMs)
{
    const QDeadlineTimer deadline(answerMs);
    socket.write(kReopen);
    socket.waitForBytesWritten(int(deadline.remainingTime()));
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray answer = socket.canReadLine() ? socket.readLine() : QByteArray();
    socket.abort();
    return answer;
}

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

bool InstanceChannel::listen(bool& nameTaken)
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(name_)) {
        connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
        return true;
    }
    nameTaken = server_->serverError() == QAbstractSocket::AddressInUseError;
    delete server_;
    server_ = nullptr;
    return false;
}

InstanceChannel::Claim InstanceChannel::claim(int answerMs, int waitMs)
{
    QElapsedTimer waited;
    waited.start();
    int staleRemoved = 0;
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(answerMs)) {
            // Only a running instance's "ok" ends this launch. "quitting", silence and a connection closed
            // without a word all mean an instance on its way out: its window must not come back, and this
            // launch must not end with it.
            if (askToReopen(socket, answerMs) == kReopened)
                return Claim::HandedOver;
            if (waited.elapsed() >= waitMs)
                return Claim::Unanswered;
            QThread::msleep(kRetryMs);
            continue;
        }
        const bool refused = socket.error() == QLocalSocket::ConnectionRefusedError;
        bool nameTaken = false;
        if (listen(nameTaken))
            return Claim::Running;
        // Refused, yet the name is taken: a socket file left by a program that crashed.
        if (refused && staleRemoved < 2) {
            ++staleRemoved;
            QLocalServer::removeServer(name_);
            continue;
        }
        // No channel can be made here at all, or another launch keeps taking the name between the two steps:
        // this process runs on its own rather than not at all.
        if (!nameTaken || waited.elapsed() >= waitMs)
            return Claim::Running;
        QThread::msleep(kRetryMs);
    }
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
                if (quitting_)
                    emit laterLaunchTurnedAway();
                else
                    emit reopenRequested();
            }
        });
    }
}
