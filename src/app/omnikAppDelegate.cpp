#include "app/omnikAppDelegate.h"

#include "app/AuthWindowController.h"
#include "app/KeyringWaitLine.h"
#include "app/PrefsWindowController.h"
#include "app/TokenStore.h"
#include "cells/Appearance.h"
#include "cells/HotTextScanner.h"
#include "compose/ComposeEnvironment.h"
#include "compose/EmotionViewController.h"
#include "mainwindow/MyWindowController.h"
#include "platform/AlertResponder.h"
#include "platform/Browser.h"
#include "platform/Dispatch.h"
#include "platform/ProxyChoice.h"
#include "platform/URLCache.h"
#include "platform/UnreadBadge.h"
#include "platform/UserDefaults.h"
#include "timeline/KeptLists.h"
#include "viewers/BigPicWindowController.h"
#include "viewers/VideoWindowController.h"
#include "viewers/Viewers.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QWindow>

#include <boost/make_shared.hpp>

#include <atomic>
#include <cstdint>

const QString omnikAppDelegate::kOAuthTokens = QStringLiteral("OAuthTokens");
const QString omnikAppDelegate::kTokenKey = QStringLiteral("TokenKey");
const QString omnikAppDelegate::kSecretKey = QStringLiteral("SecretKey");
const QString omnikAppDelegate::kWeiboHost = QStringLiteral("WeiboHost");
const QString omnikAppDelegate::kWeibo2Host = QStringLiteral("Weibo2Host");
const QString omnikAppDelegate::kWebHost = QStringLiteral("WebHost");
const QString omnikAppDelegate::kStaticImageHost = QStringLiteral("StaticImageHost");
const QString omnikAppDelegate::kFeedbackURL = QStringLiteral("FeedbackURL");

namespace {

QPointer<omnikAppDelegate> sharedInstance;

} // namespace

qsizetype CharacterSet::indexOfFirstMember(const QString& text, qsizetype from) const
{
    for (qsizetype i = qMax<qsizetype>(from, 0); i < text.size();) {
        char32_t c = text.at(i).unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            width = 2;
        }
        if (characterIsMember(c))
            return i;
        i += width;
    }
    return -1;
}

omnikAppDelegate::omnikAppDelegate(QObject* parent)
    : QObject(parent)
{
    sharedInstance = this;
    tokenStore_ = new TokenStore(platform::UserDefaults::standard(), this);
    keyringWaitLine_ = new KeyringWaitLine(tokenStore_, this);
    // A program that starts (again, in one process) does its transfers, whatever an earlier quit cancelled.
    weibo::allowTransfers();
    makeMenu();
    // What the editors ask of the application.
    ComposeEnvironment::setClientProvider([this] { return weibo_; });
    ComposeEnvironment::setNamesProvider([this] { return totalNames(); });
    ComposeEnvironment::setEmotionViewControllerProvider([this] { return emotionViewController(); });
}

omnikAppDelegate::~omnikAppDelegate()
{
    applicationWillTerminate();
    delete applicationMenu_;
}

omnikAppDelegate* omnikAppDelegate::sharedDelegate()
{
    return sharedInstance.data();
}

MyWindowController* omnikAppDelegate::myWindowController() const
{
    return myWindowController_.data();
}

EmotionViewController* omnikAppDelegate::emotionViewController()
{
    if (!emotionViewController_) {
        auto catalogue = [this] {
            QList<EmotionCategory> categories;
            if (myWindowController_) {
                for (const auto& category : myWindowController_->categoryEmotions()) {
                    EmotionCategory c;
                    c.name = category.isEmpty() ? QString() : category.front().category;
                    for (const auto& emotion : category)
                        c.phrases.append(emotion.phrase);
                    categories.append(c);
                }
            }
            return categories;
        };
        auto path = [this](const QString& phrase) {
            return myWindowController_ ? myWindowController_->pathForEmotionName(phrase) : QString();
        };
        emotionViewController_ = new EmotionViewController(catalogue, path);
    }
    return emotionViewController_;
}

