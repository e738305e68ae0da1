#include "app/KeyringBackend.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStringList>
#include <QTimer>

#include <memory>

#include <qt6keychain/keychain.h>

namespace {

// Whether the session bus has, or can start, a keyring QtKeychain talks to.
bool keyringOnTheBus()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QStringList names{QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd5"),
                            QStringLiteral("org.kde.kwalletd6")};
    const QStringList activatable = bus.interface()->activatableServiceNames().value();
    for (const QString& name : names)
        if (bus.interface()->isServiceRegistered(name).value() || activatable.contains(name))
            return true;
    return false;
}

KeyringBackend::Result resultOf(const QKeychain::Job* job)
{
    switch (job->error()) {
    case QKeychain::NoError:
        return KeyringBackend::Result::Ok;
    case QKeychain::EntryNotFound:
        return KeyringBackend::Result::NotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return KeyringBackend::Result::NoKeyring;
    default:
        // Looked at only after a failure: a missing Secret Service fails at once with a transport error, which
        // must not read as a keyring that said no.
        return keyringOnTheBus() ? KeyringBackend::Result::Failed : KeyringBackend::Result::NoKeyring;
    }
}

class DesktopKeyring : public KeyringBackend {
public:
    explicit DesktopKeyring(const QString& service)
        : service_(service)
    {
    }
    void write(const QString& key, const QString& text, Done done) override
    {
        auto* job = new QKeychain::WritePasswordJob(service_);
        job->setKey(key);
        job->setTextData(text);
        start(job, std::move(done));
    }
    void read(const QString& key, Done done) override
    {
        auto* job = new QKeychain::ReadPasswordJob(service_);
        job->setKey(key);
        start(job, std::move(done));
    }
    void remove(const QString& key, Done done) override
    {
        auto* job = new QKeychain::DeletePasswordJob(service_);
        job->setKey(key);
        start(job, std::move(done));
    }

private:
    static void start(QKeychain::Job* job, Done done)
    {
        // An answer given inside start() (no backend at all, say) is handed on from the event loop, as promised.
        auto starting = std::make_shared<bool>(true);
        // The job deletes itself once it has answered; it needs no receiver that outlives it.
        QObject::connect(job, &QKeychain::Job::finished, job, [done = std::move(done), starting](QKeychain::Job* j) {
            const auto* reader = qobject_cast<QKeychain::ReadPasswordJob*>(j);
            const Result result = resultOf(j);
            const QString text = reader && j->error() == QKeychain::NoError ? reader->textData() : QString();
            if (*starting)
                QTimer::singleShot(0, [done, result, text] { done(result, text); });
            else
                done(result, text);
        });
        job->start();
        *starting = false;
    }

    QString service_;
};

} // namespace

KeyringBackend* KeyringBackend::makeDesktopKeyring(const QString& service)
{
    return new DesktopKeyring(service);
}
