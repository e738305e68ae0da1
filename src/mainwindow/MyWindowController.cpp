// The main window: tab switching, badges, and the short calls into the pieces that do the work.
#include "mainwindow/MyWindowController.h"

#include "cells/FailureText.h"
#include "compose/ComposeWindows.h"
#include "compose/DrawerEditorContext.h"
#include "mainwindow/BusyLine.h"
#include "mainwindow/ItemCopy.h"
#include "mainwindow/LeftTab.h"
#include "mainwindow/MainMenu.h"
#include "mainwindow/TabModel.h"
#include "mainwindow/TabSwitching.h"
#include "platform/Notifications.h"
#include "platform/UnreadBadge.h"
#include "platform/UserDefaults.h"
#include "platform/AlertResponder.h"
#include "timeline/AvatarButton.h"
#include "timeline/KeptLists.h"
#include "timeline/PXListViewController.h"
#include "widgets/PXListView.h"
#include "widgets/PopUpButton.h"
#include "widgets/TabView.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>

#include <algorithm>

MyWindowController::MyWindowController(const QString& windowNibName,
                                       boost::shared_ptr<weibo::SinaWeibo> weiboInstance, QWidget* parent)
    : QMainWindow(parent)
    , weibo_(std::move(weiboInstance))
    , cellContext_(&ownAppearance_)
{
    setObjectName(windowNibName);
    CellContext::setCurrent(&cellContext_);
    cellContext_.mutableHotTextResources().setEmojiFolder(emojiFolder());
    // The window is the notification delegate: its names are registered as it is made.
    platform::Notifications::shared().registerNotifications(registrationDictionaryForGrowl());
    chrome_.build(this);
    chrome_.content->installEventFilter(this);
    tabs_ = new TabModel(chrome_.tabView, weibo_, this,
                         [this](TabView* view, TabViewItem* item) { tabViewDidSelectTabViewItem(view, item); }, this);
    for (int i = 0; i < chrome_.topTabs.size(); ++i)
        for (const QString& label : tabs_->secondLayerLabels(i))
            chrome_.topTabs.at(i)->addItemWithTitle(label);
    switching_ = new TabSwitching(*this, chrome_, *tabs_, this);
    startup_ = new StartupSequence(*this, this);
    refresher_ = std::make_unique<ListRefresher>(static_cast<RefreshHost&>(*this));
    lists_ = std::make_unique<ListsAndUserTab>(static_cast<ListsHost&>(*this));
    itemCopy_ = new ItemCopy(this, [this] {
        // The selected row of the list shown, else the item the drawer shows.
        if (PXListViewController* list = selectedListViewController()) {
            const int row = list->listView()->selectedRow();
            const auto cells = list->dataOfCells();
            if (row >= 0 && std::size_t(row) < cells->size())
                return (*cells)[std::size_t(row)];
        }
        return activeDataCell_;
    });
    timer_.setInterval(int(kPollInterval * 1000));
    connect(&timer_, &QTimer::timeout, this, [this] { scheduledTask(&timer_); });
    connectCommands();
    itemCommands_ = new ItemCommands(this, *this);
    new MainMenu(this, *this, itemCommands_);
    // The keyboard starts in the home timeline: arrows and page keys move through it.
    setFocusProxy(weiboListViewController()->listView());
    updateLeftTabs();
}

MyWindowController::~MyWindowController()
{
    // Start-up and tab blocks use the controllers and hand back to this thread: let them finish first (their
    // main-thread parts see destroying_ and do nothing). Quitting has done this already, with the transfers
    // cancelled.
    shutdown(60000);
    delete drawer_;
    drawer_ = nullptr;
    delete tabs_;
    tabs_ = nullptr;
    if (&CellContext::current() == &cellContext_)
        CellContext::setCurrent(nullptr);
}

// ---------------------------------------------------------------------------------------------------------------
// Widgets

