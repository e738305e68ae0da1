#pragma once
// One application object for the whole test program, created after the private session bus so that nothing in
// the program can reach the desktop's bus; settings go to a folder of the program's own.
#include "../support/PrivateSessionBus.h"
#include "../support/TestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QSettings>

#include <gtest/gtest.h>

class PlatformTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::ApplicationOptions options;
        options.name = "plumet-platform-tests";
        options.bus = testsupport::SessionBus::Private;
        testsupport::setUpApplication(options);
    }
    void TearDown() override { testsupport::tearDownApplication(); }
    static PrivateSessionBus* bus() { return testsupport::bus(); }
    static QString settingsFolder() { return testsupport::root(); }
};
