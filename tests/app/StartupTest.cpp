// Start-up against the development service: the account store, the authorisation window's two flows, and the
// start with a stored account.
#include "AppTestSupport.h"

#include "app/AuthWindowController.h"
#include "app/PrefsWindowController.h"
#include "app/omnikAppDelegate.h"
#include "mainwindow/MyWindowController.h"
#include "platform/Browser.h"
#include "ScriptedAlertResponder.h"
#include "store/TimelineStore.h"
#include "timeline/KeptLists.h"
#include "timeline/PXListViewController.h"

#include <QFile>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class StartupTest : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        settingsFile_ = useFreshSettings();
        service_->configureSettings();
    }

    QString settingsFile_;
};

// Typing into a field the way a person does, so the field's edit signals run.
void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    QTest::keyClicks(field, text);
}

TEST_F(StartupTest, FirstStartWithEmptyStoreOpensAuthorisationAndCancelQuits)
{
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    bool sawWindow = false;
    whenAuthWindowShows([&](AuthWindowController* auth) {
        ASSERT_NE(auth, nullptr);
        sawWindow = true;
        EXPECT_FALSE(auth->windowTitle().isEmpty());
        EXPECT_EQ(auth->windowModality(), Qt::ApplicationModal);
        EXPECT_TRUE(waitUntil([&] { return auth->usernameTextField()->hasFocus(); }));
        QTest::keyClick(auth->usernameTextField(), Qt::Key_Escape);
    });
    EXPECT_FALSE(delegate.applicationDidFinishLaunching());
    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(delegate.isTerminating());
    EXPECT_EQ(delegate.myWindowController(), nullptr);
    EXPECT_TRUE(omnikAppDelegate::accountStore().isEmpty());

    // Outside the application's loop the quit it asked for has nothing to end.
    QCoreApplication::processEvents();

    // Inside the application's loop the cancelled start ends the loop: the program quits.
    omnikAppDelegate running;
    running.awakeFromNib();
    QTimer::singleShot(0, &running, [&running] { running.applicationDidFinishLaunching(); });
    whenAuthWindowShows([](AuthWindowController* auth) {
        ASSERT_NE(auth, nullptr);
        auth->cancelButton()->click();
    });
    bool loopEnded = false;
    QTimer::singleShot(20000, [&] {
        if (!loopEnded)
            QCoreApplication::exit(3);
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    loopEnded = true;
    EXPECT_EQ(running.myWindowController(), nullptr);
    platform::reopenMainQueue();
}

TEST_F(StartupTest, XAuthWithDemoAccountStoresOneEntryUnderTheUserId)
{
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    whenAuthWindowShows([](AuthWindowController* auth) {
        ASSERT_NE(auth, nullptr);
        typeInto(auth->usernameTextField(), service_->value(QStringLiteral("DemoLogin")));
        typeInto(auth->passwordTextField(), service_->value(QStringLiteral("DemoPassword")));
        QTest::keyClick(auth->passwordTextField(), Qt::Key_Return);
    });
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());

    const QVariantMap store = omnikAppDelegate::accountStore();
    ASSERT_EQ(store.size(), 1);
    const QString userId = service_->value(QStringLiteral("DemoUserId"));
    ASSERT_TRUE(store.contains(userId));
    const QVariantMap entry = store.value(userId).toMap();
    EXPECT_EQ(entry.keys(), (QStringList{QStringLiteral("SecretKey"), QStringLiteral("TokenKey")}));
    EXPECT_FALSE(entry.value(QStringLiteral("TokenKey")).toString().isEmpty());
    EXPECT_FALSE(entry.value(QStringLiteral("SecretKey")).toString().isEmpty());

    // The store holds access tokens: only its owner may read the file.
    platform::UserDefaults::standard().synchronize();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsFile_).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // The main window is up and shows the account's home timeline from the service.
    MyWindowController* main = delegate.myWindowController();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(waitUntil([main] { return !main->isStarting(); }, 60000));
    ASSERT_NE(main->weiboListViewController(), nullptr);
    EXPECT_TRUE(waitUntil([main] { return !main->weiboListViewController()->dataOfCells()->empty(); }, 30000));
    auto client = *delegate.sharedWeiboInstance();
    EXPECT_EQ(QString::fromStdString(client->oAuth().oAuthTokenKey()), entry.value(QStringLiteral("TokenKey")).toString());
    const std::string verified = client->accountVerify();
    EXPECT_NE(verified.find("\"id\":" + userId.toStdString()), std::string::npos) << verified;
}

