#pragma once
// What the application-shell tests add to the shared support: the authorisation window as the tests drive it.
#include "../support/DevServiceTest.h"
#include "app/AuthWindowController.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using testsupport::DevService;
using testsupport::useFreshSettings;

// One application with private settings, data and cache folders and no session bus (or a private one).
class AppTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::ApplicationOptions options;
        options.name = "plumet-app-tests";
        options.privateFolders = true;
#ifdef PLUMET_APP_TESTS_PRIVATE_BUS
        // A bus of the run's own, where a test may start a Secret Service.
        options.bus = testsupport::SessionBus::Private;
#else
        options.bus = testsupport::SessionBus::Blocked;
#endif
        options.programNames = true;
        testsupport::setUpApplication(options);
    }
    void TearDown() override
    {
        platform::closeMainQueue();
        testsupport::tearDownApplication();
    }
    static QString root() { return testsupport::root(); }
};

// The visible authorisation window, or none.
AuthWindowController* visibleAuthWindow();

// Runs `drive` on the authorisation window once it is up (from inside its modal loop). When no such window comes
// within the deadline `drive` runs with none.
void whenAuthWindowShows(std::function<void(AuthWindowController*)> drive, int timeoutMs = 10000);
