#pragma once
// The user-defaults store: QSettings of organisation and application "Plumet", with default values registered
// from the "UserDefaults" resource. The file holds access tokens ("OAuthTokens"), so it is kept readable by its
// owner only. Every member may be called from any thread.
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <mutex>

class QSettings;

namespace platform {

class UserDefaults {
public:
    // The application's store: QSettings "Plumet"/"Plumet" in the native format, which on Linux is the INI file
    // Plumet/Plumet.conf under the user's configuration folder (QSettings::setPath moves it, before first use).
    static UserDefaults& standard();

    // A store kept in the given file (tests, or a store beside the program).
    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // Points the store at another file, keeping the registered defaults. For tests: no one else may be using the
    // store at that moment.
    void reopen(const QString& filePath);
    QString fileName() const;

    // Values the user has not set read as these. Later registrations add to (and override) earlier ones.
    void registerDefaults(const QVariantMap& defaults);
    // Registers the JSON object in the resource (key -> default value); false, registering nothing, when the
    // resource is missing or is not a JSON object.
    bool registerDefaultsFromResource(const QString& resourcePath = defaultsResourcePath());
    static QString defaultsResourcePath(); // ":/UserDefaults.json"
    // The registered defaults (the values the preference controls revert to).
    QVariantMap registeredDefaults() const;

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant objectForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    qlonglong integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    QVariantMap dictionaryForKey(const QString& key) const;
    // True when the user's store itself holds the key (registered defaults aside).
    bool hasStoredValue(const QString& key) const;

    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);
    void setInteger(qlonglong value, const QString& key);
    void setDouble(double value, const QString& key);
    // After removal the key reads as its registered default.
    void removeObjectForKey(const QString& key);

    // Writes pending changes to the file now; false when the file cannot be written.
    bool synchronize();

private:
    UserDefaults();
    void openLocked(std::unique_ptr<QSettings> settings);
    void writeLocked();

    mutable std::mutex mutex_; // guards settings_ and defaults_
    std::unique_ptr<QSettings> settings_;
    QVariantMap defaults_;
};

} // namespace platform
