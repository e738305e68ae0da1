// Access tokens and the desktop's keyring: a real Secret Service (gnome-keyring-daemon) on the run's private bus,
// and the same bus without one.
#include "AppTestSupport.h"

#include "../support/PrivateSessionBus.h"
#include "../support/SecretServiceDaemon.h"
#include "app/KeyringWaitLine.h"
#include "app/PrefsWindowController.h"
#include "app/TokenStore.h"
#include "app/omnikAppDelegate.h"
#include "mainwindow/MyWindowController.h"
#include "ScriptedAlertResponder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <vector>

namespace {

const QString kKeyringText = QStringLiteral("访问令牌保存在系统钥匙环中。");
const QString kFileText = QStringLiteral("未找到系统钥匙环，访问令牌保存在仅本人可读的设置文件中。");
const QString kDeclinedText = QStringLiteral("系统钥匙环没有应答，访问令牌保存在仅本人可读的设置文件中。");

// Everything the settings file holds, read afresh from the disk and written out as JSON text (the store is kept as
// a serialised map, so its strings do not appear as plain bytes in the file).
QByteArray fileBytes(const QString& path)
{
    platform::UserDefaults::standard().synchronize();
    QSettings file(path, QSettings::IniFormat);
    QVariantMap all;
    for (const QString& key : file.allKeys())
        all.insert(key, file.value(key));
    return QJsonDocument(QJsonObject::fromVariantMap(all)).toJson(QJsonDocument::Compact);
}

// Typing into a field the way a person does, so the field's edit signals run.
void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    QTest::keyClicks(field, text);
}

QVariantMap fileEntry(const QString& token, const QString& secret)
{
    return QVariantMap{{QStringLiteral("TokenKey"), token}, {QStringLiteral("SecretKey"), secret}};
}

class KeyringTest : public testsupport::DevServiceTest {
protected:
    static void SetUpTestSuite()
    {
        DevServiceTest::SetUpTestSuite();
        // QtKeychain picks its backend by desktop; anything but KDE's takes the Secret Service.
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        keyring_ = new SecretServiceDaemon(*testsupport::bus());
    }
    static void TearDownTestSuite()
    {
        delete keyring_;
        keyring_ = nullptr;
        DevServiceTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(keyring_->isRunning()) << keyring_->error().toStdString();
        settingsFile_ = useFreshSettings();
        service_->configureSettings();
    }
    static QString keyringItem(const QString& userId)
    {
        return keyring_->lookup({QStringLiteral("user"), userId, QStringLiteral("server"), QStringLiteral("Plumet")});
    }

    static inline SecretServiceDaemon* keyring_ = nullptr;
    QString settingsFile_;
};

TEST_F(KeyringTest, TokensLiveInTheKeyringAndTheFileKeepsOnlyTheIds)
{
    auto& defaults = platform::UserDefaults::standard();
    TokenStore store(defaults);
    const TokenStore::Tokens tokens{QStringLiteral("token-3101-a"), QStringLiteral("secret-3101-a")};
    EXPECT_EQ(store.storeTokens(QStringLiteral("3101"), tokens), TokenStore::Location::Keyring);

    const QByteArray bytes = fileBytes(settingsFile_);
    EXPECT_TRUE(bytes.contains("OAuthTokens"));
    EXPECT_FALSE(bytes.contains("token-3101-a")) << bytes.toStdString();
    EXPECT_FALSE(bytes.contains("secret-3101-a")) << bytes.toStdString();
    EXPECT_EQ(store.accounts().keys(), QStringList{QStringLiteral("3101")});
    EXPECT_EQ(store.location(QStringLiteral("3101")), TokenStore::Location::Keyring);

    // libsecret's own tool finds both secrets in one item.
    const QJsonObject item = QJsonDocument::fromJson(keyringItem(QStringLiteral("3101")).toUtf8()).object();
    EXPECT_EQ(item.value(QStringLiteral("TokenKey")).toString(), tokens.tokenKey);
    EXPECT_EQ(item.value(QStringLiteral("SecretKey")).toString(), tokens.secretKey);

    // Another run reads them back; a second authorisation of the account replaces them.
    {
        TokenStore next(defaults);
        EXPECT_EQ(next.tokensForUser(QStringLiteral("3101")), tokens);
        EXPECT_EQ(next.tokensForUser(QStringLiteral("9999")), std::nullopt);
        const TokenStore::Tokens renewed{QStringLiteral("token-3101-b"), QStringLiteral("secret-3101-b")};
        EXPECT_EQ(next.storeTokens(QStringLiteral("3101"), renewed), TokenStore::Location::Keyring);
        EXPECT_EQ(store.tokensForUser(QStringLiteral("3101")), renewed);
    }

    store.removeAllAccounts();
    EXPECT_FALSE(defaults.hasStoredValue(QStringLiteral("OAuthTokens")));
    EXPECT_TRUE(store.waitForPendingDeletions(10000));
    EXPECT_TRUE(keyringItem(QStringLiteral("3101")).isEmpty());
    EXPECT_EQ(store.tokensForUser(QStringLiteral("3101")), std::nullopt);
}

