// The lists kept on disk across runs of the main window: a restart against a service that cannot be reached shows
// the lists, their unread marks and the place the user was reading, says it is offline, and a later start against
// the service puts only what is new on top; nothing is written after quitting; deleting the account removes them.
#include "../support/ScriptedAlertResponder.h"
#include "MainWindowTestSupport.h"
#include "WindowParts.h"

#include "cells/TimelineCellBase.h"
#include "cells/TimelineCellStatus.h"
#include "mainwindow/LeftTab.h"
#include "store/TimelineStore.h"
#include "timeline/KeptLists.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <boost/make_shared.hpp>

#include <algorithm>
#include <set>

namespace {

class KeptListsE2ETest : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        useFreshSettingsAndData();
        // The pictures are beside the point: their host is unreachable, so they fail at once.
        configureAddresses(service_->base(), QStringLiteral("http://127.0.0.1:%1").arg(closedLoopbackPort()));
        folder_ = dir_.path() + QStringLiteral("/timelines");
        account_ = QString::number(service_->demoUserId());
    }

    // A window keeping the demo account's lists, its client pointed at `base` (the service when empty).
    std::unique_ptr<MyWindowController> makeWindow(const QString& base = QString())
    {
        auto client = service_->demoClient();
        if (!base.isEmpty())
            client->setBaseUrls(base.toStdString(), (base + QStringLiteral("/2")).toStdString());
        auto window = std::make_unique<MyWindowController>(QStringLiteral("MainWindow"), client);
        window->keepListsIn(folder_, account_);
        QObject::connect(window.get(), &MyWindowController::firstListViewShown, [this] { ++shown_; });
        window->resize(540, 760);
        return window;
    }

    void start(MyWindowController& window)
    {
        shown_ = 0;
        window.showWindow();
        ASSERT_TRUE(waitUntil([&] { return shown_ > 0; }, 60000)) << "initCount " << window.initCount();
    }

    // Quits as the program does, and lets the window go.
    static void quit(std::unique_ptr<MyWindowController>& window)
    {
        window->cleanup();
        ASSERT_TRUE(window->shutdown(10000));
        window.reset();
    }

    static std::vector<std::uint64_t> ids(PXListViewController* c)
    {
        std::vector<std::uint64_t> result;
        for (const CellPtr& cell : *c->dataOfCells())
            result.push_back(cell->entityId());
        return result;
    }

    QString storePath() const
    {
        return QString::fromStdString(store::TimelineStore::pathFor(folder_.toStdString(), account_.toStdString()));
    }

    QTemporaryDir dir_;
    QString folder_;
    QString account_;
    int shown_ = 0;
};

TEST_F(KeptListsE2ETest, RestartShowsTheListsWhereTheUserLeftThemOfflineThenCatchesUpWithoutDuplicates)
{
    std::vector<std::uint64_t> homeIds, commentIds;
    store::Position place;
    {
        auto window = makeWindow();
        start(*window);
        PXListViewController* home = window->weiboListViewController();
        ASSERT_GE(home->dataOfCells()->size(), 40u);
        // Comments received come with the first poll.
        PXListViewController* comments = window->comments2meListViewController();
        ASSERT_TRUE(waitUntil([&] { return window->pollsCompleted() > 0 && !comments->dataOfCells()->empty(); }));
        commentIds = ids(comments);

        // Three statuses arrived on top and were not seen: the user reads further down.
        home->listView()->scrollToRow(20);
        home->setUnreadCount(3);
        place = KeptLists::positionOf(home);
        ASSERT_NE(place.topId, 0u);
        homeIds = ids(home);
        quit(window);
    }

    // The service cannot be reached: the lists are there at once, as they were.
    const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(closedLoopbackPort());
    configureAddresses(dead, dead);
    {
        auto window = makeWindow(dead);
        PXListViewController* home = window->weiboListViewController();
        EXPECT_EQ(ids(home), homeIds);
        EXPECT_EQ(home->unreadCount(), 3u);
        EXPECT_EQ(testsupport::part<LeftTab>(window.get(), "timelineHome")->unreadCount(), 3u);
        start(*window);
        EXPECT_EQ(ids(home), homeIds);
        EXPECT_EQ(KeptLists::positionOf(home), place);
        EXPECT_EQ(home->unreadCount(), 3u) << "unread rows above the view stay unread";
        EXPECT_TRUE(window->failureText().startsWith(QStringLiteral("无法连接到服务器，显示的是今天 ")))
            << window->failureText().toStdString();
        // The account check never answered, yet one's own statuses are still one's own (deletable, never news).
        const auto cells = home->dataOfCells();
        const auto own = std::find_if(cells->begin(), cells->end(), [this](const CellPtr& cell) {
            const auto* status = dynamic_cast<const TimelineCellStatus*>(cell.get());
            return status && status->status()->user && status->status()->user->id == service_->demoUserId();
        });
        ASSERT_NE(own, cells->end());
        EXPECT_TRUE((*own)->isRemovable());
        PXListViewController* comments = window->comments2meListViewController();
        ASSERT_TRUE(waitUntil([&] { return !comments->dataOfCells()->empty(); }));
        EXPECT_EQ(ids(comments), commentIds);
        quit(window);
    }

    // The service again, with one new status: it goes on top, once, and nothing kept is shown twice.
    configureAddresses(service_->base(), dead);
    ASSERT_TRUE(service_->demoClient()->statusUpdate("又是新的一天").outcome.ok());
    {
        auto window = makeWindow();
        start(*window);
        PXListViewController* home = window->weiboListViewController();
        const std::vector<std::uint64_t> now = ids(home);
        EXPECT_EQ(std::set<std::uint64_t>(now.begin(), now.end()).size(), now.size()) << "a row shown twice";
        ASSERT_EQ(now.size(), homeIds.size() + 1);
        EXPECT_TRUE(std::equal(homeIds.begin(), homeIds.end(), now.begin() + 1));
        EXPECT_TRUE(window->failureText().isEmpty());
        quit(window);
    }
}

