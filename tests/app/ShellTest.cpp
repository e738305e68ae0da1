// The shell's windows offscreen, with no service behind them: the PIN field, the menu, reopening, the
// preferences and the font change.
#include "AppTestSupport.h"
#include "WindowParts.h"

#include "app/AuthWindowController.h"
#include "app/CommandLine.h"
#include "app/InstanceChannel.h"
#include "app/PrefsWindowController.h"
#include "app/omnikAppDelegate.h"
#include "cells/Appearance.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/MyWindowController.h"
#include "widgets/TabView.h"
#include "platform/Browser.h"
#include "ScriptedAlertResponder.h"
#include "platform/URLCache.h"
#include "platform/UnreadBadge.h"
#include "service/WeiboAPI.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QFontDatabase>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <string>
#include <QTest>
#include <QThread>
#include <QElapsedTimer>
#include <QSettings>

#include <atomic>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Nothing listens there: anything that reaches for the service fails at once.
const QString kDeadService = QStringLiteral("http://127.0.0.1:1");

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsFile_ = useFreshSettings();
        auto& defaults = platform::UserDefaults::standard();
        for (const char* key : {"WeiboHost", "WebHost", "StaticImageHost"})
            defaults.setObject(kDeadService, QString::fromLatin1(key));
        defaults.setObject(kDeadService + QStringLiteral("/2"), QStringLiteral("Weibo2Host"));
    }
    // A stored account, so start-up goes straight to the main window.
    static void storeAccount()
    {
        QVariantMap store;
        store.insert(QStringLiteral("42"), QVariantMap{{QStringLiteral("TokenKey"), QStringLiteral("k")},
                                                        {QStringLiteral("SecretKey"), QStringLiteral("s")}});
        platform::UserDefaults::standard().setObject(store, QStringLiteral("OAuthTokens"));
    }
    QString settingsFile_;
};

TEST(PinField, KeepsOnlyAPositiveNumberWithoutLeadingZeros)
{
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("0123")), QStringLiteral("123"));
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("abc")), QString());
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("0")), QString());
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("000")), QString());
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("12ab34")), QStringLiteral("12"));
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral(" 654321")), QStringLiteral("654321"));
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("-5")), QString());
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("٣٤")), QString()); // digits of another script
    // A number past the int range keeps the digits that fit instead of turning into another number.
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("2147483647")), QStringLiteral("2147483647"));
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("21474836489")), QStringLiteral("214748364"));
    EXPECT_EQ(AuthWindowController::filteredPin(QStringLiteral("99999999999")), QStringLiteral("999999999"));

    boost::shared_ptr<weibo::SinaWeibo> none;
    AuthWindowController auth(QStringLiteral("AuthWindow"), &none);
    auth.show();
    auth.pinTextField()->setFocus();
    QTest::keyClicks(auth.pinTextField(), QStringLiteral("x"));
    EXPECT_EQ(auth.pinTextField()->text(), QString());
    QTest::keyClicks(auth.pinTextField(), QStringLiteral("0123"));
    EXPECT_EQ(auth.pinTextField()->text(), QStringLiteral("123"));
    QTest::keyClicks(auth.pinTextField(), QStringLiteral("4a"));
    EXPECT_EQ(auth.pinTextField()->text(), QStringLiteral("1234"));
}

