#include "cells/DateTimesince.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QTimeZone>

namespace {

const QDateTime kNow(QDate(2011, 6, 1), QTime(12, 0, 0), QTimeZone::utc());

QString ageOf(qint64 seconds, int depth = 1)
{
    return timesinceWithDepth(kNow.addSecs(-seconds), depth, kNow);
}

} // namespace

TEST(Timesince, DepthOneNamesTheLargestUnitThatFits)
{
    const struct {
        qint64 seconds;
        const char* expected;
    } cases[] = {
        {1, "1 秒前"},
        {59, "59 秒前"},
        {60, "1 分钟前"},
        {3599, "59 分钟前"},
        {3600, "1 小时前"},
        {86399, "23 小时前"},
        {86400, "1 天前"},
        {6 * 86400 + 23 * 3600, "6 天前"},
        {604799, "6 天前"},
        {604800, "1 周前"},
        {30 * 86400, "4 周前"},
        {2629743, "4 周前"},
        {2629744, "1 个月前"},
        {364 * 86400, "11 个月前"},
        {31556925, "11 个月前"},
        {31556926, "1 年前"},
        {365 * 86400 + 6 * 3600, "1 年前"},
        {3 * 31556926LL + 5, "3 年前"},
        // Beyond what a signed 32-bit count of seconds holds.
        {100 * 31556926LL, "100 年前"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ageOf(c.seconds), QString::fromUtf8(c.expected)) << c.seconds;
    EXPECT_EQ(timesince(kNow.addSecs(-60), kNow), QStringLiteral("1 分钟前"));
}

TEST(Timesince, TheNextChangeIsTheFirstSecondTheTextReadsDifferently)
{
    // Whatever the age, the text stays the same up to the second before the wait ends and changes with it
    // (the unit's count going up, or the next unit taking over: 4 周 becomes 1 个月 before 5 周).
    for (qint64 seconds : {0LL, 30LL, 59LL, 60LL, 61LL, 3599LL, 3600LL, 86399LL, 4 * 604800LL, 2629743LL,
                           31556925LL, 100 * 31556926LL}) {
        const int wait = secondsUntilTimesinceChanges(kNow.addSecs(-seconds), kNow);
        ASSERT_GE(wait, 1) << seconds;
        EXPECT_EQ(ageOf(seconds + wait - 1), ageOf(seconds)) << seconds;
        EXPECT_NE(ageOf(seconds + wait), ageOf(seconds)) << seconds;
    }
    EXPECT_EQ(secondsUntilTimesinceChanges(kNow.addSecs(-90), kNow), 30);
    EXPECT_EQ(secondsUntilTimesinceChanges(QDateTime(), kNow), -1);
}

TEST(Timesince, DeeperAgesNameEveryUnitWithItsOwnSuffix)
{
    EXPECT_EQ(ageOf(86400 + 3 * 3600, 2), QStringLiteral("1 天前, 3 小时前"));
    // Units that do not fit are skipped without using up depth.
    EXPECT_EQ(ageOf(86400 + 5, 2), QStringLiteral("1 天前, 5 秒前"));
    EXPECT_EQ(ageOf(86400 + 3 * 3600 + 61, 2), QStringLiteral("1 天前, 3 小时前"));
    EXPECT_EQ(ageOf(86400 + 3 * 3600 + 61, 7), QStringLiteral("1 天前, 3 小时前, 1 分钟前, 1 秒前"));
    EXPECT_EQ(ageOf(86400 + 3 * 3600 + 61, -1), QStringLiteral("1 天前, 3 小时前, 1 分钟前, 1 秒前"));
    EXPECT_EQ(ageOf(3600 * 5, 0), QStringLiteral("刚刚"));
}

TEST(Timesince, AgesBelowOneSecondAndFutureDatesAreJustNow)
{
    EXPECT_EQ(timesince(kNow, kNow), QStringLiteral("刚刚"));
    EXPECT_EQ(timesince(kNow.addMSecs(-999), kNow), QStringLiteral("刚刚"));
    EXPECT_EQ(timesince(kNow.addMSecs(-1000), kNow), QStringLiteral("1 秒前"));
    EXPECT_EQ(timesince(kNow.addMSecs(400), kNow), QStringLiteral("刚刚"));
    // Clocks of client and service differ: never "-5 秒前".
    EXPECT_EQ(timesince(kNow.addSecs(5), kNow), QStringLiteral("刚刚"));
    EXPECT_EQ(timesinceWithDepth(kNow.addSecs(2 * 86400), 3, kNow), QStringLiteral("刚刚"));
    // Against the real clock.
    EXPECT_EQ(timesince(QDateTime::currentDateTimeUtc().addSecs(3)), QStringLiteral("刚刚"));
    EXPECT_EQ(timesince(QDateTime::currentDateTimeUtc().addSecs(-7200)), QStringLiteral("2 小时前"));
}

TEST(Timesince, AnInvalidDateHasNoAge)
{
    EXPECT_TRUE(timesince(QDateTime(), kNow).isEmpty());
    EXPECT_TRUE(timesinceForDateString(QStringLiteral("yesterday"), kNow).isEmpty());
}

TEST(ServiceDate, ParsesToTheSecondInItsOwnZone)
{
    const QDateTime d = dateFromServiceString(QStringLiteral("Wed Aug 27 13:08:45 +0800 2008"));
    ASSERT_TRUE(d.isValid());
    EXPECT_EQ(d.toUTC(), QDateTime(QDate(2008, 8, 27), QTime(5, 8, 45), QTimeZone::utc()));
    EXPECT_EQ(d.offsetFromUtc(), 8 * 3600);

    const QDateTime west = dateFromServiceString(QStringLiteral("Mon Jan 01 00:00:00 -0530 2024"));
    ASSERT_TRUE(west.isValid());
    EXPECT_EQ(west.toUTC(), QDateTime(QDate(2024, 1, 1), QTime(5, 30, 0), QTimeZone::utc()));

    // Case and doubled blanks are tolerated; the weekday need not agree with the date.
    EXPECT_TRUE(dateFromServiceString(QStringLiteral("thu  AUG 27 13:08:45 +0800 2008")).isValid());

    const QDateTime created = dateFromServiceString(QStringLiteral("Wed Jun 01 19:55:00 +0800 2011"));
    EXPECT_EQ(timesince(created, kNow), QStringLiteral("5 分钟前"));
    EXPECT_EQ(timesinceForDateString(QStringLiteral("Wed Jun 01 19:55:00 +0800 2011"), kNow),
              QStringLiteral("5 分钟前"));
}

TEST(ServiceDate, RejectsTextsThatAreNotServiceDates)
{
    const char* bad[] = {
        "",
        "Wed Aug 27 13:08:45 2008",         // no zone
        "Wed Aug 27 13:08:45 +0800",        // no year
        "Wed Aug 27 13:08 +0800 2008",      // no seconds
        "Wed Foo 27 13:08:45 +0800 2008",   // no month
        "Xyz Aug 27 13:08:45 +0800 2008",   // no weekday
        "Wed Feb 30 13:08:45 +0800 2008",   // no such day
        "Wed Aug 27 25:08:45 +0800 2008",   // no such hour
        "Wed Aug 27 13:08:45 +08:00 2008",  // zone of another form
        "Wed Aug 27 13:08:45 +2500 2008",   // zone out of range
        "Wed Aug 27 13:08:45 +0800 08",     // two-digit year
        "2008-08-27T13:08:45+08:00",
        "Wed Aug 27 13:08:45 +0800 2008 extra",
    };
    for (const char* text : bad)
        EXPECT_FALSE(dateFromServiceString(QString::fromUtf8(text)).isValid()) << text;
}
