#include "cells/ItemSpeech.h"

#include "cells/BidiText.h"
#include "cells/ItemPlainText.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"

#include <QStringList>

namespace {

const QString kPause = QStringLiteral("，");

QString qs(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

// Line breaks are pauses when spoken; an empty part says nothing.
void say(QStringList& parts, const QString& text)
{
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            parts << trimmed;
    }
}

void sayStatus(QStringList& parts, const weibo::WBStatus& status, bool original, const HotTextResources& resources)
{
    const QString author = status.user ? displayName(qs(status.user->screen_name)) : QString();
    const QString text = announcementText(neutralizeBidiControls(qs(status.text)), resources);
    if (original)
        say(parts, QStringLiteral("转发 @%1：%2").arg(author, text));
    else
        say(parts, author.isEmpty() ? text : author + QStringLiteral("：") + text);
    if (!status.thumbnail_pic.empty())
        parts << QStringLiteral("图片");
}

QString countsOf(const TimelineCellStatus& cell)
{
    QStringList counts;
    if (cell.repostCount())
        counts << QStringLiteral("转发 %1").arg(cell.repostCount());
    if (cell.commentCount())
        counts << QStringLiteral("评论 %1").arg(cell.commentCount());
    return counts.join(kPause);
}

} // namespace

QString spokenTextOfItem(TimelineCellBase& cell, const HotTextResources& resources)
{
    QStringList parts;
    if (auto* status = dynamic_cast<TimelineCellStatus*>(&cell); status && status->status()) {
        const weibo::WBStatus& s = *status->status();
        sayStatus(parts, s, false, resources);
        if (status->video())
            parts << QStringLiteral("视频");
        if (s.retweeted_status)
            sayStatus(parts, *s.retweeted_status, true, resources);
        say(parts, status->date());
        say(parts, countsOf(*status));
        if (s.favorited)
            parts << QStringLiteral("已收藏");
    } else if (auto* group = dynamic_cast<TimelineCellMessageGroup*>(&cell);
               group && !group->messages().empty() && group->messages().front()) {
        say(parts, displayName(group->entityName()) + QStringLiteral("：") +
                       announcementText(group->messages().front()->entityText(), resources));
        say(parts, group->date());
        if (const int unread = group->unreadMessages())
            parts << QStringLiteral("%1 条未读").arg(unread);
    } else if (auto* message = dynamic_cast<TimelineCellMessage*>(&cell)) {
        const QString sender = message->isSentFromMe() ? QStringLiteral("我") : displayName(message->otherName());
        say(parts, sender + QStringLiteral("：") + announcementText(message->entityText(), resources));
        say(parts, message->date().replace(QLatin1Char('\n'), QLatin1Char(' ')));
    } else {
        // Comments and the other rows read as they are shown: the name line, the text and what it answers
        // (the toolbar's pictures have no text).
        bool determinate = true;
        say(parts, announcementText(cell.stringForTextView(determinate).plainString(), resources));
        say(parts, cell.date());
    }
    return parts.join(kPause);
}