PrefsWindowController* omnikAppDelegate::prefsWindowController() const
{
    return prefsWindowController_.data();
}

BigPicWindowController* omnikAppDelegate::bigPicWindowController() const
{
    return bigPicWindowController_.data();
}

VideoWindowController* omnikAppDelegate::videoWindowController() const
{
    return videoWindowController_.data();
}

void omnikAppDelegate::awakeFromNib()
{
    auto& defaults = platform::UserDefaults::standard();
    defaults.registerDefaultsFromResource();
    platform::URLCache::shared().setMemoryCapacity(kURLCacheCapacity);
    // Pictures stay between runs: the lists kept on disk show their avatars and thumbnails offline too.
    platform::URLCache::shared().setDiskFolder(
        QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/pictures"));
    // Pictures take the proxy the service's transfers take.
    platform::ProxyChoice::installForNetworkAccess(defaults);
    totalNames_.clear();
    invalidNameCharset_ = CharacterSet(&isNameEndingCharacter);
    // Paragraph styles, gradients, fonts, colours, then the date attributes.
    if (!appearance_) {
        appearance_ = new Appearance(&defaults, this);
        connect(appearance_, &Appearance::fontSettingChanged, this, &omnikAppDelegate::appearanceFontSettingChanged);
    }
    awake_ = true;

    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // Quitting when the last window closes is decided here: the authorisation window closes before the main
        // window opens, and with a tray icon the program lives on in the tray.
        app->setQuitOnLastWindowClosed(false);
        connect(app, &QGuiApplication::lastWindowClosed, this, &omnikAppDelegate::lastWindowClosed,
                Qt::UniqueConnection);
        connect(app, &QGuiApplication::focusWindowChanged, this, &omnikAppDelegate::updateMenuItems,
                Qt::UniqueConnection);
        connect(app, &QCoreApplication::aboutToQuit, this, &omnikAppDelegate::applicationWillTerminate,
                Qt::UniqueConnection);
    }
}

bool omnikAppDelegate::applicationDidFinishLaunching()
{
    if (!awake_)
        awakeFromNib();
    if (!initWeiboInstanceWithUserId(QString())) {
        terminate();
        return false;
    }
    newDocument();
    // Secrets an earlier run had to leave in the settings file go to the keyring, in the background.
    if (accountReady_)
        tokenStore_->startMovingSecretsToKeyring();
    auto& badge = platform::UnreadBadge::shared();
    badge.setTrayIconEnabled(true);
    connect(&badge, &platform::UnreadBadge::trayActivated, this, &omnikAppDelegate::reopenFromTray,
            Qt::UniqueConnection);
    return true;
}

QVariantMap omnikAppDelegate::accountStore()
{
    return platform::UserDefaults::standard().dictionaryForKey(kOAuthTokens);
}

bool omnikAppDelegate::initWeiboInstanceWithUserId(const QString& userId)
{
    accountReady_ = false;
    accountPending_ = false;
    const QVariantMap store = tokenStore_->accounts();
    QString uid = userId;
    if (uid.isEmpty() && !store.isEmpty())
        uid = store.lastKey();

    weibo_ = boost::make_shared<weibo::SinaWeibo>();
    weibo_->oAuth().setConsumerKey(kConsumerKey);
    weibo_->oAuth().setConsumerSecret(kConsumerSecret);
    applyServiceAddresses();
    // Nobody transfers with the new client yet: its proxy is in place before its first request.
    const auto& defaults = platform::UserDefaults::standard();
    weibo_->setProxyServerIp(defaults.stringForKey(platform::ProxyChoice::kProxyHost).trimmed().toStdString());
    weibo_->setProxyServerPort(defaults.stringForKey(platform::ProxyChoice::kProxyPort).trimmed().toStdString());

    if (!uid.isEmpty() && store.contains(uid)) {
        userId_ = uid;
        // The keyring may put up a prompt nobody answers: the window comes at once and its start-up waits for
        // the answer. Secrets in the file answer at once.
        accountPending_ = true;
        QPointer<omnikAppDelegate> self(this);
        const boost::shared_ptr<weibo::SinaWeibo> client = weibo_;
        tokenStore_->readTokens(uid, [self, client](std::optional<TokenStore::Tokens> tokens) {
            if (self && self->weibo_ == client)
                self->tokensAnswered(tokens);
        });
        return true;
    }
    if (terminating_)
        return false;
    return authorizeAtStart();
}