TEST_F(ShellTest, AwakeFromNibSetsUpDefaultsCacheNamesAndAppearance)
{
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    auto& defaults = platform::UserDefaults::standard();
    // Registered from the resource, not stored.
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("NewStatus")));
    EXPECT_FALSE(defaults.hasStoredValue(QStringLiteral("NewStatus")));
    EXPECT_FALSE(defaults.stringForKey(QStringLiteral("FeedbackURL")).isEmpty());
    EXPECT_EQ(platform::URLCache::shared().memoryCapacity(), 2000000);
    EXPECT_TRUE(delegate.totalNames().isEmpty());

    const CharacterSet& invalid = delegate.invalidNameCharset();
    for (char32_t c : {U'a', U'Z', U'9', U'_', U'-', U'中', U'é', U'\u0301', U'٣', U'\U00020000'})
        EXPECT_FALSE(invalid.characterIsMember(c)) << unsigned(c);
    for (char32_t c : {U' ', U'@', U':', U'，', U'。', U'#', U'.', U'/', U'\n'})
        EXPECT_TRUE(invalid.characterIsMember(c)) << unsigned(c);
    EXPECT_EQ(invalid.indexOfFirstMember(QStringLiteral("张三_x-1 说")), 6);
    EXPECT_EQ(invalid.indexOfFirstMember(QStringLiteral("\U00020000\U00020001!")), 4);
    EXPECT_EQ(invalid.indexOfFirstMember(QStringLiteral("name")), -1);

    ASSERT_NE(delegate.appearance(), nullptr);
    EXPECT_EQ(delegate.appearance()->bodyFont().pointSizeF(), 12.0);
    EXPECT_EQ(delegate.appearance()->headerFont().pointSizeF(), 12.0);
    EXPECT_EQ(delegate.appearance()->footerFont().pointSizeF(), 11.0);
    EXPECT_EQ(delegate.appearance()->dateFont().pointSizeF(), 10.0);
}

TEST_F(ShellTest, FontChangeReachesTheMainWindowOnceWithTheNewSizes)
{
    storeAccount();
    platform::ScriptedAlertResponder responder;
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    ASSERT_NE(delegate.myWindowController(), nullptr);
    // The main window draws with the application's appearance, so the rebuilt fonts reach its lists.
    EXPECT_EQ(&delegate.myWindowController()->cellContext().appearance(), delegate.appearance());
    QSignalSpy changes(&delegate, &omnikAppDelegate::fontSettingDidChange);
    delegate.openPreferences();
    PrefsWindowController* prefs = delegate.prefsWindowController();
    ASSERT_NE(prefs, nullptr);

    // Cancelling the font dialog changes nothing.
    responder.queueFontAnswer(std::nullopt);
    prefs->fontButton()->click();
    ASSERT_EQ(responder.fontPanels().size(), 1u);
    EXPECT_EQ(responder.fontPanels().back().initialFont.pointSizeF(), 12.0);
    EXPECT_EQ(responder.fontPanels().back().parent, prefs);
    QTest::qWait(50);
    EXPECT_EQ(changes.count(), 0);

    const QStringList families = QFontDatabase::families();
    ASSERT_FALSE(families.isEmpty());
    QFont chosen(families.first());
    chosen.setPointSizeF(16);
    responder.queueFontAnswer(chosen);
    prefs->fontButton()->click();
    // The rebuild waits for the dialog's answer to return.
    EXPECT_EQ(changes.count(), 0);
    ASSERT_TRUE(waitUntil([&] { return changes.count() >= 1; }));
    QTest::qWait(50);
    EXPECT_EQ(changes.count(), 1);

    auto& defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("FontName")), chosen.family());
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("FontSize")), 16.0);
    const Appearance* appearance = delegate.appearance();
    EXPECT_EQ(appearance->bodyFont().pointSizeF(), 16.0);
    EXPECT_EQ(appearance->headerFont().pointSizeF(), 16.0);
    EXPECT_TRUE(appearance->headerFont().bold());
    EXPECT_EQ(appearance->footerFont().pointSizeF(), 15.0);
    EXPECT_EQ(appearance->dateFont().pointSizeF(), 14.0);
    EXPECT_EQ(appearance->dateDic().font.pointSizeF(), 14.0);
    EXPECT_TRUE(prefs->fontLabel()->text().contains(QStringLiteral("16")));

    // The next font dialog starts from the new font.
    responder.queueFontAnswer(std::nullopt);
    prefs->fontButton()->click();
    EXPECT_EQ(responder.fontPanels().back().initialFont.pointSizeF(), 16.0);
}

