#include "mainwindow/WindowChrome.h"

#include "mainwindow/BusyLine.h"
#include "mainwindow/LeftTab.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"
#include "widgets/TopTabContainer.h"
#include "timeline/AvatarButton.h"

#include <QHBoxLayout>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

// The tall title area above the lists (the window manager still draws the window's own title bar).
class TitleBarView : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(232, 232, 232));
        gradient.setColorAt(1, QColor(208, 208, 208));
        painter.fillRect(rect(), gradient);
        painter.fillRect(QRect(0, height() - 1, width(), 1), QColor(160, 160, 160));
    }
};

// The column of left tabs.
class LeftColumn : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(226, 228, 232));
        painter.fillRect(QRect(width() - 1, 0, 1, height()), QColor(190, 190, 190));
    }
};

QPushButton* commandButton(const QString& text, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    return button;
}

} // namespace

void WindowChrome::build(QMainWindow* window)
{
    window->setWindowTitle(QStringLiteral("Plumet"));
    window->setMinimumSize(420, 420);
    window->resize(540, 760);

    content = new QWidget(window);
    content->setAutoFillBackground(true);
    window->setCentralWidget(content);
    auto* root = new QVBoxLayout(content);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(buildTitleBar(content));

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    root->addLayout(body, 1);
    body->addWidget(buildLeftColumn(content));
    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    body->addLayout(right, 1);
    right->addWidget(buildTopTabs(content));
    tabView = new TabView(content);
    tabView->setObjectName(QStringLiteral("tabView"));
    right->addWidget(tabView, 1);

    // The busy line floats over the bottom of the lists, right of the left tabs.
    busyLine = new BusyLine(content);
}

QWidget* WindowChrome::buildTitleBar(QWidget* parent)
{
    auto* titleBar = new TitleBarView(parent);
    titleBar->setObjectName(QStringLiteral("customViewTitleBarContainer"));
    titleBar->setFixedHeight(kTitleBarHeight);
    auto* layout = new QHBoxLayout(titleBar);
    layout->setContentsMargins(17, 3, 10, 3);
    layout->setSpacing(8);
    selfButton = new AvatarButton(titleBar);
    selfButton->setObjectName(QStringLiteral("selfButton"));
    selfButton->setFixedSize(30, 30);
    selfButton->setName(QString());
    selfButton->setToolTip(QStringLiteral("我的微博"));
    selfButton->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(selfButton);
    layout->addStretch(1);
    refreshButton = commandButton(QStringLiteral("刷新"), QStringLiteral("refreshButton"), titleBar);
    postButton = commandButton(QStringLiteral("发微博"), QStringLiteral("postButton"), titleBar);
    refreshButton->setShortcut(QKeySequence::Refresh);
    layout->addWidget(refreshButton);
    layout->addWidget(postButton);
    return titleBar;
}

QWidget* WindowChrome::buildLeftColumn(QWidget* parent)
{
    auto* column = new LeftColumn(parent);
    column->setFixedWidth(kLeftColumnWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 6, 0, 6);
    layout->setSpacing(2);
    const std::pair<const char*, const char*> tabs[] = {{"状态", "timelineHome"},
                                                        {"评论", "timelineComment"},
                                                        {"提及", "timelineMention"},
                                                        {"私信", "directMessage"},
                                                        {"收藏", "favorites"}};
    for (const auto& [label, name] : tabs) {
        auto* tab = new LeftTab(leftTabs.size(), QString::fromUtf8(label), column);
        tab->setObjectName(QString::fromLatin1(name));
        leftTabs.append(tab);
        layout->addWidget(tab);
    }
    layout->addStretch(1);
    return column;
}

QWidget* WindowChrome::buildTopTabs(QWidget* parent)
{
    auto* container = new TopTabContainer(parent);
    container->setObjectName(QStringLiteral("topTabContainer"));
    container->setFixedHeight(kTopTabsHeight);
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(8, 3, 8, 4);
    layout->setSpacing(6);
    const std::pair<const char*, const char*> popUps[] = {
        {"status", "subHome"}, {"comment", "subComment"}, {"mention", "subMention"}};
    for (const auto& [menuTitle, name] : popUps) {
        auto* popUp = new PopUpButton(topTabs.size(), QString::fromLatin1(menuTitle), container);
        popUp->setObjectName(QString::fromLatin1(name));
        popUp->setVisible(topTabs.isEmpty());
        topTabs.append(popUp);
        layout->addWidget(popUp);
    }
    layout->addStretch(1);
    listsButton = new PopUpButton(0, QStringLiteral("lists"), container);
    listsButton->setObjectName(QStringLiteral("listsButton"));
    listsButton->addItemWithTitle(QStringLiteral("所有"), QVariant::fromValue<qulonglong>(0));
    listsButton->setToolTip(QStringLiteral("分组"));
    layout->addWidget(listsButton);
    // The conversations' own way to start one: a message to anyone, by name.
    newMessageButton = commandButton(QStringLiteral("新私信"), QStringLiteral("newMessageButton"), container);
    newMessageButton->hide();
    layout->addWidget(newMessageButton);
    return container;
}

void WindowChrome::setCommandsEnabled(bool enabled)
{
    for (QWidget* command : {static_cast<QWidget*>(selfButton), static_cast<QWidget*>(refreshButton),
                             static_cast<QWidget*>(postButton), static_cast<QWidget*>(listsButton),
                             static_cast<QWidget*>(newMessageButton)})
        command->setEnabled(enabled);
    for (PopUpButton* popUp : topTabs)
        popUp->setEnabled(enabled);
    for (LeftTab* tab : leftTabs)
        tab->setEnabled(enabled);
}

void WindowChrome::placeBusyLine()
{
    // At the bottom of the content (Qt's y axis grows downwards), as wide as the lists.
    busyLine->place(kLeftColumnWidth, tabView->width(), kBusyLineHeight);
}