void MyWindowController::connectCommands()
{
    connect(chrome_.refreshButton, &QPushButton::clicked, this, [this] { refreshWeibo(); });
    connect(chrome_.postButton, &QPushButton::clicked, this, [this] { postWeibo(); });
    auto* selfButton = chrome_.selfButton;
    connect(selfButton, &AvatarButton::clicked, this, [this, selfButton] { profileButtonClicked(selfButton->name()); });
    for (LeftTab* tab : chrome_.leftTabs)
        connect(tab, &LeftTab::clicked, this, [this, tab] { leftTabClicked(tab); });
    for (PopUpButton* p : chrome_.topTabs)
        connect(p, &QComboBox::activated, this, [this, p] { topTabClicked(p); });
    connect(chrome_.listsButton, &QComboBox::activated, this, [this](int index) { weiboListClicked(index); });
    connect(chrome_.newMessageButton, &QPushButton::clicked, this, [this] { writeMessageTo(QString()); });
    // The commands are ignored while the start-up runs; they look it too, and come alive when it ends.
    connect(this, &MyWindowController::initCountChanged, this, [this](qint64 count) { chrome_.setCommandsEnabled(count == 0); });
    chrome_.setCommandsEnabled(!isStarting());
    // The title carries the application's unread count, as the launcher and tray do.
    connect(&platform::UnreadBadge::shared(), &platform::UnreadBadge::badgeLabelChanged, this,
            [this] { updateWindowTitle(platform::UnreadBadge::shared().unreadCount()); });
}

bool MyWindowController::shutdown(int timeoutMs)
{
    destroying_ = true;
    timer_.stop();
    chrome_.busyLine->close();
    // A window being torn down takes no input and is not seen again.
    hide();
    setEnabled(false);
    QElapsedTimer waited;
    waited.start();
    bool idle = background_.wait(timeoutMs);
    if (tabs_)
        for (PXListViewController* c : tabs_->all())
            idle = c->shutdown(int(std::max<qint64>(0, timeoutMs - waited.elapsed()))) && idle;
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
    windowDidLoad();
}

bool MyWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == chrome_.content && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        chrome_.placeBusyLine();
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

void MyWindowController::fontSettingChanged()
{
    if (&cellContext_.appearance() == &ownAppearance_) {
        ownAppearance_.loadFontSetting();
        ownAppearance_.makeDateDic();
    }
    for (PXListViewController* c : tabs_->all())
        c->setCellWidth(0);
    if (PXListViewController* c = selectedListViewController())
        c->reloadData();
}

void MyWindowController::runInBackground(std::function<void()> work)
{
    background_.dispatchGlobal(std::move(work));
}

// ---------------------------------------------------------------------------------------------------------------
// Start-up

void MyWindowController::downloadDidCreateDestination(URLDownload* d, const QString& path) { startup_->downloadDidCreateDestination(d, path); }
void MyWindowController::downloadDidFailWithError(URLDownload* d, const QString& error) { startup_->downloadDidFailWithError(d, error); }
void MyWindowController::startupCountChanged(qint64 count) { emit initCountChanged(count); }
HotTextResources& MyWindowController::hotTextResources() { return cellContext_.mutableHotTextResources(); }
const HotTextResources& MyWindowController::itemTextResources() const { return cellContext_.hotTextResources(); }

void MyWindowController::cleanup()
{
    timer_.stop();
    startup_->cleanup();
    if (keptLists_)
        keptLists_->close(kKeptListsFlushMs);
}

