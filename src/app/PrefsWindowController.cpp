#include "app/PrefsWindowController.h"

#include "app/TokenStore.h"
#include "app/omnikAppDelegate.h"
#include "mainwindow/MyWindowController.h"
#include "platform/AlertResponder.h"
#include "platform/ProxyChoice.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"
#include "timeline/KeptLists.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

const QString PrefsWindowController::kUseGrowl = QStringLiteral("UseGrowl");
const QString PrefsWindowController::kNewStatus = QStringLiteral("NewStatus");
const QString PrefsWindowController::kNewComment = QStringLiteral("NewComment");
const QString PrefsWindowController::kNewAtme = QStringLiteral("NewAtme");
const QString PrefsWindowController::kNewMessage = QStringLiteral("NewMessage");

bool PrefsWindowController::isServiceAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.hasQuery() && !url.hasFragment();
}

PrefsWindowController::PrefsWindowController(const QString& windowNibName, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(windowNibName);
    setWindowTitle(QStringLiteral("偏好设置"));

    // Body font.
    fontLabel_ = new QLabel(this);
    fontLabel_->setObjectName(QStringLiteral("fontLabel"));
    fontButton_ = new QPushButton(QStringLiteral("选择字体..."), this);
    fontButton_->setAutoDefault(false);
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(new QLabel(QStringLiteral("正文字体："), this));
    fontRow->addWidget(fontLabel_, 1);
    fontRow->addWidget(fontButton_);
    connect(fontButton_, &QPushButton::clicked, this, [this] { setFont(); });

    // News: which lists count on the badge and are announced.
    auto* news = new QGroupBox(QStringLiteral("提醒"), this);
    auto* newsLayout = new QVBoxLayout(news);
    const QList<QPair<QString, QString>> switches = {
        {kUseGrowl, QStringLiteral("使用桌面通知")}, {kNewStatus, QStringLiteral("新微博")},
        {kNewComment, QStringLiteral("新评论")},     {kNewAtme, QStringLiteral("提到我的")},
        {kNewMessage, QStringLiteral("新私信")},
    };
    for (const auto& entry : switches) {
        auto* box = new QCheckBox(entry.second, news);
        box->setObjectName(entry.first);
        newsLayout->addWidget(box);
        switches_.insert(entry.first, box);
        const QString key = entry.first;
        connect(box, &QCheckBox::toggled, this, [key](bool on) {
            platform::UserDefaults::standard().setBool(on, key);
            platform::UserDefaults::standard().synchronize();
        });
    }

    // Service addresses.
    auto* service = new QGroupBox(QStringLiteral("服务地址"), this);
    auto* serviceLayout = new QFormLayout(service);
    const QList<QPair<QString, QString>> addresses = {
        {omnikAppDelegate::kWeiboHost, QStringLiteral("接口地址：")},
        {omnikAppDelegate::kWeibo2Host, QStringLiteral("接口地址 (第 2 版)：")},
        {omnikAppDelegate::kWebHost, QStringLiteral("网页地址：")},
        {omnikAppDelegate::kStaticImageHost, QStringLiteral("图片地址：")},
        {omnikAppDelegate::kFeedbackURL, QStringLiteral("反馈页面：")},
    };
    for (const auto& entry : addresses) {
        auto* field = new QLineEdit(service);
        field->setObjectName(entry.first);
        serviceLayout->addRow(entry.second, field);
        addressFields_.insert(entry.first, field);
        const QString key = entry.first;
        connect(field, &QLineEdit::editingFinished, this, [this, key] { commitAddress(key); });
    }

    // Proxy: Plumet's own, else the environment's.
    auto* proxy = new QGroupBox(QStringLiteral("代理"), this);
    auto* proxyLayout = new QFormLayout(proxy);
    proxyHostField_ = new QLineEdit(proxy);
    proxyHostField_->setObjectName(platform::ProxyChoice::kProxyHost);
    proxyHostField_->setPlaceholderText(QStringLiteral("不填则按环境变量 http_proxy 等"));
    proxyPortField_ = new QLineEdit(proxy);
    proxyPortField_->setObjectName(platform::ProxyChoice::kProxyPort);
    proxyPortField_->setValidator(new QIntValidator(1, 65535, proxyPortField_));
    proxyStatusLabel_ = new QLabel(proxy);
    proxyStatusLabel_->setObjectName(QStringLiteral("proxyStatusLabel"));
    proxyStatusLabel_->setWordWrap(true);
    proxyLayout->addRow(QStringLiteral("代理服务器："), proxyHostField_);
    proxyLayout->addRow(QStringLiteral("端口："), proxyPortField_);
    proxyLayout->addRow(proxyStatusLabel_);
    for (QLineEdit* field : {proxyHostField_, proxyPortField_})
        connect(field, &QLineEdit::editingFinished, this, [this, field] { commitProxy(field); });

    // Account.
    tokenLocationLabel_ = new QLabel(this);
    tokenLocationLabel_->setObjectName(QStringLiteral("tokenLocationLabel"));
    tokenLocationLabel_->setWordWrap(true);
    useKeyringButton_ = new QPushButton(QStringLiteral("改用系统钥匙环"), this);
    useKeyringButton_->setAutoDefault(false);
    useKeyringButton_->hide();
    deleteAccountButton_ = new QPushButton(QStringLiteral("删除账号..."), this);
    deleteAccountButton_->setAutoDefault(false);
    auto* accountRow = new QHBoxLayout;
    accountRow->addWidget(tokenLocationLabel_, 1);
    accountRow->addWidget(useKeyringButton_);
    accountRow->addWidget(deleteAccountButton_);
    connect(useKeyringButton_, &QPushButton::clicked, this, [this] {
        if (omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate())
            delegate->tokenStore().useKeyringAgain();
        updateTokenLocation();
    });
    if (omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate()) {
        TokenStore* store = &delegate->tokenStore();
        connect(store, &TokenStore::locationChanged, this, &PrefsWindowController::updateTokenLocation);
        connect(store, &TokenStore::movingFinished, this, &PrefsWindowController::updateTokenLocation);
    }
    connect(deleteAccountButton_, &QPushButton::clicked, this, &PrefsWindowController::deleteAccount);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fontRow);
    layout->addWidget(news);
    layout->addWidget(service);
    layout->addWidget(proxy);
    layout->addLayout(accountRow);
    setMinimumWidth(420);

    loadSettings();
}

