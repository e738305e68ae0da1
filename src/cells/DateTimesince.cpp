#include "cells/DateTimesince.h"

#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <iterator>
#include <limits>
#include <QTimeZone>

namespace {

struct TimeUnit {
    qint64 seconds;
    const char16_t* text;
};

// Largest first; a month and a year are the average Gregorian ones.
constexpr TimeUnit kUnits[] = {
    {31556926, u"年"},
    {2629744, u"个月"},
    {604800, u"周"},
    {86400, u"天"},
    {3600, u"小时"},
    {60, u"分钟"},
    {1, u"秒"},
};

bool allDigits(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (const QChar c : s) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

int indexOfName(QStringView name, const char* const* names, int count)
{
    for (int i = 0; i < count; ++i) {
        if (name.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace

QDateTime dateFromServiceString(const QString& text)
{
    static const char* const kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.size() != 6)
        return {};
    // The weekday is checked for being a weekday, not for agreeing with the date: the
    // date fields are what count.
    if (indexOfName(parts[0], kWeekdays, 7) < 0)
        return {};
    const int month = indexOfName(parts[1], kMonths, 12) + 1;
    if (month == 0)
        return {};
    const QString& dayText = parts[2];
    if (!allDigits(dayText) || dayText.size() > 2)
        return {};

    const QString& timeText = parts[3];
    if (timeText.size() != 8 || timeText[2] != u':' || timeText[5] != u':')
        return {};
    const QStringView tv(timeText);
    if (!allDigits(tv.mid(0, 2)) || !allDigits(tv.mid(3, 2)) || !allDigits(tv.mid(6, 2)))
        return {};

    const QString& zoneText = parts[4];
    if (zoneText.size() != 5 || (zoneText[0] != u'+' && zoneText[0] != u'-')
        || !allDigits(QStringView(zoneText).mid(1)))
        return {};
    const int zoneHours = QStringView(zoneText).mid(1, 2).toInt();
    const int zoneMinutes = QStringView(zoneText).mid(3, 2).toInt();
    if (zoneHours > 14 || zoneMinutes > 59)
        return {};
    const int offset = (zoneText[0] == u'-' ? -1 : 1) * (zoneHours * 3600 + zoneMinutes * 60);

    const QString& yearText = parts[5];
    if (yearText.size() != 4 || !allDigits(yearText))
        return {};

    const QDate date(yearText.toInt(), month, dayText.toInt());
    const QTime time(tv.mid(0, 2).toInt(), tv.mid(3, 2).toInt(), tv.mid(6, 2).toInt());
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone(offset));
}

QString timesinceWithDepth(const QDateTime& date, int depth, const QDateTime& now)
{
    if (!date.isValid() || !now.isValid())
        return {};
    const qint64 ageMs = date.msecsTo(now);
    // Client and service clocks differ by seconds all the time; a date slightly ahead
    // of ours is as new as one just now, never a negative age.
    if (ageMs < 1000)
        return QStringLiteral("刚刚");

    qint64 s = ageMs / 1000;
    int d = depth;
    QString result;
    for (const TimeUnit& unit : kUnits) {
        const qint64 q = s / unit.seconds;
        s %= unit.seconds;
        if (d != 0 && q != 0) {
            if (!result.isEmpty())
                result += QStringLiteral(", ");
            result += QString::number(q) + u' ' + QString::fromUtf16(unit.text) + u'前';
            --d;
        }
    }
    return result.isEmpty() ? QStringLiteral("刚刚") : result;
}

int secondsUntilTimesinceChanges(const QDateTime& date, const QDateTime& now)
{
    if (!date.isValid() || !now.isValid())
        return -1;
    const qint64 ageMs = date.msecsTo(now);
    if (ageMs < 60 * 1000)
        return 1;
    const qint64 s = ageMs / 1000;
    for (std::size_t i = 0; i < std::size(kUnits); ++i) {
        const qint64 length = kUnits[i].seconds;
        if (s < length)
            continue;
        // The count of this unit goes up by one, or the next larger unit is reached, whichever comes first.
        qint64 next = (s / length + 1) * length;
        if (i > 0)
            next = std::min(next, kUnits[i - 1].seconds);
        const qint64 waitMs = next * 1000 - ageMs;
        return int(std::clamp<qint64>((waitMs + 999) / 1000, 1, std::numeric_limits<int>::max()));
    }
    return 1;
}

QString timesinceWithDepth(const QDateTime& date, int depth)
{
    return timesinceWithDepth(date, depth, QDateTime::currentDateTimeUtc());
}

QString timesince(const QDateTime& date, const QDateTime& now)
{
    return timesinceWithDepth(date, 1, now);
}

QString timesince(const QDateTime& date)
{
    return timesinceWithDepth(date, 1);
}

QString timesinceForDateString(const QString& text, const QDateTime& now)
{
    return timesince(dateFromServiceString(text), now);
}

QString timesinceForDateString(const QString& text)
{
    return timesince(dateFromServiceString(text));
}
