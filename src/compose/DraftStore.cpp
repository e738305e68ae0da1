#include "compose/DraftStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

DraftStore::DraftStore(const QString& kind, const QString& folder)
    : kind_(kind)
    , folder_(folder.isEmpty() ? defaultFolder() : folder)
{
}

QString DraftStore::defaultFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("drafts"));
}

QString DraftStore::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool DraftStore::ensureFolder() const
{
    QDir dir(folder_);
    if (!dir.exists() && !QDir().mkpath(folder_))
        return false;
    return QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString DraftStore::keptPicturePath(const QString& id) const
{
    return QDir(folder_).filePath(id + QStringLiteral(".picture"));
}

bool DraftStore::save(Draft draft)
{
    if (draft.id.isEmpty() || !ensureFolder())
        return false;
    draft.kind = kind_;
    if (!draft.modified.isValid())
        draft.modified = QDateTime::currentDateTimeUtc();
    QJsonObject o;
    o.insert(QStringLiteral("kind"), draft.kind);
    o.insert(QStringLiteral("text"), draft.text);
    o.insert(QStringLiteral("picture"), draft.picture);
    o.insert(QStringLiteral("recipient"), draft.recipient);
    o.insert(QStringLiteral("modified"), draft.modified.toMSecsSinceEpoch());
    QSaveFile file(QDir(folder_).filePath(draft.id + QStringLiteral(".json")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The temporary file is owner-only before a byte is written; the rename keeps it so.
    file.setPermissions(kOwnerOnly);
    file.write(QJsonDocument(o).toJson(QJsonDocument::Compact));
    return file.commit();
}

void DraftStore::discard(const QString& id)
{
    if (id.isEmpty())
        return;
    QFile::remove(QDir(folder_).filePath(id + QStringLiteral(".json")));
    QFile::remove(keptPicturePath(id));
}

QList<Draft> DraftStore::drafts(int limit) const
{
    QList<Draft> all;
    const QDir dir(folder_);
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        if (o.value(QStringLiteral("kind")).toString() != kind_)
            continue;
        Draft d;
        d.id = info.completeBaseName();
        d.kind = kind_;
        d.text = o.value(QStringLiteral("text")).toString();
        d.picture = o.value(QStringLiteral("picture")).toString();
        d.recipient = o.value(QStringLiteral("recipient")).toString();
        d.modified = QDateTime::fromMSecsSinceEpoch(qint64(o.value(QStringLiteral("modified")).toDouble()), Qt::UTC);
        all.append(d);
    }
    std::sort(all.begin(), all.end(), [](const Draft& a, const Draft& b) { return a.modified > b.modified; });
    if (limit >= 0 && all.size() > limit)
        all.resize(limit);
    return all;
}

void DraftStore::prune(int keep)
{
    const QList<Draft> all = drafts(-1);
    for (int i = keep; i < all.size(); ++i)
        discard(all[i].id);
}

// ---------------------------------------------------------------------------------------------------------------

DraftKeeper::DraftKeeper(DraftStore store, Snapshot snapshot, QObject* parent)
    : QObject(parent)
    , store_(std::move(store))
    , snapshot_(std::move(snapshot))
    , id_(DraftStore::newId())
{
    timer_.setSingleShot(true);
    timer_.setInterval(kDelayMs);
    connect(&timer_, &QTimer::timeout, this, &DraftKeeper::flush);
    // The program's end (the quit item, the session's end, SIGTERM) goes through aboutToQuit.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &DraftKeeper::flush);
}

DraftKeeper::~DraftKeeper() = default;

void DraftKeeper::noteChange()
{
    dirty_ = true;
    // Not restarted by later keystrokes: a steady typist still gets a write every second.
    if (!timer_.isActive())
        timer_.start();
}

void DraftKeeper::flush()
{
    timer_.stop();
    if (!dirty_ || !snapshot_)
        return;
    Draft d = snapshot_();
    d.id = id_;
    if (d.isEmpty()) {
        store_.discard(id_);
    } else if (!store_.save(d)) {
        return; // still dirty: the next change or flush tries again
    }
    dirty_ = false;
    store_.prune(DraftStore::kKept);
}

void DraftKeeper::startNew()
{
    flush();
    id_ = DraftStore::newId();
    dirty_ = false;
}

void DraftKeeper::adopt(const QString& id)
{
    timer_.stop();
    id_ = id;
    dirty_ = false;
}

void DraftKeeper::discardCurrent()
{
    timer_.stop();
    store_.discard(id_);
    id_ = DraftStore::newId();
    dirty_ = false;
}

void DraftKeeper::detach()
{
    timer_.stop();
    snapshot_ = nullptr;
}