TEST_F(ShellTest, MenuItemsAndReopenKeepOneMainWindow)
{
    storeAccount();
    auto& defaults = platform::UserDefaults::standard();
    defaults.setObject(QStringLiteral("http://127.0.0.1:1/feedback"), QStringLiteral("FeedbackURL"));
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    MyWindowController* main = delegate.myWindowController();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Plumet"));

    EXPECT_EQ(delegate.preferencesAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(delegate.newDocumentAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(delegate.quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(main->menuBar()->actions().contains(delegate.applicationMenu()->menuAction()));
    EXPECT_EQ(delegate.applicationMenu()->title(), QStringLiteral("Plumet"));

    // "New window" is off while the main window is the active one.
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    EXPECT_FALSE(delegate.validateMenuItem(delegate.newDocumentAction()));
    EXPECT_FALSE(delegate.newDocumentAction()->isEnabled());
    EXPECT_TRUE(delegate.validateMenuItem(delegate.preferencesAction()));
    EXPECT_TRUE(delegate.validateMenuItem(delegate.feedbackAction()));
    EXPECT_TRUE(delegate.validateMenuItem(delegate.quitAction()));

    // Ctrl+, opens the preferences from the main window.
    QTest::keyClick(main, Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_NE(delegate.prefsWindowController(), nullptr);
    EXPECT_TRUE(delegate.prefsWindowController()->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(delegate.prefsWindowController()));
    EXPECT_TRUE(waitUntil([&] { return delegate.newDocumentAction()->isEnabled(); }));
    QTest::keyClick(delegate.prefsWindowController(), Qt::Key_Escape);
    EXPECT_FALSE(delegate.prefsWindowController()->isVisible());

    // Reopen with every window closed shows the same main window again; with a visible window it does nothing.
    main->close();
    EXPECT_FALSE(delegate.hasVisibleWindows());
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(delegate.hasVisibleWindows()));
    EXPECT_EQ(delegate.myWindowController(), main);
    EXPECT_TRUE(main->isVisible());
    delegate.newDocument();
    EXPECT_EQ(delegate.myWindowController(), main);
    int mainWindows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        mainWindows += qobject_cast<MyWindowController*>(w) != nullptr;
    EXPECT_EQ(mainWindows, 1);

    // Feedback opens the configured page.
    QUrl opened;
    platform::Browser::setOpener([&opened](const QUrl& url) {
        opened = url;
        return true;
    });
    delegate.feedbackAction()->trigger();
    testsupport::refuseBrowser();
    EXPECT_EQ(opened, QUrl(QStringLiteral("http://127.0.0.1:1/feedback")));

    // Without a tray icon to come back through, closing the last window ends the program.
    ASSERT_FALSE(platform::UnreadBadge::shared().hasTrayIcon());
    main->close();
    emit qApp->lastWindowClosed();
    EXPECT_TRUE(delegate.isTerminating());

    omnikAppDelegate other;
    other.quitAction()->trigger();
    EXPECT_TRUE(other.isTerminating());
}

TEST_F(ShellTest, PreferencesSwitchesAndAddressesAreBoundToTheSettings)
{
    storeAccount();
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(false, QStringLiteral("NewAtme"));
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    delegate.openPreferences();
    PrefsWindowController* prefs = delegate.prefsWindowController();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(prefs->windowTitle(), QStringLiteral("偏好设置"));

    for (const char* key : {"UseGrowl", "NewStatus", "NewComment", "NewAtme", "NewMessage"}) {
        QCheckBox* box = prefs->checkBoxForKey(QString::fromLatin1(key));
        ASSERT_NE(box, nullptr) << key;
        EXPECT_EQ(box->isChecked(), std::string(key) != "NewAtme") << key;
    }
    prefs->checkBoxForKey(QStringLiteral("NewStatus"))->click();
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("NewStatus")));
    prefs->checkBoxForKey(QStringLiteral("NewAtme"))->click();
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("NewAtme")));

    // A usable address is stored and reaches the running client.
    QLineEdit* host = prefs->addressFieldForKey(QStringLiteral("WeiboHost"));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->text(), kDeadService);
    host->setText(QStringLiteral("http://127.0.0.1:2"));
    emit host->editingFinished();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("WeiboHost")), QStringLiteral("http://127.0.0.1:2"));
    EXPECT_EQ((*delegate.sharedWeiboInstance())->baseUrl(), "http://127.0.0.1:2");

    // Something that is no address stays in the field to be corrected and is not stored.
    host->setText(QStringLiteral("127.0.0.1 port 3"));
    emit host->editingFinished();
    EXPECT_EQ(host->text(), QStringLiteral("127.0.0.1 port 3"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("WeiboHost")), QStringLiteral("http://127.0.0.1:2"));
    EXPECT_EQ((*delegate.sharedWeiboInstance())->baseUrl(), "http://127.0.0.1:2");

    // An emptied field goes back to the default address.
    host->clear();
    emit host->editingFinished();
    EXPECT_FALSE(defaults.hasStoredValue(QStringLiteral("WeiboHost")));
    EXPECT_EQ(host->text(), defaults.registeredDefaults().value(QStringLiteral("WeiboHost")).toString());
    EXPECT_EQ(QString::fromStdString((*delegate.sharedWeiboInstance())->baseUrl()), host->text());

    // Plumet's own proxy reaches the client and the preferences say which proxy is in use.
    EXPECT_EQ(prefs->proxyStatusLabel()->text(), QStringLiteral("不使用代理，直接连接服务"));
    prefs->proxyHostField()->setText(QStringLiteral("10.9.9.9"));
    emit prefs->proxyHostField()->editingFinished();
    prefs->proxyPortField()->setText(QStringLiteral("3128"));
    emit prefs->proxyPortField()->editingFinished();
    EXPECT_EQ(prefs->proxyStatusLabel()->text(), QStringLiteral("正在使用设置中的代理 10.9.9.9:3128"));
    const auto client = *delegate.sharedWeiboInstance();
    // Applied in the background, under the transfer lock: read under it too.
    const auto proxyOfClient = [&client] {
        std::lock_guard<weibo::TransferLock> lock(weibo::curl_lock);
        return client->getProxyServerIp() + ":" + client->getProxyServerPort();
    };
    EXPECT_TRUE(waitUntil([&] { return proxyOfClient() == "10.9.9.9:3128"; }));
    prefs->proxyHostField()->clear();
    emit prefs->proxyHostField()->editingFinished();
    EXPECT_FALSE(defaults.hasStoredValue(QStringLiteral("ProxyHost")));
    EXPECT_TRUE(waitUntil([&] { return proxyOfClient().front() == ':'; })); // no proxy host: no proxy
    EXPECT_EQ(prefs->proxyStatusLabel()->text(), QStringLiteral("不使用代理，直接连接服务"));
}

