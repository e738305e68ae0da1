#include "mainwindow/Announcer.h"

#include "cells/ItemPlainText.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "platform/UserDefaults.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QVariantMap>

#include <algorithm>

const QString Announcer::kAnnouncedItems = QStringLiteral("AnnouncedItems");
const QString Announcer::kAnnouncedUpTo = QStringLiteral("AnnouncedUpTo");

namespace {

const QString kKind = QStringLiteral("kind");
const QString kId = QStringLiteral("id");

QString switchOf(Announcer::Kind kind)
{
    switch (kind) {
    case Announcer::Kind::Status: return QStringLiteral("NewStatus");
    case Announcer::Kind::Comment: return QStringLiteral("NewComment");
    case Announcer::Kind::Mention: return QStringLiteral("NewAtme");
    case Announcer::Kind::Message: return QStringLiteral("NewMessage");
    }
    return {};
}

// The summary's title and text of the kind.
QString summaryTitle(Announcer::Kind kind)
{
    switch (kind) {
    case Announcer::Kind::Status: return QStringLiteral("新微博");
    case Announcer::Kind::Comment: return QStringLiteral("新评论");
    case Announcer::Kind::Mention: return QStringLiteral("提到我的");
    case Announcer::Kind::Message: return QStringLiteral("新私信");
    }
    return {};
}

QString summaryText(Announcer::Kind kind, std::size_t n)
{
    switch (kind) {
    case Announcer::Kind::Status: return QStringLiteral("还有 %1 条新微博").arg(n);
    case Announcer::Kind::Comment: return QStringLiteral("还有 %1 条新评论").arg(n);
    case Announcer::Kind::Mention: return QStringLiteral("还有 %1 条提到我的微博").arg(n);
    case Announcer::Kind::Message: return QStringLiteral("还有 %1 条新私信").arg(n);
    }
    return {};
}

} // namespace

Announcer::Announcer(AnnouncerHost& host, platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent)
    , host_(host)
    , defaults_(defaults)
{
    for (const QString& key : defaults_.objectForKey(kAnnouncedItems).toStringList()) {
        if (announced_.insert(key).second)
            announcedOrder_.push_back(key);
    }
    const QVariantMap upTo = defaults_.dictionaryForKey(kAnnouncedUpTo);
    for (auto it = upTo.cbegin(); it != upTo.cend(); ++it)
        seenUpTo_[it.key().toInt()] = it.value().toULongLong();
}

QString Announcer::keyOf(Kind kind, std::uint64_t id)
{
    // A mention is a status: announced as one, it is not announced as the other.
    const char* space = kind == Kind::Comment ? "c" : kind == Kind::Message ? "m" : "s";
    return QStringLiteral("%1:%2").arg(QLatin1String(space)).arg(id);
}

void Announcer::remember(const QString& key)
{
    if (!announced_.insert(key).second)
        return;
    announcedOrder_.push_back(key);
    while (announcedOrder_.size() > kRemembered) {
        announced_.erase(announcedOrder_.front());
        announcedOrder_.pop_front();
    }
}

void Announcer::save()
{
    defaults_.setObject(QStringList(announcedOrder_.begin(), announcedOrder_.end()), kAnnouncedItems);
    QVariantMap upTo;
    for (const auto& [kind, id] : seenUpTo_)
        upTo.insert(QString::number(kind), QString::number(id));
    defaults_.setObject(upTo, kAnnouncedUpTo);
}

std::vector<Announcer::Announcement> Announcer::choose(Kind kind, const CellArray& cells, std::size_t count)
{
    std::vector<Announcement> chosen;
    if (count == 0 || !defaults_.boolForKey(QStringLiteral("UseGrowl")) ||
        !defaults_.boolForKey(switchOf(kind)))
        return chosen;
    const std::uint64_t seen = seenUpTo_[int(kind)];
    std::vector<CellPtr> fresh;
    for (std::size_t i = 0; i < std::min(count, cells.size()); ++i) {
        const CellPtr& cell = cells[i];
        if (!cell || cell->isWrittenBySelf() || cell->entityId() <= seen || announced_.count(keyOf(kind, cell->entityId())))
            continue;
        fresh.push_back(cell);
    }
    const HotTextResources& resources = host_.itemTextResources();
    for (std::size_t i = 0; i < fresh.size() && i < kOneByOne; ++i) {
        const CellPtr& cell = fresh[i];
        chosen.push_back({cell->entityName(), announcementText(cell->entityText(), resources),
                          QVariantMap{{kKind, int(kind)}, {kId, QString::number(cell->entityId())}}});
    }
    if (fresh.size() > kOneByOne)
        chosen.push_back({summaryTitle(kind), summaryText(kind, fresh.size() - kOneByOne),
                          QVariantMap{{kKind, int(kind)}}});
    // The ones in the summary were told too: they come neither one by one later nor from another list.
    for (const CellPtr& cell : fresh)
        remember(keyOf(kind, cell->entityId()));
    if (!fresh.empty())
        save();
    return chosen;
}

void Announcer::noteSeen(Kind kind, const CellArray& cells)
{
    std::uint64_t newest = 0;
    for (const CellPtr& cell : cells)
        newest = std::max(newest, cell ? cell->entityId() : 0);
    std::uint64_t& seen = seenUpTo_[int(kind)];
    if (newest <= seen)
        return;
    seen = newest;
    save();
}

void Announcer::show(const QVariant& clickContext)
{
    const QVariantMap context = clickContext.toMap();
    if (host_.isShuttingDown() || !context.contains(kKind))
        return;
    // The kinds are in the order of the left tabs; never the start-up again (a poll announced, so it has run).
    PXListViewController* list = host_.bringForward(context.value(kKind).toInt());
    const std::uint64_t id = context.value(kId).toULongLong();
    if (!list || id == 0)
        return;
    const auto cells = list->dataOfCells();
    for (std::size_t row = 0; row < cells->size(); ++row) {
        const CellPtr& cell = (*cells)[row];
        bool match = cell && cell->entityId() == id;
        if (const auto* group = dynamic_cast<const TimelineCellMessageGroup*>(cell.get()))
            match = std::any_of(group->messages().begin(), group->messages().end(),
                                [id](const auto& message) { return message && message->entityId() == id; });
        if (!match)
            continue;
        // A conversation row opens its conversation when it is selected.
        list->listView()->scrollToRow(int(row));
        list->listView()->selectRow(int(row));
        return;
    }
}