bool omnikAppDelegate::authorizeAtStart()
{
    AuthWindowController auth(QStringLiteral("AuthWindow"), &weibo_);
    // The window is application-modal: of the menu only quitting can act while it is up.
    auth.addAction(quitAction_);
    if (auth.runModal() == 0)
        return false;
    storeAuthorizedAccount();
    accountReady_ = true;
    return true;
}

void omnikAppDelegate::tokensAnswered(const std::optional<TokenStore::Tokens>& tokens)
{
    const bool windowWaits = myWindowController_ != nullptr;
    accountPending_ = false;
    if (terminating_)
        return;
    if (tokens) {
        weibo_->oAuth().setOAuthTokenKey(tokens->tokenKey.toStdString());
        weibo_->oAuth().setOAuthTokenSecret(tokens->secretKey.toStdString());
        accountReady_ = true;
    } else {
        // The keyring did not give the secrets back (locked and not unlocked, gone): the account is authorised
        // again rather than started without a token; its new tokens stay in the file.
        userId_.clear();
        if (!authorizeAtStart()) {
            terminate();
            return;
        }
    }
    // Answered inside initWeiboInstanceWithUserId (secrets in the file): the caller shows the window.
    if (windowWaits) {
        newDocument();
        tokenStore_->startMovingSecretsToKeyring();
    }
}

void omnikAppDelegate::storeAuthorizedAccount()
{
    // The signer now holds the access token of the account that was just authorised: it is in the file at once,
    // and moves into the keyring when that answers.
    userId_ = QString::fromStdString(weibo_->oAuth().oAuthUserId());
    tokenStore_->storeTokensInFile(userId_, {QString::fromStdString(weibo_->oAuth().oAuthTokenKey()),
                                             QString::fromStdString(weibo_->oAuth().oAuthTokenSecret())});
    tokenStore_->startMovingSecretsToKeyring();
}

void omnikAppDelegate::reauthorize()
{
    if (terminating_ || reauthorizing_ || !weibo_)
        return;
    reauthorizing_ = true;
    QWidget* window = myWindowController_ ? myWindowController_->window() : nullptr;
    platform::AlertResponder::alertWarning(QStringLiteral("请重新授权"), QString(), QString(), window);
    bool renewed = false;
    if (!terminating_) {
        AuthWindowController auth(QStringLiteral("AuthWindow"), &weibo_);
        auth.addAction(quitAction_);
        renewed = auth.runModal() != 0;
    }
    reauthorizing_ = false;
    // Cancelled: the window goes on saying "请重新授权" in its busy line, and asks again at the next refusal
    // after a success.
    if (!renewed || terminating_)
        return;
    storeAuthorizedAccount();
    if (myWindowController_)
        myWindowController_->authorizationRenewed();
}

void omnikAppDelegate::applyServiceAddresses()
{
    if (!weibo_)
        return;
    auto& defaults = platform::UserDefaults::standard();
    weibo_->setBaseUrls(defaults.stringForKey(kWeiboHost).trimmed().toStdString(),
                        defaults.stringForKey(kWeibo2Host).trimmed().toStdString());
}

