// The main window: its widgets, the tab model, tab switching, badges and the busy line.
#include "mainwindow/MyWindowController.h"
#include "mainwindow/ItemCommands.h"
#include "mainwindow/ItemCopy.h"
#include "mainwindow/MainMenu.h"

#include "compose/ComposeWindows.h"

#include "mainwindow/Drawer.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/Poller.h"
#include "mainwindow/PopUpButton.h"
#include "mainwindow/ProgressIndicator.h"
#include "mainwindow/TabView.h"
#include "mainwindow/TopTabContainer.h"
#include "platform/Dispatch.h"
#include "platform/UnreadBadge.h"
#include "platform/UserDefaults.h"
#include "timeline/AvatarButton.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"

#include <QCoreApplication>
#include <algorithm>
#include <QPointer>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace {

// The tab model: first-layer identifiers and labels, each with its second-layer items.
struct SecondLayer {
    const std::string& identifier;
    const char* label;
};
struct FirstLayer {
    const char* identifier;
    const char* label;
    std::vector<SecondLayer> items;
};

const std::vector<FirstLayer>& tabModel()
{
    static const std::vector<FirstLayer> model = {
        {"status", "状态",
         {{weibo::WEIBO_API_TIMELINE_FRIENDS, "我的好友"},
          {weibo::WEIBO_API_TIMELINE_USER, "我的微博"},
          {weibo::WEIBO_API_LISTS, "分组"}}},
        {"comment", "评论",
         {{weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME, "收到的评论"},
          {weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME, "发出的评论"}}},
        {"mention", "提及", {{weibo::WEIBO_API_TIMELINE_MENTIONS, "提及我的"}}},
        {"message", "私信", {{weibo::WEIBO_API_MESSAGE, "私信"}}},
        {"favorites", "收藏", {{weibo::WEIBO_API_FAVORITES, "收藏"}}},
    };
    return model;
}

bool isKind(const PXListViewController* c, const std::string& kind)
{
    return c && c->identifier().toStdString() == kind;
}

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
class LeftColumn : public LeftTabColumn {
public:
    using LeftTabColumn::LeftTabColumn;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), LeftTab::columnColor());
        painter.fillRect(QRect(width() - 1, 0, 1, height()), QColor(190, 190, 190));
    }
};

// The busy line: a translucent strip over the bottom of the lists.
class HintView : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(242, 242, 242, 235));
        painter.fillRect(QRect(0, 0, width(), 1), QColor(200, 200, 200));
    }
};

} // namespace

const QString MyWindowController::kLatestStatusId = QStringLiteral("LatestStatusId");
const QString MyWindowController::kLastSelfImage = QStringLiteral("LastSelfImage");
const QString MyWindowController::kSelfImage = QStringLiteral("selfimage");
const QString MyWindowController::kEmojiPath = QStringLiteral("/t3/style/images/common/face/emimage/");

MyWindowController::MyWindowController(const QString& windowNibName,
                                       boost::shared_ptr<weibo::SinaWeibo> weiboInstance, QWidget* parent)
    : QMainWindow(parent)
    , weibo_(std::move(weiboInstance))
    , cellContext_(&ownAppearance_)
{
    setObjectName(windowNibName);
    busyHints_.reserve(10);
    CellContext::setCurrent(&cellContext_);
    cellContext_.mutableHotTextResources().setEmojiFolder(emojiFolder());
    downloads_ = new QNetworkAccessManager(this);
    poller_ = std::make_unique<Poller>(this);
    buildWindow();
    awakeFromNib();
    buildTabModel();
    new ItemCopy(this);
    new MainMenu(this, new ItemCommands(this));
}

