#include "app/AuthWindowController.h"

#include "cells/FailureText.h"
#include "platform/AlertResponder.h"
#include "platform/Browser.h"
#include "platform/Dispatch.h"

#include <QApplication>
#include <QEventLoop>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <atomic>
#include <climits>
#include <memory>

namespace {

QPushButton* makeButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    // Enter belongs to the field being typed in (each field submits its own flow), never to a default button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

AuthWindowController::AuthWindowController(const QString& windowNibName,
                                           boost::shared_ptr<weibo::SinaWeibo>* weiboInstance, QWidget* parent)
    : QDialog(parent)
    , weibo_(weiboInstance)
{
    setObjectName(windowNibName);
    setWindowTitle(QStringLiteral("Plumet 授权"));
    setWindowModality(Qt::ApplicationModal);

    usernameTextField_ = new QLineEdit(this);
    usernameTextField_->setObjectName(QStringLiteral("usernameTextField"));
    passwordTextField_ = new QLineEdit(this);
    passwordTextField_->setObjectName(QStringLiteral("passwordTextField"));
    passwordTextField_->setEchoMode(QLineEdit::Password);
    xauthButton_ = makeButton(QStringLiteral("登录"), this);

    openAuthLink_ = makeButton(QStringLiteral("获取授权码"), this);
    openAuthLink_->setObjectName(QStringLiteral("openAuthLink"));
    openAuthLink_->setFlat(true);
    openAuthLink_->setCursor(Qt::PointingHandCursor);
    openAuthLink_->setStyleSheet(QStringLiteral("QPushButton { color: #3c64a1; text-decoration: underline; }"));
    pinTextField_ = new QLineEdit(this);
    pinTextField_->setObjectName(QStringLiteral("pinTextField"));
    oauthButton_ = makeButton(QStringLiteral("授权"), this);
    cancelButton_ = makeButton(QStringLiteral("取消"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("账号："), usernameTextField_);
    form->addRow(QStringLiteral("密码："), passwordTextField_);
    auto* xauthRow = new QHBoxLayout;
    xauthRow->addStretch();
    xauthRow->addWidget(xauthButton_);
    form->addRow(xauthRow);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* pinHint = new QLabel(QStringLiteral("也可以在浏览器中授权，再填入页面显示的授权码："), this);
    pinHint->setWordWrap(true);
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(openAuthLink_);
    linkRow->addStretch();
    auto* pinRow = new QHBoxLayout;
    pinRow->addWidget(new QLabel(QStringLiteral("授权码："), this));
    pinRow->addWidget(pinTextField_, 1);
    pinRow->addWidget(oauthButton_);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(rule);
    layout->addWidget(pinHint);
    layout->addLayout(linkRow);
    layout->addLayout(pinRow);
    layout->addSpacing(8);
    layout->addLayout(bottom);
    setMinimumWidth(380);

    connect(xauthButton_, &QPushButton::clicked, this, &AuthWindowController::xauth);
    connect(usernameTextField_, &QLineEdit::returnPressed, this, &AuthWindowController::xauth);
    connect(passwordTextField_, &QLineEdit::returnPressed, this, &AuthWindowController::xauth);
    connect(openAuthLink_, &QPushButton::clicked, this, &AuthWindowController::gotoAuthWeb);
    connect(oauthButton_, &QPushButton::clicked, this, &AuthWindowController::oauth);
    connect(pinTextField_, &QLineEdit::returnPressed, this, &AuthWindowController::oauth);
    connect(cancelButton_, &QPushButton::clicked, this, &AuthWindowController::cancel);
    connect(pinTextField_, &QLineEdit::textEdited, this, [this] { controlTextDidChange(pinTextField_); });

    usernameTextField_->setFocus();
}

AuthWindowController::~AuthWindowController() = default;

int AuthWindowController::runModal()
{
    cancelled_ = false;
    usernameTextField_->setFocus();
    return exec();
}

QString AuthWindowController::filteredPin(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i < text.size() && text.at(i) == u'+')
        ++i;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            break;
        const long long next = value * 10 + (c - u'0');
        if (next > INT_MAX)
            break;
        value = next;
    }
    return value == 0 ? QString() : QString::number(value);
}

void AuthWindowController::controlTextDidChange(QLineEdit* field)
{
    if (field != pinTextField_)
        return;
    const QString filtered = filteredPin(field->text());
    if (filtered != field->text())
        field->setText(filtered);
}