TEST_F(ShellTest, TheProgramRunsOnceAndASecondStartEndsAtOnce)
{
    const QString config = QDir(AppTestEnvironment::root()).filePath(QStringLiteral("process-config"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(PLUMET_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // With an empty store it waits in the authorisation window; its channel is named after its settings file.
    const QString channel = InstanceChannel(config + QStringLiteral("/Plumet/Plumet.conf")).serverName();
    ASSERT_TRUE(waitUntil([&] {
        QLocalSocket probe;
        probe.connectToServer(channel);
        return probe.waitForConnected(100);
    }));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(PLUMET_BINARY), {});
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished(5000);
    }
}

TEST(CommandLineOptions, SetTakesOnlyServiceAddressesAndTheToolkitsOptionsPassThrough)
{
    const CommandLine ok = CommandLine::parse(
        {QStringLiteral("plumet"), QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--set"),
         QStringLiteral("WeiboHost= http://127.0.0.1:9 "), QStringLiteral("--style=Fusion"),
         QStringLiteral("--set=FeedbackURL=http://127.0.0.1:9/feedback"), QStringLiteral("-reverse")});
    ASSERT_EQ(ok.action(), CommandLine::Action::Run) << ok.text().toStdString();
    ASSERT_EQ(ok.settings().size(), 2);
    EXPECT_EQ(ok.settings().at(0), qMakePair(QStringLiteral("WeiboHost"), QStringLiteral("http://127.0.0.1:9")));
    EXPECT_EQ(ok.settings().at(1),
              qMakePair(QStringLiteral("FeedbackURL"), QStringLiteral("http://127.0.0.1:9/feedback")));
    const QString file = useFreshSettings();
    ok.storeSettings(platform::UserDefaults::standard());
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value(QStringLiteral("WeiboHost")).toString(),
              QStringLiteral("http://127.0.0.1:9"));

    // Each of these is refused as a whole: nothing of the line is stored.
    const QList<QStringList> bad = {
        {QStringLiteral("--set"), QStringLiteral("WeiboHost")},
        {QStringLiteral("--set"), QStringLiteral("=http://127.0.0.1:9")},
        {QStringLiteral("--set"), QStringLiteral("OAuthTokens=http://127.0.0.1:9")},
        {QStringLiteral("--set"), QStringLiteral("WeiboHost=")},
        {QStringLiteral("--set"), QStringLiteral("WeiboHost=127.0.0.1:9")},
        {QStringLiteral("--set"), QStringLiteral("WebHost=http://127.0.0.1:9/?a=b")},
        {QStringLiteral("--set"), QStringLiteral("WeiboHost=http://127.0.0.1:9"), QStringLiteral("--set")},
        {QStringLiteral("--bogus")},
        {QStringLiteral("-x")},
        {QStringLiteral("stray")},
    };
    for (const QStringList& args : bad) {
        const CommandLine line = CommandLine::parse(QStringList{QStringLiteral("plumet")} + args);
        EXPECT_EQ(line.action(), CommandLine::Action::Fail) << args.join(u' ').toStdString();
        EXPECT_TRUE(line.settings().isEmpty()) << args.join(u' ').toStdString();
        EXPECT_TRUE(line.text().startsWith(QStringLiteral("plumet: "))) << line.text().toStdString();
    }
}