TEST_F(KeyringTest, SecretsOfAnEarlierVersionMoveToTheKeyringAndACrashMidwayLosesNothing)
{
    // What a crash between the two steps leaves: the keyring already holds 3201's item, the file still its
    // secrets. 3202's keyring item is older than the secrets in the file, which are the ones to keep.
    {
        platform::UserDefaults scratch(QDir(AppTestEnvironment::root()).filePath(QStringLiteral("scratch.conf")));
        TokenStore earlier(scratch);
        ASSERT_EQ(earlier.storeTokens(QStringLiteral("3201"), {QStringLiteral("t1"), QStringLiteral("s1")}),
                  TokenStore::Location::Keyring);
        ASSERT_EQ(earlier.storeTokens(QStringLiteral("3202"), {QStringLiteral("old-t2"), QStringLiteral("old-s2")}),
                  TokenStore::Location::Keyring);
    }
    auto& defaults = platform::UserDefaults::standard();
    defaults.setObject(QVariantMap{{QStringLiteral("3201"), fileEntry(QStringLiteral("t1"), QStringLiteral("s1"))},
                                   {QStringLiteral("3202"), fileEntry(QStringLiteral("t2"), QStringLiteral("s2"))},
                                   {QStringLiteral("3203"), fileEntry(QStringLiteral("t3"), QStringLiteral("s3"))}},
                       QStringLiteral("OAuthTokens"));

    TokenStore store(defaults);
    EXPECT_EQ(store.location(QStringLiteral("3203")), TokenStore::Location::SettingsFile);
    EXPECT_EQ(store.moveSecretsToKeyring(), 3);
    const QByteArray bytes = fileBytes(settingsFile_);
    for (const char* secret : {"t1", "s1", "t2", "s2", "t3", "s3"})
        EXPECT_FALSE(bytes.contains(QByteArray("\"") + secret + "\"")) << secret << " in " << bytes.toStdString();
    EXPECT_FALSE(bytes.contains("SecretKey")) << bytes.toStdString();
    EXPECT_EQ(store.accounts().keys(),
              (QStringList{QStringLiteral("3201"), QStringLiteral("3202"), QStringLiteral("3203")}));
    EXPECT_EQ(store.tokensForUser(QStringLiteral("3201")), (TokenStore::Tokens{QStringLiteral("t1"), QStringLiteral("s1")}));
    EXPECT_EQ(store.tokensForUser(QStringLiteral("3202")), (TokenStore::Tokens{QStringLiteral("t2"), QStringLiteral("s2")}));
    EXPECT_EQ(store.tokensForUser(QStringLiteral("3203")), (TokenStore::Tokens{QStringLiteral("t3"), QStringLiteral("s3")}));
    // Nothing is left to move the next time.
    EXPECT_EQ(store.moveSecretsToKeyring(), 0);

    store.removeAllAccounts();
    EXPECT_TRUE(store.waitForPendingDeletions(10000));
    for (const char* id : {"3201", "3202", "3203"})
        EXPECT_TRUE(keyringItem(QString::fromLatin1(id)).isEmpty()) << id;
}