MyWindowController::~MyWindowController()
{
    // Start-up and tab blocks use the controllers and hand back to this thread: let them finish first (their
    // main-thread parts see destroying_ and do nothing), pumping events so that a block waiting on the main
    // thread is not waiting for us. Quitting has done this already, with the transfers cancelled.
    shutdown(60000);
    delete drawer_;
    drawer_ = nullptr;
    // The controllers go while the widgets they report to still exist.
    for (PXListViewController* c : listViewControllers_)
        delete c;
    listViewControllers_.clear();
    delete chatListViewController_;
    chatListViewController_ = nullptr;
    if (&CellContext::current() == &cellContext_)
        CellContext::setCurrent(nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Widgets

void MyWindowController::buildWindow()
{
    setWindowTitle(QStringLiteral("Plumet"));
    setMinimumSize(420, 420);
    resize(540, 760);

    content_ = new QWidget(this);
    content_->setAutoFillBackground(true);
    setCentralWidget(content_);
    auto* root = new QVBoxLayout(content_);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // The title area: the user's avatar, the refresh and new-status buttons.
    auto* titleBar = new TitleBarView(content_);
    titleBar->setFixedHeight(kTitleBarHeight);
    customViewTitleBarContainer_ = titleBar;
    auto* titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(17, 3, 10, 3);
    titleLayout->setSpacing(8);
    selfButton_ = new AvatarButton(titleBar);
    selfButton_->setFixedSize(30, 30);
    selfButton_->setName(QString());
    selfButton_->setToolTip(QStringLiteral("我的微博"));
    selfButton_->setFocusPolicy(Qt::TabFocus);
    selfButton_->setAccessibleName(QStringLiteral("我的微博"));
    titleLayout->addWidget(selfButton_);
    titleLayout->addStretch(1);
    refreshButton_ = new QPushButton(QStringLiteral("刷新"), titleBar);
    postButton_ = new QPushButton(QStringLiteral("发微博"), titleBar);
    for (QPushButton* b : {refreshButton_, postButton_}) {
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoDefault(false);
        titleLayout->addWidget(b);
    }
    root->addWidget(titleBar);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    root->addLayout(body, 1);

    auto* column = new LeftColumn(content_);
    column->setAccessibleName(QStringLiteral("列表"));
    column->setFixedWidth(kLeftColumnWidth);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 6, 0, 6);
    columnLayout->setSpacing(2);
    timelineHome_ = new LeftTab(0, QStringLiteral("状态"), column);
    timelineComment_ = new LeftTab(1, QStringLiteral("评论"), column);
    timelineMention_ = new LeftTab(2, QStringLiteral("提及"), column);
    directMessage_ = new LeftTab(3, QStringLiteral("私信"), column);
    favorites_ = new LeftTab(4, QStringLiteral("收藏"), column);
    for (LeftTab* tab : {timelineHome_, timelineComment_, timelineMention_, directMessage_, favorites_})
        columnLayout->addWidget(tab);
    columnLayout->addStretch(1);
    body->addWidget(column);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    body->addLayout(right, 1);

    topTabContainer_ = new TopTabContainer(content_);
    topTabContainer_->setFixedHeight(32);
    auto* topLayout = new QHBoxLayout(topTabContainer_);
    topLayout->setContentsMargins(8, 3, 8, 4);
    topLayout->setSpacing(6);
    subHome_ = new PopUpButton(0, QStringLiteral("status"), topTabContainer_);
    subComment_ = new PopUpButton(1, QStringLiteral("comment"), topTabContainer_);
    subMention_ = new PopUpButton(2, QStringLiteral("mention"), topTabContainer_);
    for (PopUpButton* p : {subHome_, subComment_, subMention_})
        topLayout->addWidget(p);
    topLayout->addStretch(1);
    listsButton_ = new PopUpButton(0, QStringLiteral("lists"), topTabContainer_);
    listsButton_->addItemWithTitle(QStringLiteral("所有"), QVariant::fromValue<qulonglong>(0));
    listsButton_->setToolTip(QStringLiteral("分组"));
    listsButton_->setAccessibleName(QStringLiteral("分组"));
    topLayout->addWidget(listsButton_);
    // The conversations' own way to start one: a message to anyone, by name.
    newMessageButton_ = new QPushButton(QStringLiteral("新私信"), topTabContainer_);
    newMessageButton_->setFocusPolicy(Qt::TabFocus);
    newMessageButton_->setAutoDefault(false);
    newMessageButton_->hide();
    topLayout->addWidget(newMessageButton_);
    right->addWidget(topTabContainer_);

    tabView_ = new TabView(content_);
    right->addWidget(tabView_, 1);

    // The busy line floats over the bottom of the lists, right of the left tabs.
    hintView_ = new HintView(content_);
    auto* hintLayout = new QHBoxLayout(hintView_);
    hintLayout->setContentsMargins(12, 0, 12, 0);
    hintLayout->setSpacing(8);
    progressIndicator_ = new ProgressIndicator(hintView_);
    busyHint_ = new QLabel(hintView_);
    busyHint_->setObjectName(QStringLiteral("busyHint"));
    hintLayout->addWidget(progressIndicator_);
    hintLayout->addWidget(busyHint_);
    hintLayout->addStretch(1);
    hintView_->hide();
    content_->installEventFilter(this);

    connect(refreshButton_, &QPushButton::clicked, this, [this] { refreshWeibo(); });
    connect(postButton_, &QPushButton::clicked, this, [this] { postWeibo(); });
    connect(selfButton_, &AvatarButton::clicked, this, [this] { profileButtonClicked(selfButton_->name()); });
    for (LeftTab* tab : {timelineHome_, timelineComment_, timelineMention_, directMessage_, favorites_})
        connect(tab, &LeftTab::clicked, this, [this, tab] { leftTabClicked(tab); });
    for (PopUpButton* p : {subHome_, subComment_, subMention_})
        connect(p, &QComboBox::activated, this, [this, p] { topTabClicked(p); });
    connect(listsButton_, &QComboBox::activated, this, [this](int index) { weiboListClicked(index); });
    connect(newMessageButton_, &QPushButton::clicked, this, [this] {
        if (!isStarting() && !destroying_)
            composeWindows()->sendMessageTo(QString());
    });
    // The commands are ignored while the start-up runs; they look it too, and come alive when it ends.
    connect(this, &MyWindowController::initCountChanged, this, [this](qint64 count) { showCommandsEnabled(count == 0); });
    showCommandsEnabled(!isStarting());
    // The title carries the application's unread count, as the launcher and tray do.
    connect(&platform::UnreadBadge::shared(), &platform::UnreadBadge::badgeLabelChanged, this,
            [this] { updateWindowTitle(platform::UnreadBadge::shared().unreadCount()); });
}

void MyWindowController::showCommandsEnabled(bool enabled)
{
    QWidget* const commands[] = {selfButton_, refreshButton_, postButton_, subHome_,         subComment_,
                                 subMention_, listsButton_,   newMessageButton_};
    for (QWidget* command : commands)
        command->setEnabled(enabled);
    for (LeftTab* tab : {timelineHome_, timelineComment_, timelineMention_, directMessage_, favorites_})
        tab->setEnabled(enabled);
}

void MyWindowController::awakeFromNib()
{
    leftTabs_ = {timelineHome_, timelineComment_, timelineMention_, directMessage_, favorites_};
    topTabs_ = {subHome_, subComment_, subMention_};
    subComment_->hide();
    subMention_->hide();
    timer_.setInterval(int(kPollInterval * 1000));
    timer_.setSingleShot(false);
    connect(&timer_, &QTimer::timeout, this, [this] { scheduledTask(&timer_); });
}

void MyWindowController::buildTabModel()
{
    const auto& model = tabModel();
    for (const FirstLayer& first : model) {
        TabViewItem* item = addFirstLayerItemWithIdentifier(QString::fromLatin1(first.identifier),
                                                            QString::fromUtf8(first.label), tabView_);
        for (const SecondLayer& second : first.items)
            addSecondLayerItemWithIdentifier(QString::fromStdString(second.identifier),
                                             QString::fromUtf8(second.label), item);
    }
    for (int i = 0; i < int(model.size()); ++i) {
        listViewControllerAtFirstLayerIndex(i, 0);
        if (i < topTabs_.size()) {
            PopUpButton* popUp = topTabs_.at(i);
            popUp->setAccessibleName(QString::fromUtf8(model.at(std::size_t(i)).label) + QStringLiteral("列表"));
            for (const SecondLayer& second : model.at(std::size_t(i)).items)
                popUp->addItemWithTitle(QString::fromUtf8(second.label));
        }
    }
    chatListViewController_ = new PXListViewController(QStringLiteral("PXListView"),
                                                       QString::fromStdString(weibo::WEIBO_API_MESSAGE_CHAT),
                                                       weibo_, this);
    chatListViewController_->listView()->setAccessibleName(QStringLiteral("对话"));
    connect(tabView_, &TabView::didSelectTabViewItem, this, &MyWindowController::tabViewDidSelectTabViewItem);
    // The keyboard starts in the home timeline: arrows and page keys move through it.
    if (PXListViewController* home = weiboListViewController())
        setFocusProxy(home->listView());
    updateLeftTabs();
}

bool MyWindowController::shutdown(int timeoutMs)
{
    destroying_ = true;
    timer_.stop();
    // A window being torn down takes no input and is not seen again.
    hide();
    setEnabled(false);
    QElapsedTimer waited;
    waited.start();
    bool idle = background_.wait(timeoutMs);
    auto remaining = [&] { return int(std::max<qint64>(0, timeoutMs - waited.elapsed())); };
    for (PXListViewController* c : listViewControllers_)
        idle = c->shutdown(remaining()) && idle;
    if (chatListViewController_)
        idle = chatListViewController_->shutdown(remaining()) && idle;
    return idle;
}

void MyWindowController::showWindow()
{
    if (destroying_)
        return;
    show();
    raise();
    activateWindow();
    if (PXListViewController* c = selectedListViewController())
        c->listView()->setFocus(Qt::ActiveWindowFocusReason);
    if (!loaded_)
        windowDidLoad();
}

void MyWindowController::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    placeHintView();
}