TEST_F(StartupTest, FailedExchangesExplainThemselvesAndLetTheUserTryAgain)
{
    platform::ScriptedAlertResponder responder;
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    whenAuthWindowShows([&](AuthWindowController* auth) {
        ASSERT_NE(auth, nullptr);
        // Wrong password.
        typeInto(auth->usernameTextField(), service_->value(QStringLiteral("DemoLogin")));
        typeInto(auth->passwordTextField(), QStringLiteral("not-the-password"));
        auth->xauthButton()->click();
        ASSERT_EQ(responder.alerts().size(), 1u);
        platform::AlertRequest alert = responder.alerts().back();
        EXPECT_EQ(alert.style, platform::AlertRequest::Style::Warning);
        EXPECT_EQ(alert.messageText, QStringLiteral("授权失败"));
        // The reason (the service's own words for a wrong password), then what to do.
        EXPECT_TRUE(alert.informativeText.endsWith(QStringLiteral("\n请重新授权"))) << alert.informativeText.toStdString();
        EXPECT_EQ(alert.buttons, QStringList{QStringLiteral("OK")});
        EXPECT_TRUE(auth->usernameTextField()->text().isEmpty());
        EXPECT_TRUE(auth->passwordTextField()->text().isEmpty());
        EXPECT_TRUE(waitUntil([&] { return auth->usernameTextField()->hasFocus(); }));
        EXPECT_TRUE(auth->usernameTextField()->isEnabled());
        EXPECT_TRUE(auth->isVisible());

        // A PIN without having opened the page first.
        typeInto(auth->pinTextField(), QStringLiteral("123456"));
        QTest::keyClick(auth->pinTextField(), Qt::Key_Return);
        ASSERT_EQ(responder.alerts().size(), 2u);
        alert = responder.alerts().back();
        EXPECT_EQ(alert.messageText, QStringLiteral("授权失败"));
        EXPECT_TRUE(alert.informativeText.endsWith(QStringLiteral("\n请重新获取授权码")))
            << alert.informativeText.toStdString();
        EXPECT_EQ(alert.buttons, QStringList{QStringLiteral("OK")});
        EXPECT_EQ(auth->openAuthLink()->text(), QStringLiteral("重新获取授权码"));
        EXPECT_TRUE(auth->pinTextField()->text().isEmpty());
        EXPECT_TRUE(auth->isVisible());
        auth->cancelButton()->click();
    });
    EXPECT_FALSE(delegate.applicationDidFinishLaunching());
    EXPECT_TRUE(omnikAppDelegate::accountStore().isEmpty());
}

TEST_F(StartupTest, PinFlowThroughTheAuthorisationPage)
{
    QUrl opened;
    platform::Browser::setOpener([&opened](const QUrl& url) {
        opened = url;
        return true;
    });
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    whenAuthWindowShows([&](AuthWindowController* auth) {
        ASSERT_NE(auth, nullptr);
        auth->openAuthLink()->click();
        ASSERT_TRUE(opened.isValid());
        EXPECT_EQ(auth->url(), opened);
        EXPECT_EQ(opened.host(), QStringLiteral("127.0.0.1"));
        const QString token = QUrlQuery(opened).queryItemValue(QStringLiteral("oauth_token"));
        ASSERT_FALSE(token.isEmpty());

        // What the person does in the browser: signs in on the page and reads the PIN.
        QNetworkAccessManager network;
        QUrl authorize(opened);
        authorize.setQuery(QString());
        QNetworkRequest request(authorize);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("oauth_token"), token);
        form.addQueryItem(QStringLiteral("login"), service_->value(QStringLiteral("DemoLogin")));
        form.addQueryItem(QStringLiteral("password"), service_->value(QStringLiteral("DemoPassword")));
        QNetworkReply* reply = network.post(request, form.toString(QUrl::FullyEncoded).toUtf8());
        ASSERT_TRUE(waitUntil([reply] { return reply->isFinished(); }));
        const QString page = QString::fromUtf8(reply->readAll());
        reply->deleteLater();
        const QRegularExpressionMatch pin = QRegularExpression(QStringLiteral("id=\"pin\">(\\d+)<")).match(page);
        ASSERT_TRUE(pin.hasMatch()) << page.toStdString();

        typeInto(auth->pinTextField(), pin.captured(1));
        EXPECT_EQ(auth->pinTextField()->text(), pin.captured(1));
        auth->oauthButton()->click();
    });
    const bool started = delegate.applicationDidFinishLaunching();
    testsupport::refuseBrowser();
    ASSERT_TRUE(started);
    const QVariantMap store = omnikAppDelegate::accountStore();
    ASSERT_EQ(store.keys(), QStringList{service_->value(QStringLiteral("DemoUserId"))});
}