void omnikAppDelegate::applyProxySetting()
{
    if (!weibo_)
        return;
    auto& defaults = platform::UserDefaults::standard();
    const std::string host = defaults.stringForKey(platform::ProxyChoice::kProxyHost).trimmed().toStdString();
    const std::string port = defaults.stringForKey(platform::ProxyChoice::kProxyPort).trimmed().toStdString();
    // The client takes a new proxy under its transfer lock, which a slow transfer may hold for long: applied in
    // the background, the newest setting last.
    static std::atomic<std::uint64_t> latest{0};
    const std::uint64_t generation = ++latest;
    const boost::shared_ptr<weibo::SinaWeibo> client = weibo_;
    platform::dispatchGlobal([client, host, port, generation] {
        if (generation != latest.load())
            return;
        client->clearProxy();
        client->setProxyServerIp(host);
        client->setProxyServerPort(port);
    });
}

void omnikAppDelegate::newDocument()
{
    // No window before there is an account (a reopen can arrive while the authorisation window is up).
    if (!weibo_ || !(accountReady_ || accountPending_) || terminating_)
        return;
    if (!bigPicWindowController_)
        bigPicWindowController_ = new BigPicWindowController(QStringLiteral("BigPic"));
    if (!videoWindowController_)
        videoWindowController_ = new VideoWindowController(QStringLiteral("Video"));
    Viewers::setWindowControllers(bigPicWindowController_, videoWindowController_);
    if (!myWindowController_) {
        myWindowController_ = new MyWindowController(QStringLiteral("MainWindow"), weibo_);
        myWindowController_->setAppearance(appearance_);
        // Before the window's first request: the lists the account had are there at once.
        myWindowController_->keepListsIn(KeptLists::defaultFolder(), userId_);
        // Queued: the authorisation window runs its own loop, which must not run inside the poll's hand-over.
        connect(myWindowController_, &MyWindowController::authorizationRefused, this, &omnikAppDelegate::reauthorize,
                Qt::QueuedConnection);
        if (auto* mainWindow = qobject_cast<QMainWindow*>(myWindowController_->window()))
            mainWindow->menuBar()->insertMenu(mainWindow->menuBar()->actions().value(0), applicationMenu_);
        installMenuActions(myWindowController_->window());
        keyringWaitLine_->setWindow(myWindowController_);
    }
    if (accountPending_) {
        // Up at once, saying it waits for the keyring; its start-up begins with the tokens.
        myWindowController_->show();
        myWindowController_->raise();
    } else {
        myWindowController_->showWindow();
    }
    updateMenuItems();
}

QSet<QString> omnikAppDelegate::totalNames() const
{
    QSet<QString> names = totalNames_;
    if (myWindowController_)
        names.unite(myWindowController_->cellContext().totalNames());
    return names;
}

bool omnikAppDelegate::hasVisibleWindows() const
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !w->isMinimized() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip)
            return true;
    }
    return false;
}

bool omnikAppDelegate::applicationShouldHandleReopen(bool visibleWindows)
{
    if (!visibleWindows)
        newDocument();
    return true;
}

void omnikAppDelegate::reopenFromAnotherLaunch()
{
    if (terminating_)
        return;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return;
    }
    reopenFromTray();
}

void omnikAppDelegate::reopenFromTray()
{
    // A click on the tray icon brings the main window forward even when another window of the program is open.
    applicationShouldHandleReopen(hasVisibleWindows());
    if (myWindowController_)
        myWindowController_->showWindow();
}

void omnikAppDelegate::makeMenu()
{
    applicationMenu_ = new QMenu(QStringLiteral("Plumet"));
    preferencesAction_ = applicationMenu_->addAction(QStringLiteral("偏好设置..."));
    preferencesAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferencesAction_->setMenuRole(QAction::PreferencesRole);
    // Ctrl+N writes a new status in the main window; this item only brings that window back.
    newDocumentAction_ = applicationMenu_->addAction(QStringLiteral("新窗口"));
    feedbackAction_ = applicationMenu_->addAction(QStringLiteral("意见反馈..."));
    applicationMenu_->addSeparator();
    quitAction_ = applicationMenu_->addAction(QStringLiteral("退出 Plumet"));
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitAction_->setMenuRole(QAction::QuitRole);
    for (QAction* a : applicationMenu_->actions())
        a->setShortcutContext(Qt::ApplicationShortcut);

    connect(preferencesAction_, &QAction::triggered, this, &omnikAppDelegate::openPreferences);
    connect(newDocumentAction_, &QAction::triggered, this, &omnikAppDelegate::newDocument);
    connect(feedbackAction_, &QAction::triggered, this, &omnikAppDelegate::feedback);
    connect(quitAction_, &QAction::triggered, this, &omnikAppDelegate::terminate);
    connect(applicationMenu_, &QMenu::aboutToShow, this, &omnikAppDelegate::updateMenuItems);
}