bool MyWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == content_ && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        placeHintView();
    return QMainWindow::eventFilter(watched, event);
}

void MyWindowController::keyPressEvent(QKeyEvent* event)
{
    // Escape closes what the window has open over its lists (the drawer); Enter has no default button here.
    if (event->key() == Qt::Key_Escape && activeDataCell_) {
        drawer()->closeDrawerFromKeyboard();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MyWindowController::placeHintView()
{
    if (!hintView_ || !tabView_)
        return;
    // At the bottom of the content (Qt's y axis grows downwards), as wide as the lists.
    hintView_->setGeometry(kLeftColumnWidth, content_->height() - kBusyLineHeight, tabView_->width(),
                           kBusyLineHeight);
    hintView_->raise();
}

void MyWindowController::updateWindowTitle(std::uint64_t unread)
{
    // The platform appends the application's name to a title that does not already end with it: the count
    // goes in front, so that the name shows once ("(4) Plumet", not "Plumet (4) — Plumet").
    setWindowTitle(unread ? QStringLiteral("(%1) Plumet").arg(unread) : QStringLiteral("Plumet"));
}

void MyWindowController::setAppearance(Appearance* appearance)
{
    cellContext_.setAppearance(appearance ? appearance : &ownAppearance_);
}

// ---------------------------------------------------------------------------------------------------------------
// The tab model

TabViewItem* MyWindowController::addFirstLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                                 TabView* tabView)
{
    auto* item = new TabViewItem(identifier, label);
    auto* inner = new TabView;
    connect(inner, &TabView::didSelectTabViewItem, this, &MyWindowController::tabViewDidSelectTabViewItem);
    item->setView(inner);
    tabView->addTabViewItem(item);
    return item;
}

TabViewItem* MyWindowController::addSecondLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                                  TabViewItem* firstLayerItem)
{
    TabView* inner = innerTabView(firstLayerItem);
    if (!inner)
        return nullptr;
    auto* item = new TabViewItem(identifier, label);
    inner->addTabViewItem(item);
    return item;
}

