#pragma once
// The preferences window: the body font, which news count on the badge and are announced, the service
// addresses, and deleting the stored accounts.
#include <QHash>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class PrefsWindowController : public QWidget {
    Q_OBJECT
public:
    // The switches and their keys in the settings.
    static const QString kUseGrowl;   // "UseGrowl": announce news as desktop notifications
    static const QString kNewStatus;  // "NewStatus"
    static const QString kNewComment; // "NewComment"
    static const QString kNewAtme;    // "NewAtme"
    static const QString kNewMessage; // "NewMessage"

    explicit PrefsWindowController(const QString& windowNibName, QWidget* parent = nullptr);

    // An address the client can use as a service address: http or https, a host, no query, no fragment.
    static bool isServiceAddress(const QString& text);

    // Centres the window on its screen and brings it to the front, showing the settings as they are now.
    void showWindow();
    // Reads every control's value from the settings again.
    void loadSettings();

    QCheckBox* checkBoxForKey(const QString& key) const { return switches_.value(key); }
    QLineEdit* addressFieldForKey(const QString& key) const { return addressFields_.value(key); }
    QLabel* fontLabel() const { return fontLabel_; }
    QPushButton* fontButton() const { return fontButton_; }
    QPushButton* deleteAccountButton() const { return deleteAccountButton_; }
    // Says where the signed-in account's access tokens are kept.
    QLabel* tokenLocationLabel() const { return tokenLocationLabel_; }
    // Plumet's own proxy, and which proxy the transfers take now.
    QLineEdit* proxyHostField() const { return proxyHostField_; }
    QLineEdit* proxyPortField() const { return proxyPortField_; }
    QLabel* proxyStatusLabel() const { return proxyStatusLabel_; }
    // Shown while the keyring is declined: asks for it again.
    QPushButton* useKeyringButton() const { return useKeyringButton_; }

    using QWidget::setFont;

public slots:
    // Opens the font dialog with the current body font; a chosen font goes to the delegate's changeFont.
    void setFont();
    // Asks, as a sheet of this window, whether to delete the stored accounts.
    void deleteAccount();
    void alertDidEnd(int returnCode);
    // Shows the body font in use (after a font change).
    void updateFontLabel();
    void updateTokenLocation();
    void updateProxyStatus();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void commitAddress(const QString& key);
    void commitProxy(QLineEdit* field);

    QHash<QString, QCheckBox*> switches_;
    QHash<QString, QLineEdit*> addressFields_;
    QLabel* fontLabel_ = nullptr;
    QPushButton* fontButton_ = nullptr;
    QPushButton* deleteAccountButton_ = nullptr;
    QLabel* tokenLocationLabel_ = nullptr;
    QLineEdit* proxyHostField_ = nullptr;
    QLineEdit* proxyPortField_ = nullptr;
    QLabel* proxyStatusLabel_ = nullptr;
    QPushButton* useKeyringButton_ = nullptr;
};
