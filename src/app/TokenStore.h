#pragma once
// Where the access tokens of the stored accounts are kept.
//
// The settings hold the account store, "OAuthTokens": user id text -> entry. When the desktop's keyring (the Secret
// Service, reached through QtKeychain) answers, an account's entry in the settings is empty and its token and token
// secret live in the keyring, one item per account under service "Plumet" and the user id, as the JSON object
// {"TokenKey": ..., "SecretKey": ...} (one item, so the two are never written half). Without a keyring the entry
// holds "TokenKey" and "SecretKey" itself, in the owner-only settings file, as it always did. An entry that holds
// its secrets wins over the keyring: it is always the newest, because secrets are written to the file first and
// leave it only once the keyring holds them.
//
// Nothing here waits for the keyring on the way of the program: a keyring may put up a prompt (its unlock dialog,
// or "choose a password for the new keyring") that nobody answers. New tokens go to the file at once and move into
// the keyring in the background; a keyring that does not answer within kKeyringTimeoutMs, or whose prompt is
// dismissed, is declined: the secrets stay in the file and no later start asks it again until the user asks for
// the keyring in the preferences ("KeyringDeclined"). An answer that comes after the time-out still counts: the
// secrets then move as they would have. The blocking forms below wait in a local event loop that leaves user
// input queued; they are for tools and tests.
#include "app/KeyringBackend.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

namespace platform {
class UserDefaults;
}

class TokenStore : public QObject {
    Q_OBJECT
public:
    struct Tokens {
        QString tokenKey;
        QString secretKey;
        bool operator==(const Tokens& other) const
        {
            return tokenKey == other.tokenKey && secretKey == other.secretKey;
        }
        bool operator!=(const Tokens& other) const { return !(*this == other); }
    };
    enum class Location { None, Keyring, SettingsFile };
    // What the keyring did last: not asked yet, took the secrets, is not there, or was declined.
    enum class KeyringState { Unknown, Answering, Missing, Declined };

    static const QString kOAuthTokens;      // "OAuthTokens"
    static const QString kTokenKey;         // "TokenKey"
    static const QString kSecretKey;        // "SecretKey"
    static const QString kKeychainService;  // "Plumet"
    static const QString kKeyringDeclined;  // "KeyringDeclined": the keyring did not answer; tokens stay in the file
    static constexpr int kKeyringTimeoutMs = 20000;

    // With no backend given, the desktop's keyring.
    explicit TokenStore(platform::UserDefaults& defaults, QObject* parent = nullptr,
                        std::unique_ptr<KeyringBackend> backend = nullptr);
    ~TokenStore() override;

    // The account store as the settings hold it.
    QVariantMap accounts() const;
    // Where the account's tokens are kept now (None for an account not in the store).
    Location location(const QString& userId) const;

    // --- Without waiting ---

    // The account's tokens, handed to `done`: at once when the file holds them, else when the keyring answers
    // (none when the account is unknown, the keyring has no item, or it did not answer in time: then it is
    // declined).
    void readTokens(const QString& userId, std::function<void(std::optional<Tokens>)> done);
    // Adds or replaces the account in the file; moving it into the keyring is startMovingSecretsToKeyring's.
    void storeTokensInFile(const QString& userId, const Tokens& tokens);
    // Moves every secret still in the file into the keyring, one account at a time, in the background: the
    // keyring item is written and read back before the secrets leave the file, so a crash between the two steps
    // leaves both copies and the next start finishes the move. Nothing happens while the keyring is declined.
    void startMovingSecretsToKeyring();
    bool isMovingSecrets() const { return moving_; }
    // The user asks for the keyring again: the decline is forgotten and the secrets move.
    void useKeyringAgain();
    bool keyringDeclined() const;
    KeyringState keyringState() const { return keyringState_; }
    // A keyring request is under way and has not timed out (its prompt may be on screen).
    bool isWaitingForKeyring() const { return waiting_ > 0; }

    // Removes the whole store from the settings at once and starts removing every account's keyring item.
    void removeAllAccounts();
    int pendingDeletions() const { return pendingDeletions_; }
    // Lets the deletions still under way finish (at most timeoutMs); answers whether none is left.
    bool waitForPendingDeletions(int timeoutMs);

    // --- Waiting ---

    // Moves the secrets as startMovingSecretsToKeyring does and waits for the end; answers how many moved.
    int moveSecretsToKeyring();
    std::optional<Tokens> tokensForUser(const QString& userId);
    // Stores the account and moves it into the keyring when that answers; answers where the tokens went.
    Location storeTokens(const QString& userId, const Tokens& tokens);

    // How long a keyring answer is waited for (tests shorten it).
    void setKeyringTimeout(int ms) { timeoutMs_ = ms; }

signals:
    // isWaitingForKeyring changed.
    void keyringWaitingChanged(bool waiting);
    // Secrets moved, or the keyring was declined or found missing: what the preferences say may have changed.
    void locationChanged();
    // A move of the secrets has ended (every account moved, or the keyring did not take them).
    void movingFinished();
    // The last deletion under way has ended.
    void deletionsFinished();

private:
    struct Answer {
        KeyringBackend::Result result = KeyringBackend::Result::Failed;
        QString text;
        bool timedOut = false; // the time-out came first; no answer yet
        bool late = false;     // the answer after a time-out
    };
    // Runs one keyring request with the time-out: `done` hears the time-out and then, still, the late answer.
    void request(const std::function<void(KeyringBackend::Done)>& start, std::function<void(const Answer&)> done);
    void moveNext();
    void moveAccount(const QString& userId, const Tokens& tokens);
    // The item written for userId reads back as tokens: the secrets leave the file.
    void checkMoved(const QString& userId, const Tokens& tokens, std::function<void(bool moved)> done);
    void decline();
    void setKeyringState(KeyringState state);
    void writeAccounts(const QVariantMap& store);
    static std::optional<Tokens> tokensOfItem(const QString& text);

    platform::UserDefaults& defaults_;
    std::unique_ptr<KeyringBackend> backend_;
    int timeoutMs_ = kKeyringTimeoutMs;
    int waiting_ = 0;
    bool moving_ = false;
    int movedInRun_ = 0;
    QSet<QString> triedInRun_;
    KeyringState keyringState_ = KeyringState::Unknown;
    int pendingDeletions_ = 0;
};