void PrefsWindowController::loadSettings()
{
    auto& defaults = platform::UserDefaults::standard();
    for (auto it = switches_.cbegin(); it != switches_.cend(); ++it) {
        const QSignalBlocker block(it.value());
        it.value()->setChecked(defaults.boolForKey(it.key()));
    }
    for (auto it = addressFields_.cbegin(); it != addressFields_.cend(); ++it) {
        it.value()->setText(defaults.stringForKey(it.key()));
        it.value()->setStyleSheet(QString());
        it.value()->setToolTip(QString());
    }
    for (QLineEdit* field : {proxyHostField_, proxyPortField_})
        field->setText(defaults.stringForKey(field->objectName()));
    updateProxyStatus();
    updateFontLabel();
    updateTokenLocation();
}

void PrefsWindowController::updateProxyStatus()
{
    const auto& defaults = platform::UserDefaults::standard();
    const QUrl service(defaults.stringForKey(omnikAppDelegate::kWeiboHost).trimmed());
    proxyStatusLabel_->setText(platform::ProxyChoice::forUrl(service, defaults).description());
}

void PrefsWindowController::commitProxy(QLineEdit* field)
{
    auto& defaults = platform::UserDefaults::standard();
    const QString text = field->text().trimmed();
    if (text == defaults.stringForKey(field->objectName()))
        return;
    if (text.isEmpty())
        defaults.removeObjectForKey(field->objectName());
    else
        defaults.setObject(text, field->objectName());
    defaults.synchronize();
    if (omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate())
        delegate->applyProxySetting();
    updateProxyStatus();
}