TabView* MyWindowController::innerTabView(TabViewItem* firstLayerItem) const
{
    return firstLayerItem ? qobject_cast<TabView*>(firstLayerItem->view()) : nullptr;
}

TabViewItem* MyWindowController::secondLayerItem(int firstLayerIndex, int secondLayerIndex) const
{
    TabView* inner = innerTabView(tabView_->tabViewItemAtIndex(firstLayerIndex));
    return inner ? inner->tabViewItemAtIndex(secondLayerIndex) : nullptr;
}

PXListViewController* MyWindowController::listViewControllerForTabViewItem(TabViewItem* item)
{
    if (!item)
        return nullptr;
    if (PXListViewController* c = listViewControllers_.value(item))
        return c;
    auto* c = new PXListViewController(QStringLiteral("PXListView"), item->identifier(), weibo_, this);
    c->listView()->setAccessibleName(item->label());
    item->setView(c->listView());
    listViewControllers_.insert(item, c);
    return c;
}

PXListViewController* MyWindowController::listViewControllerAtFirstLayerIndex(int firstLayerIndex,
                                                                              int secondLayerIndex)
{
    return listViewControllerForTabViewItem(secondLayerItem(firstLayerIndex, secondLayerIndex));
}

PXListViewController* MyWindowController::weiboListViewController() { return listViewControllerAtFirstLayerIndex(0, 0); }
PXListViewController* MyWindowController::userListViewController() { return listViewControllerAtFirstLayerIndex(0, 1); }
PXListViewController* MyWindowController::listsListViewController() { return listViewControllerAtFirstLayerIndex(0, 2); }
PXListViewController* MyWindowController::comments2meListViewController() { return listViewControllerAtFirstLayerIndex(1, 0); }
PXListViewController* MyWindowController::commentsByMeListViewController() { return listViewControllerAtFirstLayerIndex(1, 1); }
PXListViewController* MyWindowController::atmeListViewController() { return listViewControllerAtFirstLayerIndex(2, 0); }
PXListViewController* MyWindowController::messageListViewController() { return listViewControllerAtFirstLayerIndex(3, 0); }
PXListViewController* MyWindowController::favoriteListViewController() { return listViewControllerAtFirstLayerIndex(4, 0); }