TEST_F(KeyringTest, SignedInAccountRestartsFromTheKeyringAndDeletionEmptiesIt)
{
    const QString userId = service_->value(QStringLiteral("DemoUserId"));
    std::string token;
    std::string secret;
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
        token = (*delegate.sharedWeiboInstance())->oAuth().oAuthTokenKey();
        secret = (*delegate.sharedWeiboInstance())->oAuth().oAuthTokenSecret();
        ASSERT_FALSE(token.empty());
        ASSERT_FALSE(secret.empty());
        // The tokens go to the file at once and move into the keyring behind the window.
        EXPECT_TRUE(waitUntil([&] { return omnikAppDelegate::accountStore() == QVariantMap{{userId, QVariantMap()}}; }));
        const QByteArray bytes = fileBytes(settingsFile_);
        EXPECT_FALSE(bytes.contains(QByteArray::fromStdString(token)));
        EXPECT_FALSE(bytes.contains(QByteArray::fromStdString(secret)));

        delegate.openPreferences();
        ASSERT_NE(delegate.prefsWindowController(), nullptr);
        EXPECT_EQ(delegate.prefsWindowController()->tokenLocationLabel()->text(), kKeyringText);
        delegate.applicationWillTerminate();
    }

    platform::ScriptedAlertResponder responder;
    omnikAppDelegate next;
    next.awakeFromNib();
    bool sawAuthWindow = false;
    whenAuthWindowShows([&](AuthWindowController* auth) {
        sawAuthWindow = auth != nullptr;
        if (auth)
            auth->cancelButton()->click();
    }, 3000);
    ASSERT_TRUE(next.applicationDidFinishLaunching());
    EXPECT_TRUE(waitUntil([&] { return (*next.sharedWeiboInstance())->oAuth().oAuthTokenKey() == token; }));
    EXPECT_EQ((*next.sharedWeiboInstance())->oAuth().oAuthTokenSecret(), secret);
    // The restored token is one the service accepts.
    const std::string verified = (*next.sharedWeiboInstance())->accountVerify();
    EXPECT_NE(verified.find("\"id\":" + userId.toStdString()), std::string::npos) << verified;

    next.openPreferences();
    responder.queueAlertAnswer(platform::AlertResponder::kSecondButton);
    next.prefsWindowController()->deleteAccountButton()->click();
    EXPECT_TRUE(next.prefsWindowController()->tokenLocationLabel()->text().isEmpty());
    // Quitting lets the deletion finish.
    next.applicationWillTerminate();
    EXPECT_EQ(next.tokenStore().pendingDeletions(), 0);
    EXPECT_TRUE(keyringItem(userId).isEmpty());
    EXPECT_FALSE(sawAuthWindow);
}

// The same private bus with no Secret Service on it (the suite above stops its daemon when it ends).
class NoKeyringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsFile_ = useFreshSettings();
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        ASSERT_NE(testsupport::bus(), nullptr);
        ASSERT_TRUE(testsupport::bus()->isRunning());
        // A dead address: a start that reaches for the service fails at once.
        auto& defaults = platform::UserDefaults::standard();
        for (const char* key : {"WeiboHost", "WebHost", "StaticImageHost"})
            defaults.setObject(QStringLiteral("http://127.0.0.1:1"), QString::fromLatin1(key));
        defaults.setObject(QStringLiteral("http://127.0.0.1:1/2"), QStringLiteral("Weibo2Host"));
    }
    QString settingsFile_;
};

TEST_F(NoKeyringTest, TokensStayInTheOwnerOnlyFileAndThePreferencesSaySo)
{
    auto& defaults = platform::UserDefaults::standard();
    TokenStore store(defaults);
    const TokenStore::Tokens tokens{QStringLiteral("token-3301"), QStringLiteral("secret-3301")};
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(store.storeTokens(QStringLiteral("3301"), tokens), TokenStore::Location::SettingsFile);
    EXPECT_EQ(store.moveSecretsToKeyring(), 0);
    EXPECT_TRUE(fileBytes(settingsFile_).contains("secret-3301"));
    EXPECT_EQ(store.tokensForUser(QStringLiteral("3301")), tokens);
    // An entry whose secrets were in a keyring that is gone has no tokens now.
    const QVariantMap withFileSecrets = store.accounts();
    defaults.setObject(QVariantMap{{QStringLiteral("3302"), QVariantMap()}}, QStringLiteral("OAuthTokens"));
    EXPECT_EQ(store.tokensForUser(QStringLiteral("3302")), std::nullopt);
    // A missing Secret Service answers at once: nothing waits for the timeout.
    EXPECT_LT(clock.elapsed(), 5000);

    // The program starts from the file and its preferences say where the tokens are.
    defaults.setObject(withFileSecrets, QStringLiteral("OAuthTokens"));
    omnikAppDelegate delegate;
    delegate.awakeFromNib();
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ((*delegate.sharedWeiboInstance())->oAuth().oAuthTokenKey(), "token-3301");
    EXPECT_TRUE(waitUntil([&] { return !delegate.tokenStore().isMovingSecrets(); }));
    // No keyring on the desktop is no keyring that declined: the next start looks again, at no cost.
    EXPECT_FALSE(delegate.tokenStore().keyringDeclined());
    delegate.openPreferences();
    EXPECT_EQ(delegate.prefsWindowController()->tokenLocationLabel()->text(), kFileText);
}

