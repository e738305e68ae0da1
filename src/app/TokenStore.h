#pragma once
// Where the access tokens of the stored accounts are kept.
//
// The settings hold the account store, "OAuthTokens": user id text -> entry. When the desktop's keyring (the Secret
// Service, reached through QtKeychain) answers, an account's entry in the settings is empty and its token and token
// secret live in the keyring, one item per account under service "Plumet" and the user id, as the JSON object
// {"TokenKey": ..., "SecretKey": ...} (one item, so the two are never written half). Without a keyring the entry
// holds "TokenKey" and "SecretKey" itself, in the owner-only settings file, as it always did. An entry that holds
// its secrets wins over the keyring: it is always the newest, because secrets are written to the file only when
// the keyring failed.
//
// QtKeychain answers asynchronously. Reading, moving and storing tokens happen during start-up (before any window
// but the authorisation window exists) and wait for the keyring in a local event loop that leaves user input
// queued and ends after kKeyringTimeoutMs at the latest, long enough for the keyring's own unlock prompt. A keyring
// that has not answered by then counts as unreachable. Deleting does not wait: the deletions finish in the
// background and quitting waits for them, bounded too.
#include <QObject>
#include <QString>
#include <QVariantMap>

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
    };
    enum class Location { None, Keyring, SettingsFile };

    static const QString kOAuthTokens;      // "OAuthTokens"
    static const QString kTokenKey;         // "TokenKey"
    static const QString kSecretKey;        // "SecretKey"
    static const QString kKeychainService;  // "Plumet"
    static constexpr int kKeyringTimeoutMs = 20000;

    explicit TokenStore(platform::UserDefaults& defaults, QObject* parent = nullptr);
    ~TokenStore() override;

    // The account store as the settings hold it.
    QVariantMap accounts() const;

    // Moves every secret still in the settings file into the keyring, one account at a time: the keyring item is
    // written and read back before the secrets leave the file, so a crash between the two steps leaves both copies
    // and the next start finishes the move. Answers how many accounts moved; without a keyring nothing changes.
    int moveSecretsToKeyring();

    // The account's tokens from wherever they are; none when the store has no such account or the keyring holding
    // its secrets does not answer.
    std::optional<Tokens> tokensForUser(const QString& userId);

    // Adds or replaces the account: in the keyring (written and read back) when it answers, else in the file.
    // Answers where the tokens went.
    Location storeTokens(const QString& userId, const Tokens& tokens);

    // Removes the whole store from the settings at once and starts removing every account's keyring item.
    void removeAllAccounts();
    int pendingDeletions() const { return pendingDeletions_; }
    // Lets the deletions still under way finish (at most timeoutMs); answers whether none is left.
    bool waitForPendingDeletions(int timeoutMs);

    // Where the account's tokens are kept now (None for an account not in the store).
    Location location(const QString& userId) const;

    // How long a keyring answer is waited for (tests shorten it).
    void setKeyringTimeout(int ms) { timeoutMs_ = ms; }

signals:
    // The last deletion under way has ended.
    void deletionsFinished();

private:
    bool writeToKeyring(const QString& userId, const Tokens& tokens);
    std::optional<Tokens> readFromKeyring(const QString& userId);
    void writeAccounts(const QVariantMap& store);

    platform::UserDefaults& defaults_;
    int timeoutMs_ = kKeyringTimeoutMs;
    int pendingDeletions_ = 0;
};
