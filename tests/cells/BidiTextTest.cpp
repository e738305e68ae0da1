// Names and texts from the service cannot turn the interface's text around.
#include "cells/BidiText.h"

#include <gtest/gtest.h>

TEST(BidiText, OverridesAreNeutralisedAndRightToLeftNamesIsolated)
{
    // U+202E before "刘洋_Liu" would show it as "uiL_洋刘"; every embedding, override and isolate control goes.
    const QString spoofed = QString(QChar(0x202E)) + QStringLiteral("刘洋_Liu");
    EXPECT_EQ(displayName(spoofed), QStringLiteral("刘洋_Liu"));
    const QString controls = QStringLiteral("a\u202Ab\u202Bc\u202Cd\u202De\u2066f\u2067g\u2068h\u2069i");
    EXPECT_EQ(neutralizeBidiControls(controls), QStringLiteral("abcdefghi"));
    // The marks only lean neutral characters and stay.
    EXPECT_EQ(neutralizeBidiControls(QStringLiteral("x\u200Fy\u200E")), QStringLiteral("x\u200Fy\u200E"));

    // A name with right-to-left letters keeps its own direction, isolated from the text beside it.
    const QString hebrew = QStringLiteral("\u05E9\u05DC\u05D5\u05DD 12");
    EXPECT_EQ(displayName(hebrew), QChar(0x2068) + hebrew + QChar(0x2069));
    EXPECT_EQ(displayName(QStringLiteral("\u202E\u0627\u0628")), QStringLiteral("\u2068\u0627\u0628\u2069"));
    // Left-to-right names are shown as they are.
    EXPECT_EQ(displayName(QStringLiteral("刘洋_Liu 2")), QStringLiteral("刘洋_Liu 2"));
    EXPECT_EQ(displayName(QString()), QString());
}