// A keyring whose answers the test gives, when it likes.
class ScriptedKeyring : public KeyringBackend {
public:
    struct Call {
        QString op;
        QString key;
        QString text;
        Done done;
    };
    explicit ScriptedKeyring(std::shared_ptr<std::vector<Call>> calls)
        : calls_(std::move(calls))
    {
    }
    void write(const QString& key, const QString& text, Done done) override
    {
        calls_->push_back({QStringLiteral("write"), key, text, std::move(done)});
    }
    void read(const QString& key, Done done) override { calls_->push_back({QStringLiteral("read"), key, {}, std::move(done)}); }
    void remove(const QString& key, Done done) override
    {
        calls_->push_back({QStringLiteral("remove"), key, {}, std::move(done)});
    }

private:
    std::shared_ptr<std::vector<Call>> calls_;
};

TEST(TokenStorePolicy, AKeyringThatDoesNotAnswerIsDeclinedOnceAndALateAnswerStillTakesTheSecrets)
{
    useFreshSettings();
    auto& defaults = platform::UserDefaults::standard();
    auto calls = std::make_shared<std::vector<ScriptedKeyring::Call>>();
    TokenStore store(defaults, nullptr, std::make_unique<ScriptedKeyring>(calls));
    store.setKeyringTimeout(50);
    const TokenStore::Tokens tokens{QStringLiteral("t"), QStringLiteral("s")};
    store.storeTokensInFile(QStringLiteral("7"), tokens);
    store.startMovingSecretsToKeyring();
    ASSERT_EQ(calls->size(), 1u);
    EXPECT_EQ(calls->at(0).op, QStringLiteral("write"));
    EXPECT_TRUE(store.isWaitingForKeyring());

    // Unanswered past the time-out: the file keeps the secrets, and the keyring is declined from now on.
    ASSERT_TRUE(waitUntil([&] { return store.keyringDeclined(); }));
    EXPECT_FALSE(store.isWaitingForKeyring());
    EXPECT_FALSE(store.isMovingSecrets());
    EXPECT_EQ(store.tokensForUser(QStringLiteral("7")), tokens);
    auto laterCalls = std::make_shared<std::vector<ScriptedKeyring::Call>>();
    {
        TokenStore later(defaults, nullptr, std::make_unique<ScriptedKeyring>(laterCalls));
        later.startMovingSecretsToKeyring();
        EXPECT_TRUE(laterCalls->empty()); // no prompt at a later start
    }

    // The user answers the prompt after all: the item is read back and the secrets leave the file.
    calls->at(0).done(KeyringBackend::Result::Ok, QString());
    ASSERT_EQ(calls->size(), 2u);
    EXPECT_EQ(calls->at(1).op, QStringLiteral("read"));
    calls->at(1).done(KeyringBackend::Result::Ok, calls->at(0).text);
    EXPECT_EQ(store.location(QStringLiteral("7")), TokenStore::Location::Keyring);
    EXPECT_FALSE(store.keyringDeclined());

    // At a start the keyring does not give them back in time: no tokens (the user signs in again), declined.
    bool answered = false;
    std::optional<TokenStore::Tokens> read = tokens;
    store.readTokens(QStringLiteral("7"), [&](std::optional<TokenStore::Tokens> t) {
        answered = true;
        read = t;
    });
    EXPECT_FALSE(answered);
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_EQ(read, std::nullopt);
    EXPECT_TRUE(store.keyringDeclined());
    // No keyring at all is not a decline: nothing is remembered.
    defaults.removeObjectForKey(TokenStore::kKeyringDeclined);
    store.storeTokensInFile(QStringLiteral("8"), tokens);
    store.startMovingSecretsToKeyring();
    ASSERT_EQ(calls->back().op, QStringLiteral("write"));
    calls->back().done(KeyringBackend::Result::NoKeyring, QString());
    EXPECT_FALSE(store.isMovingSecrets());
    EXPECT_FALSE(store.keyringDeclined());
    EXPECT_EQ(store.keyringState(), TokenStore::KeyringState::Missing);
}

// gnome-keyring with no default keyring, as on a desktop that never made one: keeping a secret needs its prompt,
// which a stand-in prompter takes and never answers.
class PromptingKeyringTest : public testsupport::DevServiceTest {
protected:
    static void SetUpTestSuite()
    {
        DevServiceTest::SetUpTestSuite();
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        keyring_ = new SecretServiceDaemon(*testsupport::bus(), false);
    }
    static void TearDownTestSuite()
    {
        delete keyring_;
        keyring_ = nullptr;
        DevServiceTest::TearDownTestSuite();
    }
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(keyring_->isRunning()) << keyring_->error().toStdString();
        prompter_ = std::make_unique<HeldKeyringPrompter>(testsupport::bus()->connect(QStringLiteral("prompter")));
        ASSERT_TRUE(prompter_->isRegistered());
        settingsFile_ = useFreshSettings();
        service_->configureSettings();
        userId_ = service_->value(QStringLiteral("DemoUserId"));
        platform::UserDefaults::standard().setObject(
            QVariantMap{{userId_, fileEntry(service_->value(QStringLiteral("DemoAccessToken")),
                                            service_->value(QStringLiteral("DemoAccessTokenSecret")))}},
            QStringLiteral("OAuthTokens"));
    }
    void TearDown() override { prompter_.reset(); }

    static inline SecretServiceDaemon* keyring_ = nullptr;
    std::unique_ptr<HeldKeyringPrompter> prompter_;
    QString settingsFile_;
    QString userId_;
};

