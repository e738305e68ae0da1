#pragma once
// The authorisation window: obtains an access token for the shared client, either by user name and password
// (xAuth) or by the PIN the service's authorisation page shows. Runs application-modal; ends with 1 when the
// client's signer holds an access token and with 0 when the user gave up.
#include "service/WeiboAPI.h"

#include <QDialog>
#include <QUrl>

#include <boost/shared_ptr.hpp>

#include <functional>

class QEventLoop;
class QLineEdit;
class QPushButton;

class AuthWindowController : public QDialog {
    Q_OBJECT
public:
    // weiboInstance: the delegate's shared client pointer (read at each exchange).
    AuthWindowController(const QString& windowNibName, boost::shared_ptr<weibo::SinaWeibo>* weiboInstance,
                         QWidget* parent = nullptr);
    ~AuthWindowController() override;

    // Shows the window application-modal and waits: 1 when authorised, 0 when cancelled.
    int runModal();

    QLineEdit* usernameTextField() const { return usernameTextField_; }
    QLineEdit* passwordTextField() const { return passwordTextField_; }
    QLineEdit* pinTextField() const { return pinTextField_; }
    QPushButton* openAuthLink() const { return openAuthLink_; }
    QPushButton* xauthButton() const { return xauthButton_; }
    QPushButton* oauthButton() const { return oauthButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QUrl url() const { return url_; }
    void setUrl(const QUrl& url) { url_ = url; }

    // True while an exchange with the service runs (the inputs are disabled meanwhile).
    bool isExchanging() const { return exchangeLoop_ != nullptr; }

    // The PIN field's rule: the leading decimal digits as a positive int, without leading zeros; empty when
    // there are none or they are 0. Digits that would not fit an int are dropped.
    static QString filteredPin(const QString& text);

public slots:
    void xauth();
    void gotoAuthWeb();
    void oauth();
    void cancel();
    void controlTextDidChange(QLineEdit* field);

    void reject() override;

private:
    // Runs one exchange off the main thread while the window stays drawn and Cancel stays live; false when the
    // exchange failed or the window was cancelled meanwhile (then cancelled() is true).
    // Runs one token exchange away from the window; true on success, else `outcome` says why (unless cancelled).
    bool runExchange(const std::function<bool(weibo::SinaWeibo&, weibo::TransferOutcome*)>& exchange,
                     weibo::TransferOutcome& outcome);
    void setInputsEnabled(bool enabled);
    // "授权失败" (or `headline`) over the reason of the failure and what to do next.
    void showFailure(const QString& informativeText, const weibo::TransferOutcome& outcome,
                     const QString& headline = QStringLiteral("授权失败"));

    boost::shared_ptr<weibo::SinaWeibo>* weibo_;
    QLineEdit* usernameTextField_ = nullptr;
    QLineEdit* passwordTextField_ = nullptr;
    QLineEdit* pinTextField_ = nullptr;
    QPushButton* openAuthLink_ = nullptr;
    QPushButton* xauthButton_ = nullptr;
    QPushButton* oauthButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QUrl url_;
    QEventLoop* exchangeLoop_ = nullptr;
    bool cancelled_ = false;
};
