#pragma once
// The program's command line: --help, --version and --set KEY=VALUE (any number of times), besides the toolkit's
// own options (-platform, -style, ...), which pass through to QApplication. It is read before QApplication exists,
// so help, version and errors need no display and never open a window.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace platform {
class UserDefaults;
}

class CommandLine {
public:
    enum class Action {
        Run,         // start the program
        ShowHelp,    // print text() on standard output, exit 0
        ShowVersion, // likewise
        Fail,        // print text() on standard error, exit kUsageError
    };
    static constexpr int kUsageError = 2;

    // The settings --set may change: the service addresses.
    static const QStringList& settableKeys();

    // Reads the arguments as the program received them (the program's name first).
    static CommandLine parse(const QStringList& arguments);

    Action action() const { return action_; }
    QString text() const { return text_; }
    // The --set pairs in the order given (trimmed values).
    const QList<QPair<QString, QString>>& settings() const { return settings_; }
    // Stores the --set values, as the preferences would.
    void storeSettings(platform::UserDefaults& defaults) const;

private:
    Action action_ = Action::Run;
    QString text_;
    QList<QPair<QString, QString>> settings_;
};