PXListViewController* MyWindowController::selectedListViewController()
{
    TabView* inner = innerTabView(tabView_->selectedTabViewItem());
    return inner ? listViewControllerForTabViewItem(inner->selectedTabViewItem()) : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// The signed-in user

boost::shared_ptr<weibo::WBUser> MyWindowController::selfUser() const
{
    std::lock_guard<std::mutex> lock(selfUserLock_);
    return selfUser_;
}

std::uint64_t MyWindowController::selfUserId() const
{
    const auto user = selfUser();
    return user ? user->id : 0;
}

QString MyWindowController::selfUserIdString() const
{
    const std::uint64_t id = selfUserId();
    return id ? QString::number(id) : QString();
}

QString MyWindowController::selfUserName() const
{
    const auto user = selfUser();
    return user ? QString::fromStdString(user->screen_name) : QString();
}

// ---------------------------------------------------------------------------------------------------------------
// Tab switching

void MyWindowController::leftTabClicked(LeftTab* tab)
{
    if (destroying_)
        return;
    if (isStarting() || !tab) {
        updateLeftTabs(); // a click toggles the button's check; put the tabs back as they were
        return;
    }
    const int index = tab->tag();
    const bool same = index == tabView_->indexOfSelectedTabViewItem();
    if (!same)
        tabView_->selectTabViewItemAtIndex(index);
    else
        tabViewDidSelectTabViewItem(tabView_, tabView_->selectedTabViewItem());

    TabView* inner = innerTabView(tabView_->selectedTabViewItem());
    if (inner && inner->indexOfSelectedTabViewItem() != 0) {
        inner->selectTabViewItemAtIndex(0);
        if (index >= 0 && index < topTabs_.size())
            topTabs_.at(index)->selectItemAtIndex(0);
    }

    if (PXListViewController* c = selectedListViewController()) {
        const std::uint64_t unread = c->unreadCount();
        if ((same && unread == 0) || unread > 0) {
            c->listView()->scrollToRow(0);
            // Conversations clear their counts one conversation at a time.
            if (unread > 0 && !isKind(c, weibo::WEIBO_API_MESSAGE)) {
                c->setUnreadCount(0);
                c->resetUnreadCount();
            }
        }
        c->listView()->setFocus(Qt::OtherFocusReason);
    }
    updateLeftTabs();
}

void MyWindowController::topTabClicked(PopUpButton* popUp)
{
    if (!popUp || destroying_)
        return;
    PopUpButton* target = nullptr;
    if (popUp->menuTitle() == QLatin1String("status"))
        target = subHome_;
    else if (popUp->menuTitle() == QLatin1String("comment"))
        target = subComment_;
    else if (popUp->menuTitle() == QLatin1String("mention"))
        target = subMention_;
    if (!target)
        return;
    TabView* inner = innerTabView(tabView_->selectedTabViewItem());
    if (isStarting()) {
        // Ignored: the pop-up goes back to the entry that is shown.
        if (inner && target->tag() == tabView_->indexOfSelectedTabViewItem())
            target->selectItemAtIndex(inner->indexOfSelectedTabViewItem());
        return;
    }
    if (inner && target->indexOfSelectedItem() >= 0)
        inner->selectTabViewItemAtIndex(target->indexOfSelectedItem());
}

void MyWindowController::tabViewDidSelectTabViewItem(TabView*, TabViewItem*)
{
    if (isStarting() || destroying_)
        return;
    PXListViewController* c = selectedListViewController();
    if (!c)
        return;
    if (!isKind(c, weibo::WEIBO_API_LISTS)) {
        const bool home = isKind(c, weibo::WEIBO_API_TIMELINE_FRIENDS);
        listsButton_->setVisible(home);
        if (home)
            listsButton_->selectItemAtIndex(0);
    }

    static const QString favoritesBusy = QStringLiteral("正在加载我的收藏第 1 页...");
    if (!c->dataOfCells()->empty()) {
        if (!isKind(c, weibo::WEIBO_API_FAVORITES)) {
            c->reloadData();
            return;
        }
        runInBackground([this, c] {
            // A short first page may have grown on the service; a later page goes back to page 1.
            bool fetch = false;
            if (c->commentPage() == 1) {
                fetch = c->dataOfCells()->size() <= 9;
            } else {
                c->setCommentPage(1);
                fetch = true;
            }
            weibo::TransferOutcome outcome;
            if (fetch) {
                const BusyText busy = displayBusy(favoritesBusy);
                outcome = c->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false)
                              .outcome;
            }
            platform::dispatchMainSync([this, c, outcome] {
                if (destroying_)
                    return;
                showTransferOutcome(outcome);
                c->reloadData();
            });
        });
        return;
    }

    const std::string kind = c->identifier().toStdString();
    runInBackground([this, c, kind] {
        QString text;
        if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME) {
            text = QStringLiteral("正在加载我收到的评论...");
        } else if (kind == weibo::WEIBO_API_TIMELINE_MENTIONS) {
            text = QStringLiteral("正在加载提到我的...");
        } else if (kind == weibo::WEIBO_API_FAVORITES) {
            text = favoritesBusy;
        } else if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME) {
            text = QStringLiteral("正在加载我发出的评论...");
        } else if (kind == weibo::WEIBO_API_TIMELINE_USER) {
            text = QStringLiteral("正在加载该用户的微博...");
        } else if (kind == weibo::WEIBO_API_MESSAGE) {
            text = QStringLiteral("正在加载私信...");
        }
        BusyText busy = displayBusy(text);
        weibo::TransferOutcome outcome;
        if (kind == weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME || kind == weibo::WEIBO_API_TIMELINE_MENTIONS)
            outcome = syncWithListViewController(c, 0, false).outcome;
        else if (kind == weibo::WEIBO_API_MESSAGE)
            outcome = c->fetchMessagesWithMode(PXListViewController::kModeInitial);
        else if (!text.isEmpty())
            outcome = c->fetchDataWithOptions(weibo::SinaWeiboOptions(), PXListViewController::kModeInitial, false)
                          .outcome;
        platform::dispatchMainSync([this, c, outcome, &busy] {
            busy.done();
            if (destroying_)
                return;
            // An empty list that could not be loaded says why, instead of looking like a list with nothing in it.
            showTransferOutcome(outcome);
            if (outcome.ok()) {
                c->resetUnreadCount();
                c->setUnreadCount(0);
            }
            c->reloadData();
        });
    });
}

