#include "platform/UserDefaults.h"

#include "platform/PlatformResources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The store holds access tokens: it must never exist, even for a moment, with looser permissions. QSettings
// writes through a temporary file that takes over the permissions of the file it replaces, so the file is
// created 0600 before QSettings first writes it, and tightened again after every write in case something else
// rewrote it.
void secureFile(const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    if (!dir.exists()) {
        dir.mkpath(QStringLiteral("."));
        ::chmod(QFile::encodeName(dir.absolutePath()).constData(), 0700);
    }
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    } else {
        ::chmod(native.constData(), 0600);
    }
}

} // namespace

UserDefaults& UserDefaults::standard()
{
    // Never destroyed: background blocks may still read settings while the program exits.
    static UserDefaults* store = new UserDefaults();
    return *store;
}

UserDefaults::UserDefaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    openLocked(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Plumet"),
                                           QStringLiteral("Plumet")));
}

UserDefaults::UserDefaults(const QString& filePath)
{
    std::lock_guard<std::mutex> lock(mutex_);
    openLocked(std::make_unique<QSettings>(filePath, QSettings::IniFormat));
}

UserDefaults::~UserDefaults()
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeLocked();
}

void UserDefaults::reopen(const QString& filePath)
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeLocked();
    openLocked(std::make_unique<QSettings>(filePath, QSettings::IniFormat));
}

void UserDefaults::openLocked(std::unique_ptr<QSettings> settings)
{
    secureFile(settings->fileName());
    settings_ = std::move(settings);
}

void UserDefaults::writeLocked()
{
    if (!settings_)
        return;
    settings_->sync();
    secureFile(settings_->fileName());
}

QString UserDefaults::fileName() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_->fileName();
}

QString UserDefaults::defaultsResourcePath()
{
    return QStringLiteral(":/UserDefaults.json");
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        defaults_.insert(it.key(), it.value());
}

bool UserDefaults::registerDefaultsFromResource(const QString& resourcePath)
{
    ensurePlatformResources();
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    registerDefaults(doc.object().toVariantMap());
    return true;
}

QVariantMap UserDefaults::registeredDefaults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return defaults_;
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (settings_->contains(key))
        return settings_->value(key);
    return defaults_.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    // INI values read back as text; QVariant turns "true"/"false" and numbers into the right truth value.
    return objectForKey(key).toBool();
}

qlonglong UserDefaults::integerForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (ok)
        return n;
    return static_cast<qlonglong>(v.toDouble());
}

double UserDefaults::doubleForKey(const QString& key) const
{
    return objectForKey(key).toDouble();
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.canConvert<QString>() ? v.toString() : QString();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    return objectForKey(key).toMap();
}

bool UserDefaults::hasStoredValue(const QString& key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_->contains(key);
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (value.isValid())
        settings_->setValue(key, value);
    else
        settings_->remove(key);
    writeLocked();
}

void UserDefaults::setBool(bool value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setInteger(qlonglong value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setDouble(double value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::removeObjectForKey(const QString& key)
{
    setObject(QVariant(), key);
}

bool UserDefaults::synchronize()
{
    std::lock_guard<std::mutex> lock(mutex_);
    writeLocked();
    return settings_->status() == QSettings::NoError;
}

} // namespace platform