TEST_F(KeptListsE2ETest, KeptRowsShowWhileTheServiceAndItsPicturesHangAndStayWhenTheStartUpFails)
{
    // Everything hangs, the pictures of the kept statuses too: the rows must not wait for them.
    SilentServer silent;
    ASSERT_TRUE(silent.isListening());
    std::vector<std::uint64_t> kept;
    {
        auto opened = store::TimelineStore::open(folder_.toStdString(), account_.toStdString());
        ASSERT_TRUE(opened.store);
        std::vector<store::Row> rows;
        for (std::uint64_t id = 30; id > 0; --id) {
            auto status = boost::make_shared<weibo::WBStatus>();
            status->id = id;
            status->text = "带图的微博";
            status->thumbnail_pic = silent.base().toStdString() + "/thumb/" + std::to_string(id) + ".png";
            status->user = boost::make_shared<weibo::WBUser>();
            status->user->id = 42;
            status->user->screen_name = "某人";
            rows.emplace_back(status, false);
            kept.push_back(id);
        }
        opened.store->save(store::ListKind::Home, rows);
        ASSERT_TRUE(opened.store->flush());
    }
    configureAddresses(silent.base(), silent.base());
    auto window = makeWindow(silent.base());
    PXListViewController* home = window->weiboListViewController();
    window->showWindow();
    EXPECT_TRUE(waitUntil([&] { return home->listView()->numberOfRows() == int(kept.size()); }, 10000));
    EXPECT_TRUE(window->isStarting());
    silent.hangUp();
    ASSERT_TRUE(waitUntil([&] { return shown_ > 0; }, 60000));
    EXPECT_EQ(ids(home), kept);
    quit(window);
}

TEST_F(KeptListsE2ETest, NothingIsWrittenAfterQuittingAndDeletingTheAccountRemovesTheFiles)
{
    auto window = makeWindow();
    start(*window);
    PXListViewController* home = window->weiboListViewController();
    const std::vector<std::uint64_t> shown = ids(home);
    ASSERT_FALSE(shown.empty());
    window->cleanup();
    // A change after quitting (a late answer applied, a removal) is not kept.
    home->removeCells({shown.front()});
    QCoreApplication::processEvents();
    {
        auto reopened = store::TimelineStore::open(folder_.toStdString(), account_.toStdString());
        ASSERT_TRUE(reopened.store);
        EXPECT_EQ(reopened.store->read(store::ListKind::Home).rows.size(), shown.size());
    }
    ASSERT_TRUE(window->shutdown(10000));
    window.reset();

    // Deleting the account: the open store is dropped and its files go.
    window = makeWindow();
    ASSERT_TRUE(QFile::exists(storePath()));
    window->discardKeptLists();
    window->weiboListViewController()->removeCells({shown.front()});
    QCoreApplication::processEvents();
    EXPECT_FALSE(QFile::exists(storePath()));
    EXPECT_FALSE(QFile::exists(storePath() + QStringLiteral("-wal")));
    EXPECT_TRUE(KeptLists::removeAccount(folder_, account_));
}

TEST_F(KeptListsE2ETest, AnUnreadableStoreIsMovedAsideWithOneNoticeAndTheListsLoadAsOnAFirstStart)
{
    platform::ScriptedAlertResponder alerts;
    ASSERT_TRUE(QDir().mkpath(folder_));
    {
        QFile garbage(storePath());
        ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, 'x'));
    }
    auto window = makeWindow();
    EXPECT_TRUE(window->weiboListViewController()->dataOfCells()->empty());
    start(*window);
    EXPECT_FALSE(window->weiboListViewController()->dataOfCells()->empty());
    ASSERT_TRUE(waitUntil([&] { return !alerts.alerts().empty(); }));
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.alerts().front().messageText, QStringLiteral("无法读取保存的时间线"));
    EXPECT_TRUE(alerts.alerts().front().informativeText.contains(QStringLiteral("已损坏")));
    // The garbage is beside the new store, not gone.
    const QString name = QFileInfo(storePath()).fileName();
    const QStringList files = QDir(folder_).entryList(QDir::Files);
    EXPECT_TRUE(files.contains(name));
    EXPECT_EQ(files.filter(name + u'.').size(), 1) << files.join(u' ').toStdString();
    quit(window);
}

} // namespace
