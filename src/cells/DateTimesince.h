#pragma once

#include <QDateTime>
#include <QString>

// Relative ages such as "5 分钟前" or "刚刚", and the service's date texts.

// The time point of a service date text such as "Wed Aug 27 13:08:45 +0800 2008", to the
// second and in the text's own zone offset; an invalid QDateTime when the text is not
// of that form or names no real date.
QDateTime dateFromServiceString(const QString& text);

// The age of `date` naming at most `depth` units, largest first, each with its own "前"
// ("1 天前, 3 小时前"); "刚刚" for an age below one second, a date in the future included,
// and for a depth of 0. A negative depth names every unit that fits. An invalid date
// gives an empty text.
QString timesinceWithDepth(const QDateTime& date, int depth, const QDateTime& now);
QString timesinceWithDepth(const QDateTime& date, int depth);

// The age with depth 1: the largest unit that fits at least once.
QString timesince(const QDateTime& date, const QDateTime& now);
QString timesince(const QDateTime& date);

// How many seconds from `now` until `timesince(date)` reads differently (at least 1): every second while the
// age is under a minute, then when the age reaches the next whole unit ("59 分钟前" becomes "1 小时前" at the
// hour). -1 for an invalid date, whose (empty) text never changes.
int secondsUntilTimesinceChanges(const QDateTime& date, const QDateTime& now);

// `timesince` of a service date text; empty when the text cannot be read.
QString timesinceForDateString(const QString& text, const QDateTime& now);
QString timesinceForDateString(const QString& text);