void PrefsWindowController::updateTokenLocation()
{
    omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate();
    const TokenStore* store = delegate ? &delegate->tokenStore() : nullptr;
    const TokenStore::Location where = store ? store->location(delegate->userId()) : TokenStore::Location::None;
    const bool declined = store && store->keyringDeclined();
    useKeyringButton_->setVisible(where == TokenStore::Location::SettingsFile && declined);
    switch (where) {
    case TokenStore::Location::Keyring:
        tokenLocationLabel_->setText(QStringLiteral("访问令牌保存在系统钥匙环中。"));
        break;
    case TokenStore::Location::SettingsFile:
        if (declined)
            tokenLocationLabel_->setText(QStringLiteral("系统钥匙环没有应答，访问令牌保存在仅本人可读的设置文件中。"));
        else if (store->isMovingSecrets())
            tokenLocationLabel_->setText(QStringLiteral("正在等待系统钥匙环..."));
        else
            tokenLocationLabel_->setText(QStringLiteral("未找到系统钥匙环，访问令牌保存在仅本人可读的设置文件中。"));
        break;
    case TokenStore::Location::None:
        tokenLocationLabel_->clear();
        break;
    }
}

void PrefsWindowController::showWindow()
{
    loadSettings();
    adjustSize();
    platform::showCentred(this);
    fontButton_->setFocus();
}

void PrefsWindowController::updateFontLabel()
{
    omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate();
    if (!delegate)
        return;
    const QFont font = delegate->bodyFont();
    fontLabel_->setText(QStringLiteral("%1 %2").arg(font.family()).arg(font.pointSizeF()));
}

void PrefsWindowController::setFont()
{
    omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate();
    if (!delegate)
        return;
    platform::FontPanelRequest request;
    request.initialFont = delegate->bodyFont();
    request.title = QStringLiteral("字体");
    request.parent = this;
    const std::optional<QFont> font = platform::AlertResponder::fontPanel(request);
    if (font)
        delegate->changeFont(*font);
}

void PrefsWindowController::deleteAccount()
{
    alertDidEnd(platform::AlertResponder::alertMessage(QStringLiteral("您确定要删除当前账号吗？"),
                                                       QStringLiteral("删除账号后，下次打开Plumet应用时需要重新授权"), this));
}

void PrefsWindowController::alertDidEnd(int returnCode)
{
    if (returnCode != platform::AlertResponder::kSecondButton)
        return;
    // Every stored account goes, not only the one in use, with its keyring item; the running client keeps its
    // token until the program ends.
    if (omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate()) {
        // Their lists kept on disk go with them; the running window keeps nothing more.
        if (MyWindowController* window = delegate->myWindowController())
            window->discardKeptLists();
        QStringList accounts = delegate->tokenStore().accounts().keys();
        if (!delegate->userId().isEmpty())
            accounts << delegate->userId();
        for (const QString& account : accounts)
            KeptLists::removeAccount(KeptLists::defaultFolder(), account);
        delegate->tokenStore().removeAllAccounts();
    } else {
        platform::UserDefaults::standard().removeObjectForKey(omnikAppDelegate::kOAuthTokens);
        platform::UserDefaults::standard().synchronize();
    }
    updateTokenLocation();
}

void PrefsWindowController::commitAddress(const QString& key)
{
    QLineEdit* field = addressFields_.value(key);
    if (!field)
        return;
    auto& defaults = platform::UserDefaults::standard();
    const QString text = field->text().trimmed();
    if (text.isEmpty()) {
        // An emptied field goes back to the default address.
        defaults.removeObjectForKey(key);
        field->setText(defaults.stringForKey(key));
    } else if (!isServiceAddress(text)) {
        // Keep what was typed so it can be corrected, but never store an address the client cannot use.
        field->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #d0342c; }"));
        field->setToolTip(QStringLiteral("请输入以 http:// 或 https:// 开头的地址"));
        return;
    } else if (text != defaults.stringForKey(key)) {
        defaults.setObject(text, key);
    }
    field->setStyleSheet(QString());
    field->setToolTip(QString());
    defaults.synchronize();
    if (omnikAppDelegate* delegate = omnikAppDelegate::sharedDelegate())
        delegate->applyServiceAddresses();
    updateProxyStatus();
}

void PrefsWindowController::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || (event->key() == Qt::Key_W && event->modifiers() == Qt::ControlModifier)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
