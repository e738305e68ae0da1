#include "PlatformTestApp.h"

#include "platform/AlertResponder.h"
#include "platform/ToolkitTexts.h"
#include "platform/UnreadBadge.h"
#include "platform/UserDefaults.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace platform;

namespace {

struct Seen {
    QString text;
    QString informative;
    QStringList buttons;
    QString defaultButton;
};

// Waits for the alert to come up, notes what it shows and presses the button titled `press` (or Escape).
void answerNextAlert(const QString& press, Seen& seen)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, press, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        seen.text = box->text();
        seen.informative = box->informativeText();
        for (QAbstractButton* b : box->buttons())
            seen.buttons.append(b->text());
        seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == press) {
                b->click();
                return;
            }
        box->reject(); // Escape
    });
    poll->start(10);
}

} // namespace

// The real dialogs for the test's scope, whatever responder the test program installed to answer alerts.
class RealDialogs {
public:
    RealDialogs() : previous_(platform::AlertResponder::current()) { platform::AlertResponder::setCurrent(nullptr); }
    ~RealDialogs() { platform::AlertResponder::setCurrent(previous_); }

private:
    platform::AlertResponder* previous_;
};

TEST(DialogAlertResponder, ShowsTheAlertTextsAndAnswersThePressedButton)
{
    RealDialogs real;
    Seen warning;
    answerNextAlert(QStringLiteral("确定"), warning);
    AlertResponder::alertWarning(QStringLiteral("发布新微博失败！"), QStringLiteral("<b>error</b>"), QStringLiteral("400"));
    EXPECT_EQ(warning.text, QStringLiteral("发布新微博失败！ 错误代码: 400"));
    EXPECT_EQ(warning.informative, QStringLiteral("<b>error</b>"));
    EXPECT_EQ(warning.buttons, QStringList{QStringLiteral("确定")});

    Seen confirm;
    answerNextAlert(QStringLiteral("确定"), confirm);
    EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("您确定要删除当前账号吗？"), QStringLiteral("info")), 1001);
    EXPECT_EQ(confirm.buttons.size(), 2);
    EXPECT_TRUE(confirm.buttons.contains(QStringLiteral("取消")));
    EXPECT_EQ(confirm.defaultButton, QStringLiteral("取消")); // Return must not confirm a deletion by accident

    Seen cancelled;
    answerNextAlert(QStringLiteral("取消"), cancelled);
    EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("m"), QStringLiteral("i")), 1000);
    Seen escaped;
    answerNextAlert(QString(), escaped); // Escape means cancel
    EXPECT_EQ(AlertResponder::alertMessage(QStringLiteral("m"), QStringLiteral("i")), 1000);
}

TEST(UnreadBadgeImage, NumberIsDrawnAtTheTopRightAndNoTrayWithoutADesktop)
{
    const QImage base = UnreadBadge::applicationImage();
    ASSERT_FALSE(base.isNull());
    EXPECT_EQ(UnreadBadge::badgedImage(base, QString()), base.convertToFormat(QImage::Format_ARGB32_Premultiplied));

    const QImage badged = UnreadBadge::badgedImage(base, QStringLiteral("12"));
    ASSERT_EQ(badged.size(), base.size());
    const int w = base.width();
    const int h = base.height();
    int redTopRight = 0;
    for (int y = 0; y < h / 3; ++y)
        for (int x = w * 2 / 3; x < w; ++x) {
            const QColor c = badged.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                ++redTopRight;
        }
    EXPECT_GT(redTopRight, w * h / 100);
    // The rest of the icon is untouched.
    EXPECT_EQ(badged.pixel(w / 4, h * 3 / 4), base.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(w / 4, h * 3 / 4));

    // Offscreen there is no tray: asking for one changes nothing and the count still works.
    UnreadBadge badge(QDBusConnection(QStringLiteral("no-bus")));
    badge.setTrayIconEnabled(true);
    EXPECT_FALSE(badge.hasTrayIcon());
    badge.setUnreadCount(5);
    EXPECT_EQ(badge.badgeLabel(), QStringLiteral("5"));
    EXPECT_EQ(badge.launcherProperties().value(QStringLiteral("count")).toLongLong(), 5);
}

