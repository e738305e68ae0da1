#include "mainwindow/MainMenu.h"

#include "compose/ComposeWindows.h"
#include "mainwindow/Drawer.h"
#include "mainwindow/ItemCommands.h"
#include "mainwindow/ItemCopy.h"
#include "mainwindow/LeftTab.h"
#include "widgets/TabView.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QAction* addAction(QMenu* menu, const QString& text, const QKeySequence& keys = QKeySequence())
{
    QAction* action = menu->addAction(text);
    if (!keys.isEmpty())
        action->setShortcut(keys);
    return action;
}

} // namespace

MainMenu::MainMenu(QMainWindow* window, ItemCommandsHost& host, ItemCommands* commands)
    : QObject(window)
    , window_(window)
    , host_(host)
    , commands_(commands)
{
    QMenuBar* bar = window->menuBar();
    weiboMenu_ = bar->addMenu(QStringLiteral("微博(&W)"));
    viewMenu_ = bar->addMenu(QStringLiteral("查看(&V)"));
    helpMenu_ = bar->addMenu(QStringLiteral("帮助(&H)"));
    buildWeiboMenu();
    buildViewMenu();
    shortcutsAction_ = addAction(helpMenu_, QStringLiteral("键盘快捷键"), QKeySequence(Qt::Key_F1));
    connect(shortcutsAction_, &QAction::triggered, this, [this] {
        QDialog* dialog = shortcutsDialog();
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    // F10 opens the first menu, as it does in the desktop's other programs.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
    connect(f10, &QShortcut::activated, this, [bar] {
        if (!bar->actions().isEmpty())
            bar->setActiveAction(bar->actions().constFirst());
    });
    for (QMenu* menu : {weiboMenu_, viewMenu_})
        connect(menu, &QMenu::aboutToShow, this, &MainMenu::updateItemActions);
}

void MainMenu::buildWeiboMenu()
{
    postAction_ = addAction(weiboMenu_, QStringLiteral("发微博"), QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(postAction_, &QAction::triggered, this, [this] { host_.postWeibo(); });
    QAction* message = addAction(weiboMenu_, QStringLiteral("新私信..."));
    connect(message, &QAction::triggered, this, [this] {
        if (!host_.isStarting() && !host_.isShuttingDown())
            host_.composeWindows()->sendMessageTo(QString());
    });
    refreshAction_ = addAction(weiboMenu_, QStringLiteral("刷新"), QKeySequence(QKeySequence::Refresh));
    connect(refreshAction_, &QAction::triggered, this, [this] { host_.refreshWeibo(); });
    weiboMenu_->addSeparator();
    // The item's keys act only while a list has the focus (typing never runs a command): the menu shows them
    // beside the command, and the list's key handling runs them.
    for (const ItemCommands::Entry& entry : ItemCommands::table()) {
        if (entry.movesOnly)
            continue;
        QAction* action = weiboMenu_->addAction(ItemCommands::menuText(entry));
        connect(action, &QAction::triggered, this, [this, command = entry.command] { commands_->perform(command); });
        itemActions_.append({entry.command, action});
    }
    weiboMenu_->addSeparator();
    if (auto* copy = window_->findChild<ItemCopy*>())
        weiboMenu_->addAction(copy->copyAction());
}

void MainMenu::buildViewMenu()
{
    const QList<LeftTab*>& tabs = host_.leftTabs();
    for (int i = 0; i < tabs.size(); ++i) {
        QAction* action = addAction(viewMenu_, tabs.at(i)->text(), QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)));
        connect(action, &QAction::triggered, this, [this, i] { selectTabAt(i); });
        tabActions_.append(action);
    }
    QAction* next = addAction(viewMenu_, QStringLiteral("下一个标签"), QKeySequence(Qt::CTRL | Qt::Key_Tab));
    QAction* previous =
        addAction(viewMenu_, QStringLiteral("上一个标签"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab));
    connect(next, &QAction::triggered, this, [this] { selectTabAt(host_.tabView()->indexOfSelectedTabViewItem() + 1); });
    connect(previous, &QAction::triggered, this,
            [this] { selectTabAt(host_.tabView()->indexOfSelectedTabViewItem() - 1); });
    viewMenu_->addSeparator();
    for (const ItemCommands::Entry& entry : ItemCommands::table()) {
        if (!entry.movesOnly)
            continue;
        QAction* action = viewMenu_->addAction(ItemCommands::menuText(entry));
        connect(action, &QAction::triggered, this, [this, command = entry.command] { commands_->perform(command); });
    }
    viewMenu_->addSeparator();
    QAction* close = viewMenu_->addAction(QStringLiteral("关闭侧栏\t") +
                                          QKeySequence(Qt::Key_Escape).toString(QKeySequence::NativeText));
    connect(close, &QAction::triggered, this, [this] {
        if (host_.activeDataCell())
            host_.drawer()->closeDrawerFromKeyboard();
    });
}

void MainMenu::selectTabAt(int index)
{
    const QList<LeftTab*>& tabs = host_.leftTabs();
    if (tabs.isEmpty())
        return;
    host_.leftTabClicked(tabs.at((index % tabs.size() + tabs.size()) % tabs.size()));
}

void MainMenu::updateItemActions()
{
    const bool running = !host_.isStarting() && !host_.isShuttingDown();
    for (QAction* action : weiboMenu_->actions() + viewMenu_->actions())
        if (!action->isSeparator())
            action->setEnabled(running);
    PXListViewController* list = commands_->currentList();
    const CellPtr cell = ItemCommands::currentItem(list);
    for (const auto& [command, action] : itemActions_) {
        const auto c = ItemCommands::Command(command);
        action->setEnabled(running && commands_->canPerform(c, list, cell));
        const QString keys = action->text().section(QLatin1Char('\t'), 1);
        action->setText(ItemCommands::nameOf(c, cell) + QLatin1Char('\t') + keys);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// The list of keys

QList<QPair<QString, QString>> MainMenu::shortcutRows() const
{
    QList<QPair<QString, QString>> rows;
    for (QAction* menuAction : window_->menuBar()->actions()) {
        QMenu* menu = menuAction->menu();
        if (!menu)
            continue;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || action->menu())
                continue;
            QString label = action->text().section(QLatin1Char('\t'), 0, 0);
            label.remove(QLatin1Char('&'));
            QString keys = action->text().section(QLatin1Char('\t'), 1);
            if (keys.isEmpty())
                keys = QKeySequence::listToString(action->shortcuts(), QKeySequence::NativeText)
                           .replace(QStringLiteral("; "), QStringLiteral(", "));
            if (!keys.isEmpty())
                rows.append({label, keys});
        }
    }
    const QString esc = QKeySequence(Qt::Key_Escape).toString(QKeySequence::NativeText);
    rows.append({QStringLiteral("翻页"), QKeySequence(Qt::Key_PageUp).toString(QKeySequence::NativeText) +
                                           QStringLiteral(", ") +
                                           QKeySequence(Qt::Key_PageDown).toString(QKeySequence::NativeText)});
    rows.append({QStringLiteral("关闭图片、视频、发微博和私信窗口"), esc});
    rows.append({QStringLiteral("在窗口中移动焦点"), QStringLiteral("Tab, Shift+Tab")});
    rows.append({QStringLiteral("打开菜单"), QStringLiteral("F10, Alt")});
    return rows;
}

QDialog* MainMenu::shortcutsDialog()
{
    if (shortcutsDialog_)
        return shortcutsDialog_;
    auto* dialog = new QDialog(window_);
    dialog->setWindowTitle(QStringLiteral("键盘快捷键"));
    auto* layout = new QVBoxLayout(dialog);
    const auto rows = shortcutRows();
    auto* table = new QTableWidget(int(rows.size()), 2, dialog);
    table->setAccessibleName(QStringLiteral("键盘快捷键"));
    table->setHorizontalHeaderLabels({QStringLiteral("命令"), QStringLiteral("按键")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int i = 0; i < rows.size(); ++i) {
        table->setItem(i, 0, new QTableWidgetItem(rows.at(i).first));
        table->setItem(i, 1, new QTableWidgetItem(rows.at(i).second));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog->resize(420, 560);
    shortcutsDialog_ = dialog;
    return dialog;
}