// ---------------------------------------------------------------------------------------------------------------
// Badges and the busy line

void MyWindowController::updateLeftTabs()
{
    if (!platform::isMainThread()) {
        performOnMain([this] { updateLeftTabs(); });
        return;
    }
    const int selected = tabView_->indexOfSelectedTabViewItem();
    for (LeftTab* tab : leftTabs_) {
        tab->setChecked(tab->tag() == selected);
        PXListViewController* c = listViewControllerAtFirstLayerIndex(tab->tag(), 0);
        tab->setUnreadCount(c ? c->unreadCount() : 0);
        tab->update();
    }

    const auto& defaults = platform::UserDefaults::standard();
    auto unreadOf = [](PXListViewController* c) { return c ? c->unreadCount() : 0; };
    std::uint64_t sum = 0;
    if (defaults.boolForKey(QStringLiteral("NewStatus")))
        sum += unreadOf(weiboListViewController());
    if (defaults.boolForKey(QStringLiteral("NewComment")))
        sum += unreadOf(comments2meListViewController());
    if (defaults.boolForKey(QStringLiteral("NewAtme")))
        sum += unreadOf(atmeListViewController());
    if (defaults.boolForKey(QStringLiteral("NewMessage")))
        sum += unreadOf(messageListViewController());
    platform::UnreadBadge::shared().setUnreadCount(sum);
    updateWindowTitle(sum);

    for (PopUpButton* popUp : topTabs_)
        popUp->setVisible(popUp->tag() == selected);
    newMessageButton_->setVisible(isKind(listViewControllerAtFirstLayerIndex(selected, 0), weibo::WEIBO_API_MESSAGE));
}

