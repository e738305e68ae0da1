#include "platform/AlertResponder.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include <atomic>

namespace platform {
namespace {

DialogAlertResponder& dialogResponder()
{
    static DialogAlertResponder responder;
    return responder;
}

std::atomic<AlertResponder*> installed{nullptr};

const QString kCancel = QStringLiteral("取消");
const QString kFontSample = QStringLiteral("微博字体示例 123");
const QString kOK = QStringLiteral("确定");

// Runs fn on the main thread (inline there) and gives its answer, or fallback when the main queue has closed.
template <typename T, typename Fn>
T onMain(Fn fn, T fallback)
{
    T answer = fallback;
    dispatchMainSync([&] { answer = fn(); });
    return answer;
}

} // namespace

AlertResponder* AlertResponder::current()
{
    AlertResponder* r = installed.load();
    return r ? r : &dialogResponder();
}

void AlertResponder::setCurrent(AlertResponder* responder)
{
    installed.store(responder);
}

int AlertResponder::runAlertOnMain(const AlertRequest& request)
{
    // Answering the first button when the alert cannot be shown keeps a confirmation from going ahead.
    return onMain<int>([&] { return current()->runAlert(request); }, kFirstButton);
}

int AlertResponder::alertMessage(const QString& message, const QString& info, QWidget* parent)
{
    AlertRequest request;
    request.style = AlertRequest::Style::Warning;
    request.messageText = message;
    request.informativeText = info;
    request.buttons = {kCancel, kOK};
    request.parent = parent;
    return runAlertOnMain(request);
}

void AlertResponder::alertWarning(const QString& headline, const QString& error, const QString& errorCode,
                                  QWidget* parent)
{
    AlertRequest request;
    request.style = AlertRequest::Style::Warning;
    request.messageText = errorCode.isEmpty() ? headline
                                              : QStringLiteral("%1 错误代码: %2").arg(headline, errorCode);
    request.informativeText = error;
    request.buttons = {kOK};
    request.parent = parent;
    runAlertOnMain(request);
}

const QString AlertResponder::kLastPanelFolder = QStringLiteral("LastPanelFolder");

QString AlertResponder::panelFolder()
{
    // A folder that is not there would make the dialog put its name into the file-name box, or open wherever
    // the program was started from.
    const QString last = UserDefaults::standard().stringForKey(kLastPanelFolder);
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

namespace {

void rememberPanelFolder(const QString& chosenFile)
{
    if (chosenFile.isEmpty())
        return;
    UserDefaults::standard().setObject(QFileInfo(chosenFile).absolutePath(), AlertResponder::kLastPanelFolder);
}

} // namespace

QStringList AlertResponder::openPanel(const OpenPanelRequest& request)
{
    OpenPanelRequest r = request;
    if (r.directory.isEmpty())
        r.directory = panelFolder();
    const QStringList files = onMain<QStringList>([&] { return current()->runOpenPanel(r); }, {});
    if (!files.isEmpty())
        rememberPanelFolder(files.front());
    return files;
}

QString AlertResponder::savePanel(const SavePanelRequest& request)
{
    SavePanelRequest r = request;
    if (r.directory.isEmpty())
        r.directory = panelFolder();
    const QString file = onMain<QString>([&] { return current()->runSavePanel(r); }, {});
    rememberPanelFolder(file);
    return file;
}

std::optional<QFont> AlertResponder::fontPanel(const FontPanelRequest& request)
{
    return onMain<std::optional<QFont>>([&] { return current()->runFontPanel(request); }, std::nullopt);
}

int DialogAlertResponder::runAlert(const AlertRequest& request)
{
    QMessageBox box(request.parent);
    switch (request.style) {
    case AlertRequest::Style::Warning: box.setIcon(QMessageBox::Warning); break;
    case AlertRequest::Style::Informational: box.setIcon(QMessageBox::Information); break;
    case AlertRequest::Style::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    box.setWindowTitle(QStringLiteral("Plumet"));
    box.setText(request.messageText);
    box.setInformativeText(request.informativeText);
    box.setTextFormat(Qt::PlainText); // service error texts are shown as they came, never as markup
    if (request.parent)
        box.setWindowModality(Qt::WindowModal);

    const QStringList titles = request.buttons.isEmpty() ? QStringList{kOK} : request.buttons;
    QList<QAbstractButton*> buttons;
    for (const QString& title : titles) {
        const auto role = title == kCancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
        buttons.append(box.addButton(title, role));
    }
    // As on the desktop the alerts come from, the first button is the default one; Escape means "取消".
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    for (QAbstractButton* b : buttons)
        if (b->text() == kCancel)
            box.setEscapeButton(b);
    if (buttons.size() == 1)
        box.setEscapeButton(buttons.first());

    box.exec();
    const int index = buttons.indexOf(box.clickedButton());
    return kFirstButton + (index < 0 ? 0 : index);
}

// The toolkit's own dialogs rather than the desktop's: those speak the system's language, these the program's.
QStringList DialogAlertResponder::runOpenPanel(const OpenPanelRequest& request)
{
    QFileDialog dialog(request.parent, request.title, request.directory, request.nameFilters.join(QStringLiteral(";;")));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Names only: the detail columns (kind, date) come from the file model in the system's language.
    dialog.setViewMode(QFileDialog::List);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString DialogAlertResponder::runSavePanel(const SavePanelRequest& request)
{
    QFileDialog dialog(request.parent, request.title, request.directory, request.nameFilters.join(QStringLiteral(";;")));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setViewMode(QFileDialog::List);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.suggestedName.isEmpty())
        dialog.selectFile(request.suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

std::optional<QFont> DialogAlertResponder::runFontPanel(const FontPanelRequest& request)
{
    QFontDialog dialog(request.initialFont, request.parent);
    dialog.setWindowTitle(request.title);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // The sample line is the dialog's own Latin text, which no translation changes.
    for (QLineEdit* sample : dialog.findChildren<QLineEdit*>())
        if (sample->text() == QLatin1String("AaBbYyZz"))
            sample->setText(kFontSample);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedFont();
}

} // namespace platform