TEST_F(ShellTest, HelpVersionAndMistakesAnswerWithoutADisplayOrAWindow)
{
    const QString config = QDir(AppTestEnvironment::root()).filePath(QStringLiteral("command-line-config"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    // Should the program start the toolkit, it would die here for want of a display.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    const auto run = [&env](const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PLUMET_BINARY), args);
        Run result;
        if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit)
            result.exitCode = process.exitCode();
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    };

    const Run help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    for (const char* text : {"--help", "--version", "--set <KEY=VALUE>", "WeiboHost", "FeedbackURL"})
        EXPECT_TRUE(help.out.contains(QLatin1String(text))) << text << " not in " << help.out.toStdString();
    EXPECT_FALSE(help.out.contains(QStringLiteral("platformpluginpath")));

    const Run version = run({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Plumet \\d+\\.\\d+\\n$")).match(version.out).hasMatch())
        << version.out.toStdString();

    const Run unknown = run({QStringLiteral("--bogus")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("bogus"))) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.out.isEmpty());

    const Run malformed = run({QStringLiteral("--set"), QStringLiteral("WeiboHost")});
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_TRUE(malformed.err.contains(QStringLiteral("KEY=VALUE"))) << malformed.err.toStdString();
    // Nothing was stored: the program never got as far as its settings.
    EXPECT_FALSE(QFileInfo::exists(config + QStringLiteral("/Plumet/Plumet.conf")));
}

// Accepts connections (the kernel completes them) and never answers: a service that hangs.
class SilentService {
public:
    SilentService()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 64);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        base_ = QStringLiteral("http://127.0.0.1:%1").arg(ntohs(addr.sin_port));
    }
    ~SilentService() { ::close(fd_); }
    QString base() const { return base_; }

private:
    int fd_ = -1;
    QString base_;
};