BusyText MyWindowController::displayBusy(const QString& text)
{
    if (text.isEmpty())
        return BusyText();
    // Entries are added and taken away on the main thread only; ids tell equal texts of two operations apart.
    const std::uint64_t id = nextBusyId_.fetch_add(1);
    QPointer<MyWindowController> self(this);
    auto add = [self, id, text] {
        if (self && !self->destroying_) {
            self->busyHints_.append({id, text});
            self->showHintLine();
        }
    };
    // Handed over synchronously, so that the text is up before the operation's own work begins.
    if (platform::isMainThread())
        add();
    else
        platform::dispatchMainSync(add);
    return BusyText([self, id] {
        auto remove = [self, id] {
            if (!self)
                return;
            const auto gone = std::remove_if(self->busyHints_.begin(), self->busyHints_.end(),
                                             [id](const BusyEntry& entry) { return entry.id == id; });
            if (gone == self->busyHints_.end())
                return;
            self->busyHints_.erase(gone, self->busyHints_.end());
            self->showHintLine();
        };
        if (platform::isMainThread())
            remove();
        else
            platform::dispatchMainAsync(remove);
    });
}

QStringList MyWindowController::busyHints() const
{
    QStringList texts;
    for (const BusyEntry& entry : busyHints_)
        texts.append(entry.text);
    return texts;
}

void MyWindowController::showHintLine()
{
    // A failure stays on the line until a refresh or poll succeeds, also while the next operation runs beside it.
    if (!busyHints_.isEmpty()) {
        progressIndicator_->startAnimation();
        const QString busy = busyHints_.last().text;
        busyHint_->setText(failureText_.isEmpty() ? busy : busy + QStringLiteral("　") + failureText_);
        placeHintView();
        hintView_->show();
    } else if (!failureText_.isEmpty()) {
        progressIndicator_->stopAnimation();
        busyHint_->setText(failureText_);
        placeHintView();
        hintView_->show();
    } else {
        progressIndicator_->stopAnimation();
        busyHint_->clear();
        hintView_->hide();
    }
    busyHint_->adjustSize();
    if (hintView_->isVisible())
        hintView_->repaint();
}

void MyWindowController::fontSettingChanged()
{
    if (&cellContext_.appearance() == &ownAppearance_) {
        ownAppearance_.loadFontSetting();
        ownAppearance_.makeDateDic();
    }
    for (PXListViewController* c : listViewControllers_)
        c->setCellWidth(0);
    if (chatListViewController_)
        chatListViewController_->setCellWidth(0);
    if (PXListViewController* c = selectedListViewController())
        c->reloadData();
}

// ---------------------------------------------------------------------------------------------------------------
// Background work

void MyWindowController::runInBackground(std::function<void()> work)
{
    background_.dispatchGlobal(std::move(work));
}

void MyWindowController::performOnMain(std::function<void()> fn)
{
    // Called by the window's own blocks, which the window outlives; dropped if it is gone by the time it runs.
    platform::dispatchMainAsync([self = QPointer<MyWindowController>(this), fn = std::move(fn)] {
        if (self && !self->destroying_)
            fn();
    });
}

// ---------------------------------------------------------------------------------------------------------------
// The editor windows

ComposeWindows* MyWindowController::composeWindows()
{
    if (!composeWindows_) {
        ComposeContext context;
        context.displayBusy = [this](const QString& text) { return displayBusy(text); };
        context.homeList = [this] { return weiboListViewController(); };
        context.selectedList = [this] { return selectedListViewController(); };
        context.updateLeftTabs = [this] { updateLeftTabs(); };
        composeWindows_ = new ComposeWindows(context, this);
    }
    return composeWindows_;
}

void MyWindowController::postWeibo()
{
    if (!isStarting())
        composeWindows()->postWeibo();
}
