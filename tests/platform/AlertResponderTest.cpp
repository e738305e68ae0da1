#include "PlatformTestApp.h"

#include "platform/AlertResponder.h"
#include "platform/Dispatch.h"
#include "ScriptedAlertResponder.h"

#include <atomic>

using namespace platform;

TEST(AlertResponder, TheTwoAlertFormsReachTheInstalledResponder)
{
    AlertResponder* before = AlertResponder::current();
    {
        ScriptedAlertResponder responder;
        EXPECT_EQ(AlertResponder::current(), &responder);

        AlertResponder::alertWarning(QStringLiteral("发布新微博失败！"), QStringLiteral("repeated content"),
                                     QStringLiteral("20019"));
        AlertResponder::alertWarning(QStringLiteral("删除失败！"), QStringLiteral("no such status"), QString());
        responder.queueAlertAnswer(AlertResponder::kFirstButton);
        EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("确定删除吗？"), QStringLiteral("不可恢复")), 1000);
        // Unscripted, the confirmation is answered with "确定".
        EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("确定删除吗？"), QString()), 1001);

        const auto alerts = responder.alerts();
        ASSERT_EQ(alerts.size(), 4u);
        EXPECT_EQ(alerts[0].style, AlertRequest::Style::Warning);
        EXPECT_EQ(alerts[0].messageText, QStringLiteral("发布新微博失败！ 错误代码: 20019"));
        EXPECT_EQ(alerts[0].informativeText, QStringLiteral("repeated content"));
        EXPECT_EQ(alerts[0].buttons, QStringList{QStringLiteral("确定")});
        EXPECT_EQ(alerts[1].messageText, QStringLiteral("删除失败！")); // no code: the headline alone
        EXPECT_EQ(alerts[2].style, AlertRequest::Style::Warning);
        EXPECT_EQ(alerts[2].messageText, QStringLiteral("确定删除吗？"));
        EXPECT_EQ(alerts[2].informativeText, QStringLiteral("不可恢复"));
        EXPECT_EQ(alerts[2].buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));

        // A background block asks; the answer comes from the main thread.
        responder.queueAlertAnswer(AlertResponder::kSecondButton);
        std::atomic<int> answer{0};
        dispatchGlobal([&] { answer = AlertResponder::alertMessage(QStringLiteral("a"), QStringLiteral("b")); });
        ASSERT_TRUE(waitUntil([&] { return answer.load() != 0; }));
        EXPECT_EQ(answer.load(), 1001);

        // Panels: prepared answers, then cancel.
        responder.queueOpenAnswer({QStringLiteral("/tmp/a.png")});
        responder.queueSaveAnswer(QStringLiteral("/tmp/b.png"));
        responder.queueFontAnswer(QFont(QStringLiteral("Serif"), 15));
        OpenPanelRequest open;
        open.nameFilters = {QStringLiteral("图片 (*.png *.jpg)")};
        EXPECT_EQ(AlertResponder::openPanel(open), QStringList{QStringLiteral("/tmp/a.png")});
        EXPECT_TRUE(AlertResponder::openPanel(open).isEmpty());
        SavePanelRequest save;
        save.suggestedName = QStringLiteral("b.png");
        EXPECT_EQ(AlertResponder::savePanel(save), QStringLiteral("/tmp/b.png"));
        EXPECT_TRUE(AlertResponder::savePanel(save).isEmpty());
        FontPanelRequest font;
        const std::optional<QFont> chosen = AlertResponder::fontPanel(font);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->pointSize(), 15);
        EXPECT_FALSE(AlertResponder::fontPanel(font).has_value());
        EXPECT_EQ(responder.openPanels().size(), 2u);
        EXPECT_EQ(responder.openPanels()[0].nameFilters, open.nameFilters);
        EXPECT_EQ(responder.savePanels()[0].suggestedName, QStringLiteral("b.png"));
        EXPECT_EQ(responder.fontPanels().size(), 2u);
    }
    // Gone with its owner: the previous responder answers again.
    EXPECT_EQ(AlertResponder::current(), before);
}
