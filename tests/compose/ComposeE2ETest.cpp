// The new-status and send-message windows against the development service (behind the counting proxy), the
// completion's requests, and the drafts, a kill -9 included.
#include "../refresh/RefreshTestSupport.h"
#include "../support/DevServiceTest.h"
#include "ComposeTestSupport.h"
#include "compose/DroppableHKTextView.h"
#include "compose/PostWindowController.h"
#include "compose/SendMessageWindowController.h"
#include "model/WeiboParser.h"
#include "ScriptedAlertResponder.h"
#include "cells/TimelineCellBase.h"
#include "timeline/PXListViewController.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

namespace {

[[maybe_unused]] auto* const app = ::testing::AddGlobalTestEnvironment(new ComposeTestApp);

using refreshtest::CountingProxy;

class ComposeE2E : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        proxy_ = std::make_unique<CountingProxy>(service_->port());
        ASSERT_TRUE(proxy_->start());
        client_ = testsupport::makeClient(proxy_->base(), service_->value(QStringLiteral("DemoAccessToken")),
                                          service_->value(QStringLiteral("DemoAccessTokenSecret")));
        ComposeEnvironment::setClientProvider([this] { return client_; });
        home_ = std::make_unique<PXListViewController>(QStringLiteral("PXListView"),
                                                       QString::fromStdString(weibo::WEIBO_API_TIMELINE_FRIENDS),
                                                       client_);
        context_.homeList = [this] { return home_.get(); };
        // Records each text as it goes up and an empty text as it goes away (both on the main thread).
        context_.displayBusy = [this](const QString& text) {
            busy_.append(text);
            return BusyText([this] { busy_.append(QString()); });
        };
        drafts_ = std::make_unique<QTemporaryDir>();
    }
    void TearDown() override
    {
        platform::waitForGlobalQueue(30000);
        QCoreApplication::processEvents();
        ComposeEnvironment::setClientProvider(nullptr);
    }

    std::unique_ptr<PostWindowController> makePostWindow()
    {
        auto w = std::make_unique<PostWindowController>(context_, nullptr, drafts_->path());
        w->showWindow();
        return w;
    }
    static bool waitForPost(PostWindowController& w, QSignalSpy& spy, int count = 1)
    {
        (void)w;
        return waitUntil([&] { return spy.count() >= count; }, 30000);
    }
    boost::shared_ptr<weibo::WBStatus> serviceStatus(std::uint64_t id)
    {
        const auto statuses = weibo::parseString<weibo::WBStatus>(service_->demoClient()->statusShowById(id));
        return statuses.empty() ? nullptr : statuses.front();
    }

    std::unique_ptr<CountingProxy> proxy_;
    boost::shared_ptr<weibo::SinaWeibo> client_;
    std::unique_ptr<PXListViewController> home_;
    ComposeContext context_;
    QStringList busy_;
    std::unique_ptr<QTemporaryDir> drafts_;
    platform::ScriptedAlertResponder alerts_;
};

TEST_F(ComposeE2E, PostsTextAndPictureOnTopOfTheHomeTimelineAndOnTheService)
{
    auto w = makePostWindow();
    QSignalSpy finished(w.get(), &PostWindowController::postFinished);
    typeText(w->textView(), QStringLiteral("从编辑器发出的微博"));
    w->postStatus();
    ASSERT_TRUE(waitForPost(*w, finished));
    EXPECT_TRUE(finished.front().front().toBool());
    ASSERT_FALSE(home_->dataOfCells()->empty());
    const std::uint64_t textId = home_->dataOfCells()->front()->entityId();
    EXPECT_EQ(service_->homeTimelineIds().front(), textId);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->editor()->plainString().isEmpty());
    EXPECT_EQ(busy_, (QStringList{QStringLiteral("正在发布新微博..."), QString()}));

    // With a dropped picture: the upload call, and the service's status carries the picture. (Straight to the
    // service: the proxy forwards form bodies only.)
    auto direct = service_->demoClient();
    ComposeEnvironment::setClientProvider([direct] { return direct; });
    w->reset();
    w->showWindow();
    w->fileDropped(ComposeTestApp::picture(QStringLiteral("upload")));
    typeText(w->textView(), QStringLiteral("带图片"));
    w->postStatus();
    ASSERT_TRUE(waitForPost(*w, finished, 2));
    ASSERT_TRUE(finished.back().front().toBool())
        << (alerts_.alerts().empty() ? std::string()
                                     : (alerts_.alerts().back().messageText + u' ' +
                                        alerts_.alerts().back().informativeText).toStdString());
    const std::uint64_t pictureId = home_->dataOfCells()->front()->entityId();
    EXPECT_NE(pictureId, textId);
    const auto status = serviceStatus(pictureId);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text, "带图片");
    EXPECT_FALSE(status->original_pic.empty());
    EXPECT_TRUE(alerts_.alerts().empty());
}

