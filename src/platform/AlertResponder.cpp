#include "platform/AlertResponder.h"

#include "platform/Dispatch.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>

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

QStringList AlertResponder::openPanel(const OpenPanelRequest& request)
{
    return onMain<QStringList>([&] { return current()->runOpenPanel(request); }, {});
}

QString AlertResponder::savePanel(const SavePanelRequest& request)
{
    return onMain<QString>([&] { return current()->runSavePanel(request); }, {});
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

QStringList DialogAlertResponder::runOpenPanel(const OpenPanelRequest& request)
{
    const QString filter = request.nameFilters.join(QStringLiteral(";;"));
    if (request.allowsMultipleSelection)
        return QFileDialog::getOpenFileNames(request.parent, request.title, request.directory, filter);
    const QString file = QFileDialog::getOpenFileName(request.parent, request.title, request.directory, filter);
    return file.isEmpty() ? QStringList() : QStringList{file};
}

QString DialogAlertResponder::runSavePanel(const SavePanelRequest& request)
{
    QString start = request.directory;
    if (!request.suggestedName.isEmpty())
        start = start.isEmpty() ? request.suggestedName : start + QLatin1Char('/') + request.suggestedName;
    return QFileDialog::getSaveFileName(request.parent, request.title, start,
                                        request.nameFilters.join(QStringLiteral(";;")));
}

std::optional<QFont> DialogAlertResponder::runFontPanel(const FontPanelRequest& request)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, request.initialFont, request.parent, request.title);
    if (!ok)
        return std::nullopt;
    return font;
}

} // namespace platform
