#pragma once
// The application delegate: starts the program, picks the account, owns the one service client every window
// shares, the account store, the main and preferences windows, the appearance and the name tables.
#include "app/TokenStore.h"
#include "service/WeiboAPI.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <boost/shared_ptr.hpp>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QFont;
class QMenu;
class QWidget;
class MyWindowController;
class PrefsWindowController;
class AuthWindowController;
class Appearance;
class KeyringWaitLine;
class BigPicWindowController;
class VideoWindowController;
class EmotionViewController;

// A set of characters, tested one code point at a time.
class CharacterSet {
public:
    using Predicate = std::function<bool(char32_t)>;
    CharacterSet() = default;
    explicit CharacterSet(Predicate predicate)
        : predicate_(std::move(predicate))
    {
    }
    bool characterIsMember(char32_t c) const { return predicate_ && predicate_(c); }
    // Index of the first member at or after `from` in the text (whole code points), or -1.
    qsizetype indexOfFirstMember(const QString& text, qsizetype from = 0) const;

private:
    Predicate predicate_;
};

class omnikAppDelegate : public QObject {
    Q_OBJECT
public:
    // The program's constants: the application's consumer credentials at the service.
    static constexpr const char* kConsumerKey = "5127730916";
    static constexpr const char* kConsumerSecret = "9f1c0a7e52d84b3690e1c7a4f2b85d03";
    // The memory capacity of the shared picture cache.
    static constexpr qint64 kURLCacheCapacity = 2000000;
    // How long quitting waits for keyring deletions still under way.
    static constexpr int kQuitWaitMs = 5000;
    // How long quitting waits for the main window's background blocks (their transfers are cancelled first).
    static constexpr int kShutdownWaitMs = 700;
    // Settings read here.
    static const QString kOAuthTokens;     // "OAuthTokens": user id text -> {"TokenKey", "SecretKey"}
    static const QString kTokenKey;        // "TokenKey"
    static const QString kSecretKey;       // "SecretKey"
    static const QString kWeiboHost;       // "WeiboHost": version-1 base address
    static const QString kWeibo2Host;      // "Weibo2Host": version-2 base address
    static const QString kWebHost;         // "WebHost": the service's web pages
    static const QString kStaticImageHost; // "StaticImageHost": emoji pictures
    static const QString kFeedbackURL;     // "FeedbackURL": the product's feedback page

    explicit omnikAppDelegate(QObject* parent = nullptr);
    ~omnikAppDelegate() override;

    // The delegate of the running program (the last one made), or none.
    static omnikAppDelegate* sharedDelegate();

    // Start-up, in the order the program calls them.
    void awakeFromNib();
    // Restores or authorises the account and shows the main window; terminates when authorisation is cancelled.
    // Answers whether the program goes on.
    bool applicationDidFinishLaunching();
    // Saves the main window's state and lets go of the windows and the appearance.
    void applicationWillTerminate();
    // A second launch, a tray click: shows the main window again when no window is visible. Always true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    bool hasVisibleWindows() const;
    // A later launch asked this running program to show itself: a modal window comes forward, or the main window
    // does; nothing comes back once quitting has begun.
    void reopenFromAnotherLaunch();

    // The client of the signed-in account (the shared pointer itself, so callers see it as it is now).
    boost::shared_ptr<weibo::SinaWeibo>* sharedWeiboInstance() { return &weibo_; }
    bool initWeiboInstanceWithUserId(const QString& uid = QString());

    MyWindowController* myWindowController() const;
    // The one emotion picker of the program, made on first use; every editor mounts it in its pop-up.
    EmotionViewController* emotionViewController();
    PrefsWindowController* prefsWindowController() const;
    // The picture and video viewers (made once, hidden, by newDocument; Viewers reaches them from list rows).
    BigPicWindowController* bigPicWindowController() const;
    VideoWindowController* videoWindowController() const;