void AuthWindowController::xauth()
{
    if (isExchanging())
        return;
    const std::string userName = usernameTextField_->text().toStdString();
    const std::string password = passwordTextField_->text().toStdString();
    weibo::TransferOutcome outcome;
    const bool ok = runExchange(
        [userName, password](weibo::SinaWeibo& client, weibo::TransferOutcome* result) {
            return client.acquireOAuthAccessToken(userName, password, result);
        },
        outcome);
    if (cancelled_)
        return;
    if (ok) {
        done(1);
        return;
    }
    showFailure(QStringLiteral("请重新授权"), outcome);
    usernameTextField_->clear();
    passwordTextField_->clear();
    usernameTextField_->setFocus();
}

void AuthWindowController::gotoAuthWeb()
{
    if (isExchanging())
        return;
    auto address = std::make_shared<std::string>();
    weibo::TransferOutcome outcome;
    const bool ok = runExchange(
        [address](weibo::SinaWeibo& client, weibo::TransferOutcome* result) {
            return client.acquireAuthorizeUrl(*address, result);
        },
        outcome);
    if (cancelled_)
        return;
    if (!ok) {
        // Without a request token there is no page to open: the user hears why instead of nothing happening.
        showFailure(QString(), outcome, QStringLiteral("获取授权码失败"));
        return;
    }
    url_ = QUrl(QString::fromStdString(*address));
    platform::Browser::openURL(url_);
    pinTextField_->setFocus();
}

void AuthWindowController::oauth()
{
    if (isExchanging())
        return;
    const std::string pin = pinTextField_->text().toStdString();
    weibo::TransferOutcome outcome;
    const bool ok = runExchange(
        [pin](weibo::SinaWeibo& client, weibo::TransferOutcome* result) {
            return client.acquireOAuthAccessToken(pin, result);
        },
        outcome);
    if (cancelled_)
        return;
    if (ok) {
        done(1);
        return;
    }
    showFailure(QStringLiteral("请重新获取授权码"), outcome);
    openAuthLink_->setText(QStringLiteral("重新获取授权码"));
    openAuthLink_->adjustSize();
    pinTextField_->clear();
}

void AuthWindowController::cancel()
{
    cancelled_ = true;
    // An exchange still in flight finishes on its worker; its answer is dropped.
    if (exchangeLoop_)
        exchangeLoop_->quit();
    done(0);
}

void AuthWindowController::reject()
{
    cancel();
}

bool AuthWindowController::runExchange(
    const std::function<bool(weibo::SinaWeibo&, weibo::TransferOutcome*)>& exchange, weibo::TransferOutcome& outcome)
{
    outcome = weibo::failureOf(weibo::TransferFailure::NotSent);
    boost::shared_ptr<weibo::SinaWeibo> client = weibo_ ? *weibo_ : boost::shared_ptr<weibo::SinaWeibo>();
    if (!client)
        return false;

    // The transfer may take up to the client's time-outs against a server that does not answer; the worker
    // keeps its own reference to the client, so cancelling meanwhile leaves nothing dangling.
    auto ok = std::make_shared<std::atomic<bool>>(false);
    // Written by the worker before it hands back, read here after the loop: the hand-over orders the two.
    auto result = std::make_shared<weibo::TransferOutcome>();
    QEventLoop loop;
    QPointer<QEventLoop> guard(&loop);
    exchangeLoop_ = &loop;
    setInputsEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    platform::dispatchGlobal([client, exchange, ok, result, finished, guard] {
        weibo::TransferOutcome got;
        ok->store(exchange(*client, &got));
        *result = got;
        finished->store(true);
        platform::dispatchMainAsync([guard] {
            if (guard)
                guard->quit();
        });
    });
    loop.exec();
    if (finished->load())
        outcome = *result;
    exchangeLoop_ = nullptr;
    QApplication::restoreOverrideCursor();
    setInputsEnabled(true);
    return !cancelled_ && ok->load();
}

void AuthWindowController::setInputsEnabled(bool enabled)
{
    for (QWidget* w : {static_cast<QWidget*>(usernameTextField_), static_cast<QWidget*>(passwordTextField_),
                       static_cast<QWidget*>(pinTextField_), static_cast<QWidget*>(openAuthLink_),
                       static_cast<QWidget*>(xauthButton_), static_cast<QWidget*>(oauthButton_)})
        w->setEnabled(enabled);
}

void AuthWindowController::showFailure(const QString& informativeText, const weibo::TransferOutcome& outcome,
                                       const QString& headline)
{
    logFailure(headline, outcome);
    platform::AlertRequest request;
    request.style = platform::AlertRequest::Style::Warning;
    request.messageText = headline;
    // The reason first (a wrong password reads differently from a dead network), then what to do.
    const QString reason = failureReason(outcome);
    request.informativeText = reason.isEmpty() || informativeText.isEmpty() ? reason + informativeText
                                                                            : reason + u'\n' + informativeText;
    request.buttons = QStringList{QStringLiteral("OK")};
    request.parent = this;
    platform::AlertResponder::runAlertOnMain(request);
}