void omnikAppDelegate::installMenuActions(QWidget* window) const
{
    if (!window)
        return;
    for (QAction* a : applicationMenu_->actions()) {
        if (!a->isSeparator() && !window->actions().contains(a))
            window->addAction(a);
    }
}

bool omnikAppDelegate::validateMenuItem(QAction* item) const
{
    if (!item)
        return false;
    if (item == newDocumentAction_)
        return !(myWindowController_ && myWindowController_->window()->isActiveWindow());
    return item == preferencesAction_ || item == feedbackAction_ || item == quitAction_;
}

void omnikAppDelegate::updateMenuItems()
{
    for (QAction* a : applicationMenu_->actions()) {
        if (!a->isSeparator())
            a->setEnabled(validateMenuItem(a));
    }
}

void omnikAppDelegate::openPreferences()
{
    if (!prefsWindowController_) {
        prefsWindowController_ = new PrefsWindowController(QStringLiteral("Prefs"));
        prefsWindowController_->setAttribute(Qt::WA_DeleteOnClose, false);
        installMenuActions(prefsWindowController_);
        connect(this, &omnikAppDelegate::fontSettingDidChange, prefsWindowController_,
                &PrefsWindowController::updateFontLabel);
    }
    prefsWindowController_->showWindow();
}

void omnikAppDelegate::feedback()
{
    const QUrl page(platform::UserDefaults::standard().stringForKey(kFeedbackURL).trimmed());
    platform::Browser::openURL(page);
}

QFont omnikAppDelegate::bodyFont() const
{
    return appearance_ ? appearance_->bodyFont() : Appearance::systemFont(Appearance::kDefaultFontSize);
}

void omnikAppDelegate::changeFont(const QFont& font)
{
    if (appearance_)
        appearance_->changeFont(font);
}

void omnikAppDelegate::appearanceFontSettingChanged()
{
    if (myWindowController_)
        myWindowController_->fontSettingChanged();
    emit fontSettingDidChange();
}

void omnikAppDelegate::lastWindowClosed()
{
    // With a tray icon the program stays reachable from the tray; without one, closing the main window ends it.
    if (!myWindowController_ || terminating_)
        return;
    if (platform::UnreadBadge::shared().hasTrayIcon())
        return;
    terminate();
}

void omnikAppDelegate::terminate()
{
    terminating_ = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void omnikAppDelegate::applicationWillTerminate()
{
    if (terminated_)
        return;
    terminated_ = true;
    terminating_ = true;
    // Every transfer in flight lets go within a tenth of a second, so the blocks of the window end at once even
    // when the service hangs or trickles.
    weibo::cancelAllTransfers();
    if (myWindowController_) {
        myWindowController_->cleanup();
        // A block that is still running reaches the window and its lists: then they are left as they are (hidden,
        // inert) for the process to end with, rather than freed under it.
        if (myWindowController_->shutdown(kShutdownWaitMs))
            delete myWindowController_.data();
    }
    if (prefsWindowController_)
        delete prefsWindowController_.data();
    delete bigPicWindowController_.data();
    delete videoWindowController_.data();
    if (emotionViewController_)
        delete emotionViewController_.data();
    ComposeEnvironment::clear();
    // The appearance stays until the delegate goes: cell contexts may still point at it while the program winds
    // down.
    totalNames_.clear();
    // An account deleted just before quitting still has its keyring items removed.
    tokenStore_->waitForPendingDeletions(kQuitWaitMs);
    platform::UserDefaults::standard().synchronize();
}