// A loopback listener that notes when each connection arrives, then hangs up, or, when told to, holds the
// connection open without ever answering (a server that hangs).
class ConnectionRecorder {
public:
    explicit ConnectionRecorder(bool hold = false)
        : hold_(hold)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd_, 16) != 0
            || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0 || stopping_)
                    break;
                std::lock_guard<std::mutex> lock(mutex_);
                times_.push_back(std::chrono::steady_clock::now());
                if (hold_)
                    held_.push_back(c);
                else
                    ::close(c);
            }
        });
    }
    ~ConnectionRecorder()
    {
        stopping_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable())
            thread_.join();
        for (int c : held_)
            ::close(c);
    }
    int port() const { return port_; }
    std::vector<std::chrono::steady_clock::time_point> times() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return times_;
    }

private:
    const bool hold_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_; // guards times_ and held_
    std::vector<std::chrono::steady_clock::time_point> times_;
    std::vector<int> held_;
};

// Notes when the main window is first shown.
class ShowWatcher : public QObject {
public:
    std::optional<std::chrono::steady_clock::time_point> shown;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !shown && qobject_cast<MyWindowController*>(watched))
            shown = std::chrono::steady_clock::now();
        return false;
    }
};

TEST_F(StartupTest, StoredAccountStartsWithoutAuthorisationOrAnyRequestBeforeTheMainWindow)
{
    ConnectionRecorder recorder;
    ASSERT_NE(recorder.port(), 0);
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(recorder.port());
    auto& defaults = platform::UserDefaults::standard();
    for (const char* key : {"WeiboHost", "WebHost", "StaticImageHost"})
        defaults.setObject(base, QString::fromLatin1(key));
    defaults.setObject(base + QStringLiteral("/2"), QStringLiteral("Weibo2Host"));
    QVariantMap store;
    store.insert(QStringLiteral("1001"), QVariantMap{{QStringLiteral("TokenKey"), QStringLiteral("token-1001")},
                                                      {QStringLiteral("SecretKey"), QStringLiteral("secret-1001")}});
    defaults.setObject(store, QStringLiteral("OAuthTokens"));

    ShowWatcher watcher;
    qApp->installEventFilter(&watcher);
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    bool sawAuthWindow = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { sawAuthWindow = sawAuthWindow || visibleAuthWindow(); });
    probe.start(1);
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    probe.stop();
    qApp->removeEventFilter(&watcher);

    EXPECT_FALSE(sawAuthWindow);
    ASSERT_TRUE(watcher.shown.has_value());
    for (const auto& t : recorder.times())
        EXPECT_GE(t, *watcher.shown) << "a request reached the service before the main window was shown";
    auto client = *delegate.sharedWeiboInstance();
    EXPECT_EQ(client->oAuth().oAuthTokenKey(), "token-1001");
    EXPECT_EQ(client->oAuth().oAuthTokenSecret(), "secret-1001");
    EXPECT_EQ(client->oAuth().consumerKey(), "5127730916");
    EXPECT_EQ(client->oAuth().consumerSecret(), "9f1c0a7e52d84b3690e1c7a4f2b85d03");
    EXPECT_EQ(QString::fromStdString(client->baseUrl()), base);
    EXPECT_EQ(QString::fromStdString(client->baseUrl2()), base + QStringLiteral("/2"));
}

