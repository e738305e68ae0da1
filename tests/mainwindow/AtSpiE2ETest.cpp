// The main window as a screen reader reads it over the real accessibility bus: on a virtual X display of the
// test's own, with a private session bus and its accessibility bus (at-spi-bus-launcher), a pyatspi program
// (Debian's python3-pyatspi, run by /usr/bin/python3) finds the newest home status among Plumet's accessible
// objects and hears the focus move to the next status when j is pressed.
#include "../support/ChildProcess.h"
#include "../support/DevServiceTest.h"
#include "../support/PrivateSessionBus.h"
#include "cells/TimelineCellBase.h"
#include "mainwindow/MyWindowController.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// Qt's accessibility bridge keeps the interface objects it made for the screen reader until the process ends and
// frees them in no order LeakSanitizer can follow (two of them are reported, from libQt6Gui alone). Memory errors
// are still checked here; the leak check of this one program is left to the other tests, which make every one of
// Plumet's objects too.
static const bool leaksNotChecked = [] {
    __lsan_disable();
    return true;
}();
#endif

namespace {

// Everything the bridge needs, started before the application exists: the display, the session bus and the
// accessibility bus behind it.
class AtSpiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!xvfb_.start({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}))
            return;
        const std::string display = xvfb_.readOutput("\n", 10000);
        if (display.find('\n') == std::string::npos)
            return;
        qputenv("DISPLAY", QByteArray(":") + QByteArray::fromStdString(display.substr(0, display.find('\n'))));
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The bridge talks whether or not the desktop says a screen reader runs.
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        bus_ = std::make_unique<PrivateSessionBus>();
        if (!bus_->isRunning() || !launcher_.start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}))
            return;
        testsupport::ApplicationOptions options;
        options.name = "plumet-atspi-tests";
        options.privateFolders = true;
        options.programNames = true;
        options.platformResources = true;
        options.drainQueues = true;
        testsupport::setUpApplication(options);
        ready_ = true;
    }
    void TearDown() override
    {
        if (ready_)
            testsupport::tearDownApplication();
        launcher_.end();
        bus_.reset();
        xvfb_.end();
    }
    static inline bool ready_ = false;

private:
    testsupport::ChildProcess xvfb_;
    std::unique_ptr<PrivateSessionBus> bus_;
    testsupport::ChildProcess launcher_;
};

::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new AtSpiEnvironment);

class AtSpiE2ETest : public testsupport::DevServiceTest {};

TEST_F(AtSpiE2ETest, AScreenReaderFindsTheNewestHomeStatusAndHearsTheFocusMove)
{
    ASSERT_TRUE(AtSpiEnvironment::ready_) << "no virtual display, session bus or accessibility bus";
    testsupport::useFreshSettingsAndData();
    service_->configureSettings();
    MyWindowController window(QStringLiteral("MainWindow"), service_->demoClient());
    window.resize(540, 760);
    window.show();
    window.cellContext().setSelfUserId(service_->demoUserId());
    PXListViewController* home = window.weiboListViewController();
    home->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false);
    window.initComplete();
    window.timer()->stop();
    home->reloadData();
    ASSERT_TRUE(waitUntil([&] { return home->listView()->numberOfRows() == int(home->dataOfCells()->size()); }));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    home->listView()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return home->listView()->currentRow() == 0; }));

    // The newest status of the service is the first row; its whole spoken text is what the reader must find.
    const std::vector<std::uint64_t> newest = service_->homeTimelineIds();
    ASSERT_FALSE(newest.empty());
    ASSERT_EQ(home->dataOfCells()->front()->entityId(), newest.front());
    const QString first = home->listViewAccessibleTextOfRow(home->listView(), 0);
    const QString second = home->listViewAccessibleTextOfRow(home->listView(), 1);
    ASSERT_TRUE(first.contains(home->dataOfCells()->front()->entityName()));

    testsupport::ChildProcess probe;
    ASSERT_TRUE(probe.start({"/usr/bin/python3", PLUMET_SOURCE_DIR "/tests/mainwindow/atspi_probe.py",
                             QGuiApplication::applicationDisplayName().toStdString(), first.toStdString()}));
    // The program answers the reader's questions on its main thread: keep it running while the reader reads.
    auto printed = [&](const std::string& what) {
        return waitUntil([&] { return probe.readOutput(what, 10).find(what) != std::string::npos; }, 30000);
    };
    ASSERT_TRUE(printed("LISTENING")) << probe.readOutput(std::string(), 10);
    EXPECT_NE(probe.readOutput(std::string(), 10).find("FOUND"), std::string::npos) << probe.readOutput(std::string(), 10);
    EXPECT_NE(probe.readOutput(std::string(), 10).find("TABS 状态|评论|提及|私信|收藏\n"), std::string::npos)
        << "the left tabs are page tabs, in their order";

    // The reader's request for focus events reaches the program over the bus in its own time: the current row
    // moves (j, then back with k) until the reader hears a focus, within the deadline.
    auto heardLine = [&] {
        const std::string out = probe.readOutput("FOCUS\t", 200);
        const std::size_t at = out.find("FOCUS\t");
        return at != std::string::npos && out.find('\n', at) != std::string::npos;
    };
    const bool heard = waitUntil(
        [&] {
            QTest::keyClick(home->listView(), home->listView()->currentRow() == 0 ? Qt::Key_J : Qt::Key_K);
            return heardLine();
        },
        20000);
    ASSERT_TRUE(heard) << probe.readOutput(std::string(), 10);
    const std::string out = probe.readOutput(std::string(), 10);
    const std::size_t at = out.find("FOCUS\t") + 6;
    const std::string name = out.substr(at, out.find('\n', at) - at);
    EXPECT_TRUE(name == second.toStdString() || name == first.toStdString()) << name;
    probe.end();
}

} // namespace