TEST_F(ComposeE2E, AfterAttachingOrRemovingAPictureTheKeysGoToTheTextAndCtrlReturnPosts)
{
    // Straight to the service: the proxy forwards form bodies only.
    auto direct = service_->demoClient();
    ComposeEnvironment::setClientProvider([direct] { return direct; });
    auto w = makePostWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QSignalSpy finished(w.get(), &PostWindowController::postFinished);
    const QString picture = ComposeTestApp::picture(QStringLiteral("chosen"));
    EXPECT_TRUE(w->removePicButton()->isHidden());
    alerts_.queueOpenAnswer({picture});
    QTest::mouseClick(w->uploadPicButton(), Qt::LeftButton);
    EXPECT_EQ(w->picPath(), picture);
    EXPECT_EQ(QApplication::focusWidget(), w->textView());
    QTest::mouseClick(w->removePicButton(), Qt::LeftButton);
    EXPECT_TRUE(w->picPath().isEmpty());
    EXPECT_TRUE(w->previewPic()->pixmap().isNull());
    EXPECT_TRUE(w->removePicButton()->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), w->textView());

    alerts_.queueOpenAnswer({picture});
    QTest::mouseClick(w->uploadPicButton(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), w->textView());
    typeText(QApplication::focusWidget(), QStringLiteral("图文"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitForPost(*w, finished));
    ASSERT_TRUE(finished.front().front().toBool());
    const auto status = serviceStatus(home_->dataOfCells()->front()->entityId());
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text, "图文");
    EXPECT_FALSE(status->original_pic.empty());
}

TEST_F(ComposeE2E, EmptyTextWarnsAndADoubleSendPostsOnce)
{
    auto w = makePostWindow();
    QSignalSpy finished(w.get(), &PostWindowController::postFinished);
    w->postStatus();
    ASSERT_EQ(alerts_.alerts().size(), 1u);
    EXPECT_EQ(alerts_.alerts().front().messageText, QStringLiteral("不能发布空微博."));
    EXPECT_EQ(proxy_->size(), 0u);

    typeText(w->textView(), QStringLiteral("只发一次"));
    QTest::keyClick(w->textView(), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(w->textView(), Qt::Key_Return, Qt::ControlModifier);
    w->postButton()->click();
    ASSERT_TRUE(waitForPost(*w, finished));
    platform::waitForGlobalQueue(10000);
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(proxy_->count("/statuses/update"), 1);
}

TEST_F(ComposeE2E, ServiceErrorsAndADeadServiceWarnAndKeepTextAndPicture)
{
    auto w = makePostWindow();
    QSignalSpy finished(w.get(), &PostWindowController::postFinished);
    const QString picture = ComposeTestApp::picture(QStringLiteral("kept"));
    w->fileDropped(picture);
    typeText(w->textView(), QStringLiteral("发不出去"));

    auto signedOut = testsupport::makeClient(proxy_->base(), QStringLiteral("bad"), QStringLiteral("bad"));
    ComposeEnvironment::setClientProvider([signedOut] { return signedOut; });
    w->postStatus();
    ASSERT_TRUE(waitForPost(*w, finished));
    ASSERT_EQ(alerts_.alerts().size(), 1u);
    EXPECT_TRUE(alerts_.alerts().front().messageText.startsWith(QStringLiteral("发布新微博失败！ 错误代码: ")))
        << alerts_.alerts().front().messageText.toStdString();

    ComposeEnvironment::setClientProvider([this] { return client_; });
    proxy_->stop();
    w->postStatus();
    ASSERT_TRUE(waitForPost(*w, finished, 2));
    ASSERT_EQ(alerts_.alerts().size(), 2u);
    EXPECT_EQ(alerts_.alerts().back().messageText, QStringLiteral("发布新微博失败！"));
    EXPECT_FALSE(alerts_.alerts().back().informativeText.isEmpty());
    EXPECT_EQ(w->editor()->plainString(), QStringLiteral("发不出去"));
    EXPECT_EQ(w->picPath(), picture);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->postButton()->isEnabled());
}

TEST_F(ComposeE2E, SendWindowClosesOnlyWhenTheMessageComesBack)
{
    SendMessageWindowController w(nullptr, drafts_->path());
    QSignalSpy finished(&w, &SendMessageWindowController::sendFinished);
    w.resetWithRecipient(QStringLiteral("没有这个人"));
    w.showWindow();
    typeText(w.textView(), QStringLiteral("你好"));
    w.sendMessage();
    w.sendMessage();
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 1; }, 30000));
    ASSERT_EQ(alerts_.alerts().size(), 1u);
    EXPECT_TRUE(alerts_.alerts().front().messageText.startsWith(QStringLiteral("发送私信失败！ 错误代码: ")));
    EXPECT_EQ(w.editor()->plainString(), QStringLiteral("你好"));
    EXPECT_TRUE(w.isVisible());

    w.recipient()->setText(QStringLiteral("张三"));
    QTest::keyClick(w.textView(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return finished.count() >= 2; }, 30000));
    EXPECT_TRUE(finished.back().front().toBool());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(proxy_->count("/direct_messages/new"), 2);
}

