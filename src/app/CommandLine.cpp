#include "app/CommandLine.h"

#include "app/PrefsWindowController.h"
#include "platform/UserDefaults.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// QGuiApplication's and QApplication's own options: accepted here and left for QApplication to act on.
const QStringList& toolkitValueOptions()
{
    static const QStringList names{
        QStringLiteral("platform"),   QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),     QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("geometry"),         QStringLiteral("title"),
        QStringLiteral("display"),    QStringLiteral("name"),               QStringLiteral("style"),
        QStringLiteral("stylesheet"), QStringLiteral("session"),            QStringLiteral("qmljsdebugger"),
    };
    return names;
}

const QStringList& toolkitFlagOptions()
{
    static const QStringList names{QStringLiteral("reverse"), QStringLiteral("widgetcount"), QStringLiteral("nograb"),
                                   QStringLiteral("dograb"), QStringLiteral("sync")};
    return names;
}

QString versionText()
{
    return QStringLiteral("Plumet %1\n").arg(QStringLiteral(PLUMET_VERSION));
}

} // namespace

const QStringList& CommandLine::settableKeys()
{
    static const QStringList keys{QStringLiteral("WeiboHost"), QStringLiteral("Weibo2Host"), QStringLiteral("WebHost"),
                                  QStringLiteral("StaticImageHost"), QStringLiteral("FeedbackURL")};
    return keys;
}

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    // "-platform offscreen" is one option, as QApplication reads it, not the letters p, l, a, ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Plumet, a desktop client of a microblogging service."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    const QCommandLineOption set(QStringLiteral("set"),
                                 QStringLiteral("Stores a setting before start-up, as the preferences would. KEY is "
                                                "one of %1; VALUE is an http:// or https:// address. May be given "
                                                "more than once.")
                                     .arg(settableKeys().join(QStringLiteral(", "))),
                                 QStringLiteral("KEY=VALUE"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(set);
    for (const QString& name : toolkitValueOptions()) {
        QCommandLineOption option(name, QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const QString& name : toolkitFlagOptions()) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const auto fail = [&result](const QString& message) {
        result.action_ = Action::Fail;
        result.text_ = QStringLiteral("plumet: %1\nTry 'plumet --help' for more information.\n").arg(message);
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        result.action_ = Action::ShowHelp;
        // Without an application object the parser does not know the program's name.
        const QString program = arguments.isEmpty() ? QStringLiteral("plumet") : QFileInfo(arguments.first()).fileName();
        result.text_ = parser.helpText().replace(QStringLiteral("<executable_name>"), program);
        return result;
    }
    if (parser.isSet(version)) {
        result.action_ = Action::ShowVersion;
        result.text_ = versionText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));
    for (const QString& pair : parser.values(set)) {
        const qsizetype eq = pair.indexOf(u'=');
        const QString key = pair.left(eq).trimmed();
        if (eq <= 0 || !settableKeys().contains(key))
            return fail(QStringLiteral("--set takes KEY=VALUE with KEY one of %1, not '%2'.")
                            .arg(settableKeys().join(QStringLiteral(", ")), pair));
        const QString value = pair.mid(eq + 1).trimmed();
        if (!PrefsWindowController::isServiceAddress(value))
            return fail(QStringLiteral("--set %1: '%2' is not an http:// or https:// address.").arg(key, value));
        result.settings_.append({key, value});
    }
    return result;
}

void CommandLine::storeSettings(platform::UserDefaults& defaults) const
{
    if (settings_.isEmpty())
        return;
    for (const auto& [key, value] : settings_)
        defaults.setObject(value, key);
    defaults.synchronize();
}
