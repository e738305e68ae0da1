#include "app/TokenStore.h"

#include "platform/UserDefaults.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

const QString TokenStore::kOAuthTokens = QStringLiteral("OAuthTokens");
const QString TokenStore::kTokenKey = QStringLiteral("TokenKey");
const QString TokenStore::kSecretKey = QStringLiteral("SecretKey");
const QString TokenStore::kKeychainService = QStringLiteral("Plumet");
const QString TokenStore::kKeyringDeclined = QStringLiteral("KeyringDeclined");

namespace {

bool holdsSecrets(const QVariantMap& entry)
{
    return entry.contains(TokenStore::kTokenKey) || entry.contains(TokenStore::kSecretKey);
}

QString itemText(const TokenStore::Tokens& tokens)
{
    const QJsonObject item{{TokenStore::kTokenKey, tokens.tokenKey}, {TokenStore::kSecretKey, tokens.secretKey}};
    return QString::fromUtf8(QJsonDocument(item).toJson(QJsonDocument::Compact));
}

// Runs the event loop, user input left queued, until `done` holds.
void waitFor(const bool& done)
{
    QEventLoop loop;
    while (!done)
        loop.processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

TokenStore::TokenStore(platform::UserDefaults& defaults, QObject* parent, std::unique_ptr<KeyringBackend> backend)
    : QObject(parent)
    , defaults_(defaults)
    , backend_(backend ? std::move(backend)
                       : std::unique_ptr<KeyringBackend>(KeyringBackend::makeDesktopKeyring(kKeychainService)))
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

TokenStore::Location TokenStore::location(const QString& userId) const
{
    const QVariantMap store = accounts();
    if (!store.contains(userId))
        return Location::None;
    return holdsSecrets(store.value(userId).toMap()) ? Location::SettingsFile : Location::Keyring;
}

bool TokenStore::keyringDeclined() const
{
    return defaults_.boolForKey(kKeyringDeclined);
}

std::optional<TokenStore::Tokens> TokenStore::tokensOfItem(const QString& text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    const QJsonObject item = doc.object();
    if (!doc.isObject() || !item.value(kTokenKey).isString() || !item.value(kSecretKey).isString())
        return std::nullopt;
    return Tokens{item.value(kTokenKey).toString(), item.value(kSecretKey).toString()};
}

void TokenStore::setKeyringState(KeyringState state)
{
    if (keyringState_ == state)
        return;
    keyringState_ = state;
    emit locationChanged();
}

void TokenStore::decline()
{
    defaults_.setBool(true, kKeyringDeclined);
    defaults_.synchronize();
    setKeyringState(KeyringState::Declined);
}

void TokenStore::request(const std::function<void(KeyringBackend::Done)>& start,
                         std::function<void(const Answer&)> done)
{
    struct Pending {
        bool answered = false;
        bool timedOut = false;
    };
    auto pending = std::make_shared<Pending>();
    if (++waiting_ == 1)
        emit keyringWaitingChanged(true);
    QPointer<TokenStore> self(this);
    auto endWait = [self] {
        if (self && --self->waiting_ == 0)
            emit self->keyringWaitingChanged(false);
    };
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [pending, done, endWait, timer] {
        timer->deleteLater();
        if (pending->answered)
            return;
        pending->timedOut = true;
        endWait();
        Answer answer;
        answer.timedOut = true;
        done(answer);
    });
    timer->start(timeoutMs_);
    start([self, pending, done, endWait, timer = QPointer<QTimer>(timer)](KeyringBackend::Result result,
                                                                         const QString& text) {
        if (!self || pending->answered)
            return;
        pending->answered = true;
        if (timer)
            timer->deleteLater();
        if (!pending->timedOut)
            endWait();
        Answer answer;
        answer.result = result;
        answer.text = text;
        answer.late = pending->timedOut;
        done(answer);
    });
}

// ---------------------------------------------------------------------------------------------------------------
// Reading and storing

void TokenStore::readTokens(const QString& userId, std::function<void(std::optional<Tokens>)> done)
{
    const QVariantMap store = accounts();
    if (!store.contains(userId)) {
        done(std::nullopt);
        return;
    }
    const QVariantMap entry = store.value(userId).toMap();
    if (holdsSecrets(entry)) {
        done(Tokens{entry.value(kTokenKey).toString(), entry.value(kSecretKey).toString()});
        return;
    }
    QPointer<TokenStore> self(this);
    request([this, userId](KeyringBackend::Done answer) { backend_->read(userId, std::move(answer)); },
            [self, done](const Answer& answer) {
                // A late answer finds the program gone on without it (signed in again, say): nothing to do.
                if (!self || answer.late)
                    return;
                if (answer.timedOut || answer.result == KeyringBackend::Result::Failed)
                    self->decline();
                else if (answer.result == KeyringBackend::Result::NoKeyring)
                    self->setKeyringState(KeyringState::Missing);
                else
                    self->setKeyringState(KeyringState::Answering);
                done(answer.result == KeyringBackend::Result::Ok ? tokensOfItem(answer.text) : std::nullopt);
            });
}

void TokenStore::storeTokensInFile(const QString& userId, const Tokens& tokens)
{
    QVariantMap store = accounts();
    store.insert(userId, QVariantMap{{kTokenKey, tokens.tokenKey}, {kSecretKey, tokens.secretKey}});
    writeAccounts(store);
}

// ---------------------------------------------------------------------------------------------------------------
// Moving the secrets into the keyring

void TokenStore::useKeyringAgain()
{
    defaults_.removeObjectForKey(kKeyringDeclined);
    defaults_.synchronize();
    setKeyringState(KeyringState::Unknown);
    startMovingSecretsToKeyring();
}

void TokenStore::startMovingSecretsToKeyring()
{
    if (moving_ || keyringDeclined())
        return;
    moving_ = true;
    movedInRun_ = 0;
    triedInRun_.clear();
    moveNext();
}

void TokenStore::moveNext()
{
    const QVariantMap store = accounts();
    for (auto it = store.cbegin(); it != store.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (!holdsSecrets(entry) || triedInRun_.contains(it.key()))
            continue;
        triedInRun_.insert(it.key());
        moveAccount(it.key(), Tokens{entry.value(kTokenKey).toString(), entry.value(kSecretKey).toString()});
        return;
    }
    moving_ = false;
    emit movingFinished();
}

void TokenStore::moveAccount(const QString& userId, const Tokens& tokens)
{
    QPointer<TokenStore> self(this);
    request([this, userId, tokens](KeyringBackend::Done answer) {
        backend_->write(userId, itemText(tokens), std::move(answer));
    },
            [self, userId, tokens](const Answer& answer) {
                if (!self)
                    return;
                if (answer.timedOut) {
                    // Unanswered: the file keeps every secret, and no later start asks again.
                    self->decline();
                    self->moving_ = false;
                    emit self->movingFinished();
                    return;
                }
                if (answer.result != KeyringBackend::Result::Ok) {
                    if (answer.late)
                        return; // declined already
                    if (answer.result == KeyringBackend::Result::NoKeyring)
                        self->setKeyringState(KeyringState::Missing);
                    else
                        self->decline();
                    self->moving_ = false;
                    emit self->movingFinished();
                    return;
                }
                // The user answered the prompt after all (late or not): the secrets move as planned.
                const bool resumed = answer.late;
                if (resumed) {
                    self->defaults_.removeObjectForKey(kKeyringDeclined);
                    self->defaults_.synchronize();
                }
                self->checkMoved(userId, tokens, [self, resumed](bool moved) {
                    if (!self)
                        return;
                    self->movedInRun_ += moved ? 1 : 0;
                    if (!resumed) {
                        self->moveNext();
                    } else if (!self->moving_) {
                        // The run had ended at the time-out: the other accounts follow now.
                        self->moving_ = true;
                        self->triedInRun_.clear();
                        self->moveNext();
                    }
                });
            });
}

void TokenStore::checkMoved(const QString& userId, const Tokens& tokens, std::function<void(bool)> done)
{
    QPointer<TokenStore> self(this);
    request([this, userId](KeyringBackend::Done answer) { backend_->read(userId, std::move(answer)); },
            [self, userId, tokens, done](const Answer& answer) {
                if (!self || answer.late)
                    return;
                if (answer.timedOut)
                    return done(false);
                // Trust only what reads back: a keyring that took the item but cannot give it back is no place
                // for it.
                if (answer.result != KeyringBackend::Result::Ok || tokensOfItem(answer.text) != tokens)
                    return done(false);
                self->setKeyringState(KeyringState::Answering);
                // Read the store again: only this account's entry changes, and only if it still holds these
                // secrets (a newer sign-in meanwhile wins).
                QVariantMap store = self->accounts();
                const QVariantMap entry = store.value(userId).toMap();
                if (!store.contains(userId) || entry.value(kTokenKey).toString() != tokens.tokenKey
                    || entry.value(kSecretKey).toString() != tokens.secretKey)
                    return done(false);
                store.insert(userId, QVariantMap());
                self->writeAccounts(store);
                emit self->locationChanged();
                done(true);
            });
}

// ---------------------------------------------------------------------------------------------------------------
// Deleting

void TokenStore::removeAllAccounts()
{
    // The settings go first: from now on no start finds these accounts, even when a deletion in the keyring never
    // finishes (an item left behind there stays in the keyring, which is where secrets belong).
    const QStringList userIds = accounts().keys();
    defaults_.removeObjectForKey(kOAuthTokens);
    defaults_.synchronize();
    QPointer<TokenStore> self(this);
    for (const QString& userId : userIds) {
        ++pendingDeletions_;
        backend_->remove(userId, [self](KeyringBackend::Result, const QString&) {
            if (self && --self->pendingDeletions_ == 0)
                emit self->deletionsFinished();
        });
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

// ---------------------------------------------------------------------------------------------------------------
// The waiting forms

int TokenStore::moveSecretsToKeyring()
{
    if (moving_ || keyringDeclined())
        return 0;
    bool finished = false;
    const QMetaObject::Connection c = connect(this, &TokenStore::movingFinished, this, [&finished] { finished = true; });
    startMovingSecretsToKeyring();
    waitFor(finished);
    disconnect(c);
    return movedInRun_;
}

std::optional<TokenStore::Tokens> TokenStore::tokensForUser(const QString& userId)
{
    bool finished = false;
    std::optional<Tokens> result;
    readTokens(userId, [&](std::optional<Tokens> tokens) {
        result = std::move(tokens);
        finished = true;
    });
    waitFor(finished);
    return result;
}

TokenStore::Location TokenStore::storeTokens(const QString& userId, const Tokens& tokens)
{
    storeTokensInFile(userId, tokens);
    moveSecretsToKeyring();
    return location(userId);
}