TEST_F(ComposeE2E, CompletionAsksOncePerKeystrokeInsideAnAtName)
{
    HotkeyTextView view;
    view.show();
    const auto settle = [&] {
        platform::waitForGlobalQueue(10000);
        QCoreApplication::processEvents();
    };
    typeText(&view, QStringLiteral("@"));
    settle();
    EXPECT_EQ(proxy_->count("/search/suggestions/at_users"), 0);
    typeText(&view, QStringLiteral("刘"));
    settle();
    EXPECT_EQ(proxy_->count("/search/suggestions/at_users"), 1);
    typeText(&view, QStringLiteral("洋"));
    ASSERT_TRUE(waitUntil([&] { return view.appliedGeneration() == 2; }, 10000));
    EXPECT_EQ(proxy_->count("/search/suggestions/at_users"), 2);
    EXPECT_EQ(view.completionNames(), QStringList{QStringLiteral("刘洋_Liu")});
    EXPECT_TRUE(view.isCompletionVisible());

    view.clear();
    const std::size_t from = proxy_->size();
    typeText(&view, QStringLiteral("@刘 洋"));
    settle();
    EXPECT_EQ(proxy_->count("/search/suggestions/at_users", from), 1);

    // The service finds a name by Latin letters within it, whatever their case.
    view.clear();
    typeText(&view, QStringLiteral("@li"));
    ASSERT_TRUE(waitUntil([&] { return view.appliedGeneration() == view.suggestionGeneration(); }, 10000));
    EXPECT_TRUE(view.completionNames().contains(QStringLiteral("刘洋_Liu")));
}

TEST_F(ComposeE2E, DraftsAreKeptOnResetOfferedBackAndDroppedWhenPosted)
{
    auto w = makePostWindow();
    QSignalSpy finished(w.get(), &PostWindowController::postFinished);
    typeText(w->textView(), QStringLiteral("还没写完"));
    w->reset();
    EXPECT_TRUE(w->editor()->plainString().isEmpty());
    const QList<Draft> kept = w->drafts().store().drafts();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.front().text, QStringLiteral("还没写完"));
    const QFileInfo file(QDir(drafts_->path()).filePath(kept.front().id + QStringLiteral(".json")));
    EXPECT_EQ(file.permissions() & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser);

    w->rebuildDraftsMenu();
    ASSERT_FALSE(w->draftsMenu()->actions().isEmpty());
    w->draftsMenu()->actions().front()->trigger();
    EXPECT_EQ(w->editor()->plainString(), QStringLiteral("还没写完"));
    typeText(w->textView(), QStringLiteral("了"));
    w->postStatus();
    ASSERT_TRUE(waitForPost(*w, finished));
    EXPECT_TRUE(w->drafts().store().drafts().isEmpty());
}

// The child half of the kill -9 test: types, says so, and waits to be killed.
TEST(DraftChild, TypesAndWaits)
{
    const QString folder = qEnvironmentVariable("PLUMET_DRAFT_CHILD");
    if (folder.isEmpty())
        GTEST_SKIP() << "run by DraftSurvivesKill9";
    PostWindowController w(ComposeContext(), nullptr, folder);
    w.showWindow();
    typeText(w.textView(), QStringLiteral("断电也不丢"));
    std::printf("TYPED\n");
    std::fflush(stdout);
    waitUntil([] { return false; }, 60000);
}

TEST(DraftSurvivesKill9, TheTextTypedLastIsOfferedBack)
{
    QTemporaryDir folder;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PLUMET_DRAFT_CHILD"), folder.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=DraftChild.TypesAndWaits")});
    ASSERT_TRUE(waitUntil([&] { return child.readAllStandardOutput().contains("TYPED") || child.state() == QProcess::NotRunning; }, 30000));
    ASSERT_EQ(child.state(), QProcess::Running);
    DraftStore store(QStringLiteral("status"), folder.path());
    // No reset, no close, no quit: only the write that follows typing can have kept it.
    ASSERT_TRUE(waitUntil([&] { return !store.drafts().isEmpty(); }, 5000));
    child.kill();
    child.waitForFinished(10000);
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    PostWindowController w(ComposeContext(), nullptr, folder.path());
    w.rebuildDraftsMenu();
    ASSERT_FALSE(w.draftsMenu()->actions().isEmpty());
    w.draftsMenu()->actions().front()->trigger();
    EXPECT_EQ(w.editor()->plainString(), QStringLiteral("断电也不丢"));
}

} // namespace