    // The account store as the settings hold it (user id text -> {"TokenKey", "SecretKey"}, or an empty entry
    // whose secrets are in the keyring).
    static QVariantMap accountStore();
    // Where the accounts' tokens are kept.
    TokenStore& tokenStore() const { return *tokenStore_; }
    // The user id of the account in use (empty before start-up has one).
    QString userId() const { return userId_; }

    // Screen names met while building status cells (collected by the main window's cell context) together with
    // those added here; the candidates of name completion.
    QSet<QString> totalNames() const;
    void addTotalName(const QString& name) { totalNames_.insert(name); }
    void setTotalNames(const QSet<QString>& names) { totalNames_ = names; }
    // Every character but "_", "-" and letters, marks and digits of any script: where a name ends.
    const CharacterSet& invalidNameCharset() const { return invalidNameCharset_; }
    void setInvalidNameCharset(const CharacterSet& set) { invalidNameCharset_ = set; }

    // The shared fonts, colours, paragraph styles, gradients and date attributes (none before awakeFromNib).
    Appearance* appearance() const { return appearance_; }
    // The body font now in use (what the font dialog starts from).
    QFont bodyFont() const;
    // The font dialog's answer: stores "FontName"/"FontSize" and, after the current event, rebuilds the fonts and
    // tells the main window (fontSettingChanged) once.
    void changeFont(const QFont& font);

    // The "Plumet" menu and its items; each window of the program carries them.
    QMenu* applicationMenu() const { return applicationMenu_; }
    QAction* preferencesAction() const { return preferencesAction_; }
    QAction* newDocumentAction() const { return newDocumentAction_; }
    QAction* feedbackAction() const { return feedbackAction_; }
    QAction* quitAction() const { return quitAction_; }
    bool validateMenuItem(QAction* item) const;
    // Gives a window the menu items' shortcuts.
    void installMenuActions(QWidget* window) const;

    // Points the client at the addresses and the proxy now in the settings.
    void applyServiceAddresses();
    // Gives the client the proxy of the settings ("ProxyHost", "ProxyPort"), or none (the environment's).
    void applyProxySetting();

    // True once start-up has given up (authorisation cancelled) or quitting has begun.
    bool isTerminating() const { return terminating_; }

public slots:
    void newDocument();
    // The service refused the token: "请重新授权", then the authorisation window; the main window goes on with
    // the new token.
    void reauthorize();
    void openPreferences();
    void feedback();
    void terminate();

signals:
    // Sent after the fonts were rebuilt and the main window was told (once per font change).
    void fontSettingDidChange();

private:
    void makeMenu();
    // Stores the signer's access token under its user id in the account store.
    void storeAuthorizedAccount();
    // The authorisation window at start; false when it was cancelled.
    bool authorizeAtStart();
    // The stored account's tokens came (from the file at once, from the keyring later), or did not.
    void tokensAnswered(const std::optional<TokenStore::Tokens>& tokens);
    void updateMenuItems();
    void lastWindowClosed();
    void reopenFromTray();
    void appearanceFontSettingChanged();

    boost::shared_ptr<weibo::SinaWeibo> weibo_;
    QPointer<MyWindowController> myWindowController_;
    QPointer<PrefsWindowController> prefsWindowController_;
    QPointer<BigPicWindowController> bigPicWindowController_;
    QPointer<VideoWindowController> videoWindowController_;
    QPointer<EmotionViewController> emotionViewController_;
    QSet<QString> totalNames_;
    CharacterSet invalidNameCharset_;
    Appearance* appearance_ = nullptr;
    TokenStore* tokenStore_ = nullptr;
    KeyringWaitLine* keyringWaitLine_ = nullptr;
    QString userId_;

    QMenu* applicationMenu_ = nullptr;
    QAction* preferencesAction_ = nullptr;
    QAction* newDocumentAction_ = nullptr;
    QAction* feedbackAction_ = nullptr;
    QAction* quitAction_ = nullptr;

    bool awake_ = false;
    bool accountReady_ = false; // the client holds an account's access token
    bool accountPending_ = false; // the stored account's tokens are on their way from the keyring
    bool terminating_ = false;
    bool terminated_ = false;
    bool reauthorizing_ = false;
};