void MyWindowController::keepListsIn(const QString& folder, const QString& account)
{
    if (keptLists_ || account.isEmpty())
        return;
    keptLists_ = new KeptLists(folder, account, this);
    // Until the account check answers (never, offline), the kept rows still know which items are one's own.
    if (!selfUser())
        cellContext_.setSelfUserId(account.toULongLong());
    // The shown list is read at once; the others in the background, each in its list's turn so that no load of
    // it comes first. A list made later (a second-layer tab on its first click) is read when it is made.
    PXListViewController* home = tabs_->home();
    keptLists_->attach(home);
    for (PXListViewController* c : tabs_->all())
        if (c != home)
            keptLists_->attachInBackground(c, [this](std::function<void()> work) { runInBackground(std::move(work)); });
    tabs_->setListMade([this](PXListViewController* c) {
        if (keptLists_)
            keptLists_->attach(c);
    });
    updateLeftTabs();
    auto tell = [this](const QString& notice) {
        if (notice.isEmpty() || destroying_)
            return;
        // After the current event: the lists are up behind the alert.
        QTimer::singleShot(0, this, [this, notice] {
            if (!destroying_)
                platform::AlertResponder::alertWarning(QStringLiteral("无法读取保存的时间线"), notice, QString(), this);
        });
    };
    connect(keptLists_, &KeptLists::noticeReady, this, tell);
    tell(keptLists_->takeNotice());
}

void MyWindowController::discardKeptLists()
{
    if (keptLists_)
        keptLists_->discard();
}

void MyWindowController::startPolling()
{
    scheduledTask(nullptr);
    makeWeiboLists();
    timer_.start();
}

void MyWindowController::setSelfUser(const boost::shared_ptr<weibo::WBUser>& user)
{
    {
        std::lock_guard<std::mutex> lock(selfUserLock_);
        selfUser_ = user;
    }
    cellContext_.setSelfUserId(user ? user->id : 0);
}

void MyWindowController::setSelfImage(const QImage& image)
{
    if (image.isNull())
        return;
    auto* selfButton = chrome_.selfButton;
    selfButton->setImage(image);
    selfButton->setName(QString());
}

// ---------------------------------------------------------------------------------------------------------------
// The tab model

TabViewItem* MyWindowController::addFirstLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                                 TabView* tabView)
{
    return tabs_->addFirstLayerItem(identifier, label, tabView);
}