namespace {

// Every text a dialog shows: its labels, buttons, field contents and check boxes.
QStringList textsOf(QWidget* dialog)
{
    QStringList texts;
    for (QLabel* l : dialog->findChildren<QLabel*>())
        texts << l->text();
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
        texts << b->text();
    for (QLineEdit* e : dialog->findChildren<QLineEdit*>())
        texts << e->text() << e->placeholderText();
    for (QGroupBox* g : dialog->findChildren<QGroupBox*>())
        texts << g->title();
    texts.removeAll(QString());
    return texts;
}

// Waits for the next modal dialog of type T, notes it with `look` and closes it.
template <typename T>
void closeNextDialog(std::function<void(T*)> look)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, look] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        look(dialog);
        dialog->reject();
    });
    poll->start(10);
}

bool hasHan(const QStringList& texts)
{
    for (const QString& t : texts)
        for (const QChar c : t)
            if (c.script() == QChar::Script_Han)
                return true;
    return false;
}

} // namespace

// Whatever the system's language (C.UTF-8 on the test machines), the toolkit speaks Chinese.
TEST(ToolkitTexts, DialogsButtonsAndTextMenusAreChineseAndPanelsOpenInAFolderThatExists)
{
    RealDialogs real;
    ASSERT_TRUE(installChineseToolkitTexts());
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList entries;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            entries << a->text();
    EXPECT_TRUE(hasHan(entries)) << entries.join(u'|').toStdString();
    for (const char* english : {"&Undo", "Cu&t", "&Paste", "Select All"})
        EXPECT_FALSE(entries.contains(QLatin1String(english))) << english;

    // A fresh home of the test's own, without a pictures folder: the panel opens at home with an empty file
    // name box.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray realHome = qgetenv("HOME");
    const QByteArray realConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    ASSERT_TRUE(pictures.startsWith(home.path())) << pictures.toStdString();
    ASSERT_FALSE(QFileInfo::exists(pictures));
    UserDefaults::standard().removeObjectForKey(AlertResponder::kLastPanelFolder);
    EXPECT_EQ(AlertResponder::panelFolder(), QDir::homePath());
    QStringList openTexts;
    QString openFolder;
    closeNextDialog<QFileDialog>([&](QFileDialog* d) {
        openTexts = textsOf(d);
        openFolder = d->directory().absolutePath();
    });
    OpenPanelRequest open;
    open.title = QStringLiteral("选择图片");
    EXPECT_TRUE(AlertResponder::openPanel(open).isEmpty());
    EXPECT_EQ(openFolder, QDir::homePath());
    EXPECT_TRUE(hasHan(openTexts));
    for (const char* english : {"Look in:", "File &name:", "&Open", "Cancel", "Pictures"})
        EXPECT_FALSE(openTexts.contains(QLatin1String(english))) << english << ": " << openTexts.join(u'|').toStdString();

    QStringList fontTexts;
    closeNextDialog<QFontDialog>([&](QFontDialog* d) { fontTexts = textsOf(d); });
    FontPanelRequest font;
    EXPECT_FALSE(AlertResponder::fontPanel(font).has_value());
    for (const char* english : {"&Font style", "AaBbYyZz", "Sample", "Effects", "&Size", "Cancel"})
        EXPECT_FALSE(fontTexts.contains(QLatin1String(english))) << english << ": " << fontTexts.join(u'|').toStdString();

    // The folder of an answered panel is where the next one starts.
    ASSERT_TRUE(QDir().mkpath(pictures));
    EXPECT_EQ(AlertResponder::panelFolder(), pictures);
    QString saveFolder;
    QString saveName;
    closeNextDialog<QFileDialog>([&](QFileDialog* d) {
        saveFolder = d->directory().absolutePath();
        if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            saveName = name->text();
    });
    SavePanelRequest save;
    save.suggestedName = QStringLiteral("photo");
    EXPECT_TRUE(AlertResponder::savePanel(save).isEmpty());
    EXPECT_EQ(saveFolder, pictures);
    EXPECT_EQ(saveName, QStringLiteral("photo"));
    const QString elsewhere = QDir::home().filePath(QStringLiteral("saved-here"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    UserDefaults::standard().setObject(elsewhere, AlertResponder::kLastPanelFolder);
    EXPECT_EQ(AlertResponder::panelFolder(), elsewhere);
    qputenv("HOME", realHome);
    qputenv("XDG_CONFIG_HOME", realConfig);
}
