#include "app/TokenStore.h"

#include "platform/UserDefaults.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <functional>

const QString TokenStore::kOAuthTokens = QStringLiteral("OAuthTokens");
const QString TokenStore::kTokenKey = QStringLiteral("TokenKey");
const QString TokenStore::kSecretKey = QStringLiteral("SecretKey");
const QString TokenStore::kKeychainService = QStringLiteral("Plumet");

namespace {

bool holdsSecrets(const QVariantMap& entry)
{
    return entry.contains(TokenStore::kTokenKey) || entry.contains(TokenStore::kSecretKey);
}

// Starts the job and waits for its answer, at most timeoutMs; `finished` runs with the job when it answered in
// time. A job that has not answered by then goes on alone and deletes itself when it ends; nothing here hears it.
bool runJob(QKeychain::Job* job, int timeoutMs, const std::function<void(QKeychain::Job*)>& finished)
{
    QEventLoop loop;
    bool answered = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* j) {
        answered = true;
        finished(j);
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    // A click or key press waits until the keyring has answered; nothing on screen expects one meanwhile.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answered;
}

} // namespace

TokenStore::TokenStore(platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent)
    , defaults_(defaults)
{
}

TokenStore::~TokenStore() = default;

QVariantMap TokenStore::accounts() const
{
    return defaults_.dictionaryForKey(kOAuthTokens);
}

void TokenStore::writeAccounts(const QVariantMap& store)
{
    defaults_.setObject(store, kOAuthTokens);
    defaults_.synchronize();
}

bool TokenStore::writeToKeyring(const QString& userId, const Tokens& tokens)
{
    auto* job = new QKeychain::WritePasswordJob(kKeychainService);
    job->setKey(userId);
    const QJsonObject item{{kTokenKey, tokens.tokenKey}, {kSecretKey, tokens.secretKey}};
    job->setTextData(QString::fromUtf8(QJsonDocument(item).toJson(QJsonDocument::Compact)));
    bool ok = false;
    const bool answered = runJob(job, timeoutMs_, [&ok](QKeychain::Job* j) { ok = j->error() == QKeychain::NoError; });
    // Trust only what reads back: a keyring that took the item but cannot give it back is no place for it.
    return answered && ok && readFromKeyring(userId) == tokens;
}

std::optional<TokenStore::Tokens> TokenStore::readFromKeyring(const QString& userId)
{
    auto* job = new QKeychain::ReadPasswordJob(kKeychainService);
    job->setKey(userId);
    QString text;
    bool ok = false;
    runJob(job, timeoutMs_, [&](QKeychain::Job* j) {
        ok = j->error() == QKeychain::NoError;
        if (ok)
            text = static_cast<QKeychain::ReadPasswordJob*>(j)->textData();
    });
    if (!ok)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    const QJsonObject item = doc.object();
    if (!doc.isObject() || !item.value(kTokenKey).isString() || !item.value(kSecretKey).isString())
        return std::nullopt;
    return Tokens{item.value(kTokenKey).toString(), item.value(kSecretKey).toString()};
}

int TokenStore::moveSecretsToKeyring()
{
    int moved = 0;
    const QStringList userIds = accounts().keys();
    for (const QString& userId : userIds) {
        const QVariantMap entry = accounts().value(userId).toMap();
        if (!holdsSecrets(entry))
            continue;
        const Tokens tokens{entry.value(kTokenKey).toString(), entry.value(kSecretKey).toString()};
        if (!writeToKeyring(userId, tokens))
            return moved; // no keyring, or one that fails: the file keeps every secret
        // Read the store again: only this account's entry changes, whatever else happened meanwhile.
        QVariantMap store = accounts();
        if (store.value(userId).toMap() != entry)
            continue;
        store.insert(userId, QVariantMap());
        writeAccounts(store);
        ++moved;
    }
    return moved;
}

std::optional<TokenStore::Tokens> TokenStore::tokensForUser(const QString& userId)
{
    const QVariantMap store = accounts();
    if (!store.contains(userId))
        return std::nullopt;
    const QVariantMap entry = store.value(userId).toMap();
    if (holdsSecrets(entry))
        return Tokens{entry.value(kTokenKey).toString(), entry.value(kSecretKey).toString()};
    return readFromKeyring(userId);
}

TokenStore::Location TokenStore::storeTokens(const QString& userId, const Tokens& tokens)
{
    const bool inKeyring = writeToKeyring(userId, tokens);
    QVariantMap entry;
    if (!inKeyring) {
        entry.insert(kTokenKey, tokens.tokenKey);
        entry.insert(kSecretKey, tokens.secretKey);
    }
    QVariantMap store = accounts();
    store.insert(userId, entry);
    writeAccounts(store);
    return inKeyring ? Location::Keyring : Location::SettingsFile;
}

void TokenStore::removeAllAccounts()
{
    // The settings go first: from now on no start finds these accounts, even when a deletion in the keyring never
    // finishes (an item left behind there stays in the keyring, which is where secrets belong).
    const QStringList userIds = accounts().keys();
    defaults_.removeObjectForKey(kOAuthTokens);
    defaults_.synchronize();
    for (const QString& userId : userIds) {
        auto* job = new QKeychain::DeletePasswordJob(kKeychainService);
        job->setKey(userId);
        ++pendingDeletions_;
        connect(job, &QKeychain::Job::finished, this, [this] {
            if (--pendingDeletions_ == 0)
                emit deletionsFinished();
        });
        job->start();
    }
}

bool TokenStore::waitForPendingDeletions(int timeoutMs)
{
    if (pendingDeletions_ == 0)
        return true;
    QEventLoop loop;
    connect(this, &TokenStore::deletionsFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return pendingDeletions_ == 0;
}

TokenStore::Location TokenStore::location(const QString& userId) const
{
    const QVariantMap store = accounts();
    if (!store.contains(userId))
        return Location::None;
    return holdsSecrets(store.value(userId).toMap()) ? Location::SettingsFile : Location::Keyring;
}