TEST_F(ShellTest, QuitWhileTheServiceHangsEndsWithinASecondAndKeepsThePosition)
{
    SilentService silent;
    const QString config = QDir(AppTestEnvironment::root()).filePath(QStringLiteral("hung-config"));
    {
        QSettings settings(config + QStringLiteral("/Plumet/Plumet.conf"), QSettings::IniFormat);
        QVariantMap store;
        store.insert(QStringLiteral("42"), QVariantMap{{QStringLiteral("TokenKey"), QStringLiteral("k")},
                                                        {QStringLiteral("SecretKey"), QStringLiteral("s")}});
        settings.setValue(QStringLiteral("OAuthTokens"), store);
        for (const char* key : {"WeiboHost", "WebHost", "StaticImageHost"})
            settings.setValue(QString::fromLatin1(key), silent.base());
        settings.setValue(QStringLiteral("Weibo2Host"), silent.base() + QStringLiteral("/2"));
        settings.setValue(QStringLiteral("LatestStatusId"), QStringLiteral("777"));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_DATA_HOME"), config + QStringLiteral("/data"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString channel = InstanceChannel(config + QStringLiteral("/Plumet/Plumet.conf")).serverName();
    auto start = [&](QProcess& p) {
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(PLUMET_BINARY), {});
        return p.waitForStarted(10000);
    };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int exitBoundMs = 5000; // the sanitizers' own work at exit
#else
    const int exitBoundMs = 1000;
#endif

    QProcess first;
    ASSERT_TRUE(start(first));
    ASSERT_TRUE(waitUntil([&] {
        QLocalSocket probe;
        probe.connectToServer(channel);
        return probe.waitForConnected(100);
    }));
    // The start-up's first request is now waiting on the silent service.
    QTest::qWait(500);

    QElapsedTimer quitting;
    quitting.start();
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_LT(quitting.elapsed(), exitBoundMs);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    {
        // Nothing came, so the position of the run before is kept.
        QSettings settings(config + QStringLiteral("/Plumet/Plumet.conf"), QSettings::IniFormat);
        EXPECT_EQ(settings.value(QStringLiteral("LatestStatusId")).toULongLong(), 777u);
    }

    // The next launch starts cleanly on its own, and quits as fast.
    QProcess second;
    ASSERT_TRUE(start(second));
    EXPECT_FALSE(second.waitForFinished(1500));
    EXPECT_EQ(second.state(), QProcess::Running);
    quitting.restart();
    second.terminate();
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_LT(quitting.elapsed(), exitBoundMs);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
}

// Once quitting began, a later launch neither revives this program nor hands it anything: it waits until this one
// is gone and then runs on its own.
TEST_F(ShellTest, ASecondLaunchDuringAShutdownWaitsAndThenStartsOnItsOwn)
{
    auto first = std::make_unique<InstanceChannel>(settingsFile_);
    ASSERT_EQ(first->claim(), InstanceChannel::Claim::Running);
    QSignalSpy reopened(first.get(), &InstanceChannel::reopenRequested);
    QSignalSpy turnedAway(first.get(), &InstanceChannel::laterLaunchTurnedAway);
    first->setQuitting();

    std::atomic<int> claimed{-1};
    std::unique_ptr<QThread> second(QThread::create([&] {
        InstanceChannel channel(settingsFile_);
        claimed = int(channel.claim(2000, 60000));
    }));
    second->start();
    // The first one answers "quitting" for as long as it lives, and the launch keeps asking.
    ASSERT_TRUE(waitUntil([&] { return turnedAway.count() >= 2; }));
    EXPECT_EQ(claimed.load(), -1);
    // Gone at any point of the launch's asking, even with the launch's question unanswered.
    first.reset();
    EXPECT_TRUE(waitUntil([&] { return claimed.load() != -1; }));
    second->wait();
    EXPECT_EQ(claimed.load(), int(InstanceChannel::Claim::Running));
    EXPECT_EQ(reopened.count(), 0);
}