TabViewItem* MyWindowController::addSecondLayerItemWithIdentifier(const QString& identifier, const QString& label,
                                                                  TabViewItem* firstLayerItem)
{
    return tabs_->addSecondLayerItem(identifier, label, firstLayerItem);
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
    // What the rows draw with is the one record of who is signed in.
    return cellContext_.selfUserId();
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

void MyWindowController::leftTabClicked(LeftTab* tab) { switching_->leftTabClicked(tab); }
void MyWindowController::topTabClicked(PopUpButton* popUp) { switching_->topTabClicked(popUp); }
void MyWindowController::tabViewDidSelectTabViewItem(TabView* tabView, TabViewItem* item)
{
    switching_->tabViewDidSelectTabViewItem(tabView, item);
}
void MyWindowController::loadShownList(PXListViewController* list) { refresher_->loadShownList(list); }

void MyWindowController::showHomeTimeline() { leftTabClicked(chrome_.leftTabs.at(0)); }
void MyWindowController::reselect(TabView* inner) { tabViewDidSelectTabViewItem(inner, inner->selectedTabViewItem()); }

PXListViewController* MyWindowController::bringForward(int leftTab)
{
    if (leftTab < 0 || leftTab >= chrome_.leftTabs.size())
        return nullptr;
    showNormal();
    raise();
    activateWindow();
    leftTabClicked(chrome_.leftTabs.at(leftTab));
    return tabs_->controllerAt(leftTab, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Badges and the busy line

void MyWindowController::updateLeftTabs()
{
    if (switching_)
        switching_->updateLeftTabs();
}

BusyText MyWindowController::displayBusy(const QString& text)
{
    return destroying_ ? BusyText() : chrome_.busyLine->displayBusy(text);
}

QStringList MyWindowController::busyHints() const { return chrome_.busyLine->texts(); }
QString MyWindowController::failureText() const { return chrome_.busyLine->failureText(); }

void MyWindowController::showTransferOutcome(const weibo::TransferOutcome& outcome)
{
    if (destroying_ || outcome.failure == weibo::TransferFailure::Cancelled)
        return;
    const bool unreachable = outcome.failure == weibo::TransferFailure::Connection ||
                             outcome.failure == weibo::TransferFailure::TimedOut;
    if (keptLists_ && outcome.ok())
        keptLists_->serviceReached();
    if (keptLists_ && unreachable && (keptLists_->hadRows() || keptLists_->lastReached().isValid()) &&
        !tabs_->home()->dataOfCells()->empty())
        // What the lists show is what the service last gave: say since when.
        chrome_.busyLine->setFailureText(
            keptlists::offlineText(keptLists_->lastReached(), QDateTime::currentDateTime()));
    else
        chrome_.busyLine->setFailureText(failureTextFor(outcome));
    if (outcome.failure == weibo::TransferFailure::AuthRefused && !authorizationRefused_) {
        authorizationRefused_ = true;
        emit authorizationRefused();
    }
}

void MyWindowController::authorizationRenewed()
{
    if (destroying_)
        return;
    authorizationRefused_ = false;
    chrome_.busyLine->setFailureText(QString());
    // The lists go on from where they are with the new token (an empty home timeline gets its newest page).
    if (!isStarting())
        refresher_->poll(ListRefresher::PollKind::Timer);
}

// ---------------------------------------------------------------------------------------------------------------
// Refresh, poll, notifications

void MyWindowController::refreshWeibo() { refresher_->refreshWeibo(); }
void MyWindowController::reloadFailedComments() { refresher_->reloadFailedComments(); }
void MyWindowController::moreWeibo() { refresher_->moreWeibo(); }

void MyWindowController::scheduledTask(QTimer* timer)
{
    if (isStarting() || destroying_)
        return;
    // The timer itself is of no use to the poll; whether there is one tells a tick from the first poll.
    refresher_->poll(timer ? ListRefresher::PollKind::Timer : ListRefresher::PollKind::First);
}

weibo::Reply<std::size_t> MyWindowController::syncWithListViewController(PXListViewController* controller,
                                                                        std::uint64_t unreadCount, bool background)
{
    return refresher_->syncWithListViewController(controller, unreadCount, background);
}

void MyWindowController::notifyGrowl(PXListViewController* controller, const CellArray& dataCells, std::size_t count)
{
    ListRefresher::post(refresher_->announcementsFor(controller, dataCells, count));
}

QVariantMap MyWindowController::registrationDictionaryForGrowl()
{
    const QStringList names{platform::Notifications::kStandardReminder};
    return {{QStringLiteral("AllNotifications"), names}, {QStringLiteral("DefaultNotifications"), names}};
}

Announcer& MyWindowController::announcer()
{
    if (!announcer_) {
        announcer_ = new Announcer(*this, platform::UserDefaults::standard(), this);
        connect(&platform::Notifications::shared(), &platform::Notifications::notificationClicked, announcer_,
                &Announcer::show);
    }
    return *announcer_;
}

// ---------------------------------------------------------------------------------------------------------------
// Lists and the user tab

void MyWindowController::makeWeiboLists() { lists_->makeWeiboLists(); }
void MyWindowController::weiboListClicked(int index) { lists_->weiboListClicked(index); }
QString MyWindowController::otherUserOfEmptyUserTab(const PXListViewController* c) { return lists_->otherUserOfEmptyUserTab(c); }
void MyWindowController::replaceStatusUserTabViewItemWithUser(const QString& name) { lists_->replaceStatusUserTabViewItemWithUser(name); }

weibo::Reply<std::set<std::uint64_t>> MyWindowController::totalMembersOfMyList(const QString& listId)
{
    return lists_->totalMembersOfUser(selfUserIdString(), listId);
}

weibo::Reply<std::set<std::uint64_t>> MyWindowController::totalMembersOfUser(const QString& userId,
                                                                            const QString& listId)
{
    return lists_->totalMembersOfUser(userId, listId);
}

void MyWindowController::profileButtonClicked(const QString& name)
{
    if (!isStarting())
        replaceStatusUserTabViewItemWithUser(name);
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
    if (!isStarting() && !destroying_)
        composeWindows()->postWeibo();
}

void MyWindowController::writeMessageTo(const QString& screenName)
{
    if (!isStarting() && !destroying_)
        composeWindows()->sendMessageTo(screenName);
}
