#pragma once
// Every modal alert and panel of the program goes through the current responder. The default responder shows
// the real dialogs; a test installs one that answers by itself and records what was asked.
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace platform {

// What one alert asks. Button codes follow the first/second/third button numbering the callers test against.
struct AlertRequest {
    enum class Style { Warning, Informational, Critical };
    Style style = Style::Warning;
    QString messageText;
    QString informativeText;
    QStringList buttons; // in the order they were added; the first one answers kFirstButton
    QWidget* parent = nullptr; // the window the alert belongs to, or none for an application-modal alert
};

struct OpenPanelRequest {
    QString title;
    QString directory;
    QStringList nameFilters; // e.g. "图片 (*.png *.jpg *.gif)"
    bool allowsMultipleSelection = false;
    QWidget* parent = nullptr;
};

struct SavePanelRequest {
    QString title;
    QString directory;
    QString suggestedName;
    QStringList nameFilters;
    QWidget* parent = nullptr;
};

struct FontPanelRequest {
    QFont initialFont;
    QString title;
    QWidget* parent = nullptr;
};

class AlertResponder {
public:
    static constexpr int kFirstButton = 1000;
    static constexpr int kSecondButton = 1001;
    static constexpr int kThirdButton = 1002;

    virtual ~AlertResponder() = default;

    // Shows the alert and waits; answers kFirstButton + the index of the pressed button.
    virtual int runAlert(const AlertRequest& request) = 0;
    // The chosen files; empty when the user cancelled.
    virtual QStringList runOpenPanel(const OpenPanelRequest& request) = 0;
    // The chosen file; empty when the user cancelled.
    virtual QString runSavePanel(const SavePanelRequest& request) = 0;
    // The chosen font; none when the user cancelled.
    virtual std::optional<QFont> runFontPanel(const FontPanelRequest& request) = 0;

    // The responder every call below goes to. setCurrent(nullptr) puts the real dialogs back. The caller keeps
    // ownership of the responder it installs and must uninstall it before destroying it.
    static AlertResponder* current();
    static void setCurrent(AlertResponder* responder);

    // Confirmation: a warning-style alert with the buttons "取消" then "确定". Answers kFirstButton for "取消"
    // and kSecondButton for "确定"; callers go on only on kSecondButton.
    static int alertMessage(const QString& message, const QString& info, QWidget* parent = nullptr);
    // Warning: a warning-style alert with the single button "确定". The message is the headline, or
    // "<headline> 错误代码: <code>" when the code is not empty; the informative text is the error text.
    static void alertWarning(const QString& headline, const QString& error, const QString& errorCode,
                             QWidget* parent = nullptr);

    // The panels, through the current responder. All of these may be called from any thread: a call from a
    // worker waits for the main thread to answer (and answers cancel when the main queue has closed).
    // An open or save panel whose request names no folder starts in the last folder a panel was answered in,
    // else the pictures folder, else the home folder: always one that exists ("LastPanelFolder").
    static int runAlertOnMain(const AlertRequest& request);
    static QStringList openPanel(const OpenPanelRequest& request);
    static QString savePanel(const SavePanelRequest& request);
    static const QString kLastPanelFolder;
    static QString panelFolder();
    static std::optional<QFont> fontPanel(const FontPanelRequest& request);
};

// The real dialogs: QMessageBox, QFileDialog, QFontDialog.
class DialogAlertResponder : public AlertResponder {
public:
    int runAlert(const AlertRequest& request) override;
    QStringList runOpenPanel(const OpenPanelRequest& request) override;
    QString runSavePanel(const SavePanelRequest& request) override;
    std::optional<QFont> runFontPanel(const FontPanelRequest& request) override;
};

} // namespace platform