TEST_F(StartupTest, AServerThatNeverAnswersLeavesTheWindowAliveAndCancelEndsAtOnce)
{
    ConnectionRecorder hung(true);
    ASSERT_NE(hung.port(), 0);
    platform::UserDefaults::standard().setObject(QStringLiteral("http://127.0.0.1:%1").arg(hung.port()),
                                                 QStringLiteral("WeiboHost"));
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    bool wasExchanging = false;
    bool inputsDisabled = false;
    bool cancelEnabled = false;
    whenAuthWindowShows([&](AuthWindowController* auth) {
        ASSERT_NE(auth, nullptr);
        typeInto(auth->usernameTextField(), QStringLiteral("someone"));
        typeInto(auth->passwordTextField(), QStringLiteral("secret"));
        QTimer::singleShot(0, auth, [&, auth] {
            // The window keeps running its events while the transfer waits.
            waitUntil([&] { return !hung.times().empty(); });
            wasExchanging = auth->isExchanging();
            inputsDisabled = !auth->usernameTextField()->isEnabled() && !auth->xauthButton()->isEnabled();
            cancelEnabled = auth->cancelButton()->isEnabled();
            QTest::keyClick(auth, Qt::Key_Escape);
        });
        auth->xauthButton()->click();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(delegate.applicationDidFinishLaunching());
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_TRUE(wasExchanging);
    EXPECT_TRUE(inputsDisabled);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_TRUE(omnikAppDelegate::accountStore().isEmpty());
}

TEST_F(StartupTest, AccountDeletionLeadsBackToAuthorisationOnTheNextStart)
{
    QVariantMap store;
    for (const char* id : {"1001", "1002"})
        store.insert(QString::fromLatin1(id), QVariantMap{{QStringLiteral("TokenKey"), QStringLiteral("t")},
                                                          {QStringLiteral("SecretKey"), QStringLiteral("s")}});
    platform::UserDefaults::standard().setObject(store, QStringLiteral("OAuthTokens"));

    // The other account's lists kept on disk; the running one's are opened by its window.
    const std::string kept = KeptLists::defaultFolder().toStdString();
    ASSERT_TRUE(store::TimelineStore::open(kept, "1002").store);

    platform::ScriptedAlertResponder responder;
    {
        omnikAppDelegate delegate;
        delegate.awakeFromNib();
        ASSERT_TRUE(delegate.applicationDidFinishLaunching());
        EXPECT_EQ((*delegate.sharedWeiboInstance())->oAuth().oAuthTokenKey(), "t");
        const std::string running = delegate.userId().toStdString();
        ASSERT_TRUE(QFile::exists(QString::fromStdString(store::TimelineStore::pathFor(kept, running))));
        delegate.openPreferences();
        PrefsWindowController* prefs = delegate.prefsWindowController();
        ASSERT_NE(prefs, nullptr);

        // "取消" keeps every account.
        responder.queueAlertAnswer(platform::AlertResponder::kFirstButton);
        prefs->deleteAccountButton()->click();
        ASSERT_EQ(responder.alerts().size(), 1u);
        const platform::AlertRequest alert = responder.alerts().back();
        EXPECT_EQ(alert.messageText, QStringLiteral("您确定要删除当前账号吗？"));
        EXPECT_EQ(alert.informativeText, QStringLiteral("删除账号后，下次打开Plumet应用时需要重新授权"));
        EXPECT_EQ(alert.buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
        EXPECT_EQ(alert.style, platform::AlertRequest::Style::Warning);
        EXPECT_EQ(alert.parent, prefs);
        EXPECT_EQ(omnikAppDelegate::accountStore().size(), 2);

        // "确定" removes the whole store; the running client keeps its token.
        responder.queueAlertAnswer(platform::AlertResponder::kSecondButton);
        prefs->deleteAccountButton()->click();
        EXPECT_FALSE(platform::UserDefaults::standard().hasStoredValue(QStringLiteral("OAuthTokens")));
        EXPECT_EQ((*delegate.sharedWeiboInstance())->oAuth().oAuthTokenKey(), "t");
        delegate.applicationWillTerminate();
        // Their kept lists went with them, and quitting wrote nothing back.
        for (const std::string& id : {running, std::string("1002")})
            EXPECT_FALSE(QFile::exists(QString::fromStdString(store::TimelineStore::pathFor(kept, id)))) << id;
    }

    // The next start asks for authorisation again.
    omnikAppDelegate next;
    next.awakeFromNib();
    bool sawWindow = false;
    whenAuthWindowShows([&](AuthWindowController* auth) {
        sawWindow = auth != nullptr;
        if (auth)
            auth->cancelButton()->click();
    });
    EXPECT_FALSE(next.applicationDidFinishLaunching());
    EXPECT_TRUE(sawWindow);
}

} // namespace
