#pragma once
// The main window's menu bar in Chinese: "微博" (writing, refreshing and the commands on the current item),
// "查看" (the tabs and moving through a list) and "帮助" (the list of keys). Every command shows its keys; F10 and
// Alt reach the bar. The application's own menu ("Plumet") is put in front of these by the application.
#include <QList>
#include <QObject>
#include <QPointer>

class ItemCommands;
class ItemCommandsHost;
class QAction;
class QDialog;
class QMainWindow;
class QMenu;

class MainMenu : public QObject {
    Q_OBJECT
public:
    MainMenu(QMainWindow* window, ItemCommandsHost& host, ItemCommands* commands);

    QMenu* weiboMenu() const { return weiboMenu_; }
    QMenu* viewMenu() const { return viewMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }
    QAction* postAction() const { return postAction_; }
    QAction* refreshAction() const { return refreshAction_; }
    // Ctrl+1 … Ctrl+5, in the order of the left tabs.
    const QList<QAction*>& tabActions() const { return tabActions_; }
    QAction* shortcutsAction() const { return shortcutsAction_; }

    // The "键盘快捷键" window: every command of the menu bar with its keys (made on first use).
    QDialog* shortcutsDialog();
    // The rows that window lists: a command's name and its keys.
    QList<QPair<QString, QString>> shortcutRows() const;

private:
    void buildWeiboMenu();
    void buildViewMenu();
    // The item commands are greyed out where they mean nothing for the current item.
    void updateItemActions();
    void selectTabAt(int index);

    QMainWindow* window_;
    ItemCommandsHost& host_;
    ItemCommands* commands_;
    QMenu* weiboMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* postAction_ = nullptr;
    QAction* refreshAction_ = nullptr;
    QAction* shortcutsAction_ = nullptr;
    QList<QAction*> tabActions_;
    QList<QPair<int, QAction*>> itemActions_; // command, action
    QPointer<QDialog> shortcutsDialog_;
};