// An instance dying as the launch asks closes the connection without a word, or takes it and never answers: the
// launch neither ends silently nor revives it. It starts once the name is free, and says so when it never is.
TEST_F(ShellTest, ALaunchMeetingAnInstanceThatClosesOrNeverAnswersIsNeverLost)
{
    const QString name = InstanceChannel(settingsFile_).serverName();
    QLocalServer::removeServer(name);
    auto closing = std::make_unique<QLocalServer>();
    ASSERT_TRUE(closing->listen(name));
    int closed = 0;
    QObject::connect(closing.get(), &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = closing->nextPendingConnection()) {
            socket->abort();
            socket->deleteLater();
            ++closed;
        }
    });

    std::atomic<int> claimed{-1};
    std::unique_ptr<QThread> launch(QThread::create([&] {
        InstanceChannel channel(settingsFile_);
        claimed = int(channel.claim(2000, 60000));
    }));
    launch->start();
    ASSERT_TRUE(waitUntil([&] { return closed >= 2; }));
    EXPECT_EQ(claimed.load(), -1);
    closing.reset();
    EXPECT_TRUE(waitUntil([&] { return claimed.load() != -1; }));
    launch->wait();
    EXPECT_EQ(claimed.load(), int(InstanceChannel::Claim::Running));

    // One that takes the connection and never answers, and never goes away.
    QLocalServer::removeServer(name);
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(name));
    std::vector<QLocalSocket*> held;
    QObject::connect(&silent, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = silent.nextPendingConnection())
            held.push_back(socket);
    });
    claimed = -1;
    launch.reset(QThread::create([&] {
        InstanceChannel channel(settingsFile_);
        claimed = int(channel.claim(100, 300));
    }));
    launch->start();
    EXPECT_TRUE(waitUntil([&] { return claimed.load() != -1; }));
    launch->wait();
    EXPECT_EQ(claimed.load(), int(InstanceChannel::Claim::Unanswered));
    EXPECT_FALSE(held.empty());
}

// The window's own teardown waits for a block whose answer never comes. Meanwhile the user starts Plumet again
// (the reopen reaches this program) and clicks a left tab: the window stays hidden, the click does nothing, and
// nothing of the window is used after it is freed (AddressSanitizer watches this one).
TEST_F(ShellTest, AWindowBeingTornDownStaysHiddenThroughAReopenAndAClick)
{
    SilentService silent;
    auto& defaults = platform::UserDefaults::standard();
    for (const char* key : {"WeiboHost", "WebHost", "StaticImageHost"})
        defaults.setObject(silent.base(), QString::fromLatin1(key));
    defaults.setObject(silent.base() + QStringLiteral("/2"), QStringLiteral("Weibo2Host"));
    storeAccount();
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    MyWindowController* main = delegate.myWindowController();
    ASSERT_NE(main, nullptr);
    // The start-up's first request is on its way to the silent service.
    QTest::qWait(300);
    ASSERT_FALSE(main->backgroundIdle());
    const int selected = testsupport::part<TabView>(main, "tabView")->indexOfSelectedTabViewItem();

    bool during = false, visible = true, moved = true;
    QTimer::singleShot(200, &delegate, [&] {
        during = true;
        delegate.reopenFromAnotherLaunch();
        QTest::mouseClick(testsupport::part<LeftTab>(main, "timelineComment"), Qt::LeftButton);
        main->leftTabClicked(testsupport::part<LeftTab>(main, "timelineMention"));
        visible = main->isVisible();
        moved = testsupport::part<TabView>(main, "tabView")->indexOfSelectedTabViewItem() != selected;
        // Let the waiting request go, so that the teardown ends.
        weibo::cancelAllTransfers();
    });
    delete main;
    weibo::allowTransfers();
    EXPECT_TRUE(during) << "the teardown did not wait for the request";
    EXPECT_FALSE(visible);
    EXPECT_FALSE(moved);
    EXPECT_EQ(delegate.myWindowController(), nullptr);
}

} // namespace