TEST_F(PromptingKeyringTest, AnUnansweredPromptNeverHoldsTheWindowAndIsNotAskedAgain)
{
    {
        omnikAppDelegate delegate;
        delegate.awakeFromNib();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(delegate.applicationDidFinishLaunching());
        MyWindowController* window = delegate.myWindowController();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        QSignalSpy shown(window, &MyWindowController::firstListViewShown);
        // The keyring's prompt is up and nobody answers it: the busy line says what is awaited, and the home
        // timeline comes all the same.
        ASSERT_TRUE(waitUntil([&] { return prompter_->promptsBegun() >= 1; }));
        EXPECT_TRUE(waitUntil([&] { return window->busyHints().contains(KeyringWaitLine::kWaitingText); }));
        ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));
        std::printf("home timeline shown %lld ms after the start, the keyring's prompt open\n",
                    static_cast<long long>(clock.elapsed()));
        EXPECT_TRUE(delegate.tokenStore().isWaitingForKeyring());

        // The prompt ends unanswered (its prompter gone, as a dismissed dialog): the tokens stay in the file,
        // the keyring is declined. (A prompt left open past the time-out does the same: TokenStorePolicy.)
        prompter_->goAway();
        ASSERT_TRUE(waitUntil([&] { return delegate.tokenStore().keyringDeclined(); }));
        EXPECT_EQ(delegate.tokenStore().location(userId_), TokenStore::Location::SettingsFile);
        EXPECT_TRUE(waitUntil([&] { return !window->busyHints().contains(KeyringWaitLine::kWaitingText); }));
        delegate.openPreferences();
        EXPECT_EQ(delegate.prefsWindowController()->tokenLocationLabel()->text(), kDeclinedText);
        EXPECT_FALSE(delegate.prefsWindowController()->useKeyringButton()->isHidden());
        delegate.applicationWillTerminate();
    }

    // The next start asks the keyring nothing and waits for nothing.
    prompter_.reset();
    prompter_ = std::make_unique<HeldKeyringPrompter>(testsupport::bus()->connect(QStringLiteral("prompter-1")));
    ASSERT_TRUE(prompter_->isRegistered());
    const int prompts = prompter_->promptsBegun();
    omnikAppDelegate next;
    next.awakeFromNib();
    ASSERT_TRUE(next.applicationDidFinishLaunching());
    QSignalSpy shown(next.myWindowController(), &MyWindowController::firstListViewShown);
    ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));
    EXPECT_EQ(prompter_->promptsBegun(), prompts);
    EXPECT_FALSE(next.tokenStore().isWaitingForKeyring());
    EXPECT_FALSE(next.myWindowController()->busyHints().contains(KeyringWaitLine::kWaitingText));

    // Asked for again in the preferences, the keyring prompts again; a prompt that ends unanswered (its
    // prompter gone, as a dismissed dialog) leaves the tokens in the file and the keyring declined.
    prompter_.reset();
    prompter_ = std::make_unique<HeldKeyringPrompter>(testsupport::bus()->connect(QStringLiteral("prompter-2")));
    ASSERT_TRUE(prompter_->isRegistered());
    next.openPreferences();
    next.prefsWindowController()->useKeyringButton()->click();
    EXPECT_FALSE(next.tokenStore().keyringDeclined());
    EXPECT_TRUE(next.tokenStore().isMovingSecrets());
    ASSERT_TRUE(waitUntil([&] { return prompter_->promptsBegun() == 1; }));
    prompter_->goAway();
    ASSERT_TRUE(waitUntil([&] { return !next.tokenStore().isMovingSecrets(); }));
    EXPECT_TRUE(next.tokenStore().keyringDeclined());
    EXPECT_EQ(next.tokenStore().location(userId_), TokenStore::Location::SettingsFile);
    EXPECT_EQ(next.prefsWindowController()->tokenLocationLabel()->text(), kDeclinedText);
    next.applicationWillTerminate();
}

} // namespace
