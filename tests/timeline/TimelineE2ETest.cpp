// The list controllers against the development service: loads of every kind, the paging loops, the merge cap,
// fake cells, removal, unread counts, conversations, comment and favourite pages, and the counts batches.
#include "TimelineTestSupport.h"

#include "widgets/PXListView.h"

#include <algorithm>
#include <set>

static ::testing::Environment* const timelineApp = ::testing::AddGlobalTestEnvironment(new TimelineTestApp);

namespace {

using Options = weibo::SinaWeiboOptions;
using Controller = PXListViewController;

const std::string kZhang = "zhangsan@plumet.local";  // 张三, followed by the demo account
const std::string kLi = "lisi@plumet.local";          // 李四
const std::string kWang = "wangxiaoming@plumet.local"; // 王小明

std::uint64_t postStatus(weibo::SinaWeibo& client, const std::string& text)
{
    const auto statuses = weibo::parseString<weibo::WBStatus>(client.statusUpdate(text));
    return statuses.empty() ? 0 : statuses.front()->id;
}

std::uint64_t postComment(weibo::SinaWeibo& client, std::uint64_t statusId, const std::string& text)
{
    const auto comments = weibo::parseString<weibo::WBComment>(client.statusComment(statusId, text));
    return comments.empty() ? 0 : comments.front()->id;
}

boost::shared_ptr<weibo::WBMessage> sendMessage(weibo::SinaWeibo& client, std::uint64_t to, const std::string& text)
{
    Options options;
    options.user_id_ = to;
    const auto messages = weibo::parseString<weibo::WBMessage>(client.directMessagesNew("", text, options));
    return messages.empty() ? nullptr : messages.front();
}

std::uint64_t userIdOf(weibo::SinaWeibo& client)
{
    const auto users = weibo::parseString<weibo::WBUser>(client.accountVerify());
    return users.empty() ? 0 : users.front()->id;
}

weibo::WBUnread unreadOf(weibo::SinaWeibo& client)
{
    const auto unread = weibo::parseUnread(client.statusUnread());
    return unread ? *unread : weibo::WBUnread();
}

// Newest first, each id once.
bool strictlyDescending(const std::vector<std::uint64_t>& ids)
{
    for (std::size_t i = 1; i < ids.size(); ++i)
        if (ids[i] >= ids[i - 1])
            return false;
    return true;
}

// Every request the controller's stored operation makes, with its options.
void watchRequests(Controller& controller, std::shared_ptr<std::vector<Options>> log)
{
    const Controller::FetchOperation inner = controller.invocation();
    controller.setInvocation([inner, log](const Controller::RequiredArguments& required, const WeiboOptions& options) {
        log->push_back(*options.options());
        return inner(required, options);
    });
}

class TimelineE2E : public testsupport::DevServiceTest {
protected:
    void SetUp() override
    {
        DevServiceTest::SetUp();
        if (HasFatalFailure())
            return;
        weibo_ = service_->personClient();
        ASSERT_TRUE(weibo_);
        demoId_ = service_->demoUserId();
        host_.selfId = demoId_;
        TimelineTestApp::context().setSelfUserId(demoId_);
        TimelineTestApp::context().setWebHost(service_->value(QStringLiteral("WebHost")));
    }

    std::unique_ptr<Controller> make(const std::string& kind)
    {
        return std::make_unique<Controller>(QStringLiteral("PXListView"), QString::fromStdString(kind), weibo_,
                                            &host_);
    }
    boost::shared_ptr<weibo::SinaWeibo> as(const std::string& login)
    {
        auto client = service_->personClient(login);
        EXPECT_TRUE(client) << login;
        return client;
    }

    boost::shared_ptr<weibo::SinaWeibo> weibo_;
    std::uint64_t demoId_ = 0;
    HostStandIn host_;
};

} // namespace

TEST_F(TimelineE2E, EveryKindLoadsFirstNewerAndOlderPagesShowingTheSeamOnce)
{
    auto zhang = as(kZhang);
    const std::uint64_t demoStatus = postStatus(*weibo_, "演示账号的一条微博");
    ASSERT_NE(demoStatus, 0u);
    const std::uint64_t someStatus = postStatus(*zhang, "张三的一条微博");

    struct Kind {
        std::string path;
        std::function<std::uint64_t()> makeNewer;  // makes one newer item of the kind, answers its id
    };
    const std::vector<Kind> kinds = {
        {weibo::WEIBO_API_TIMELINE_FRIENDS, [&] { return postStatus(*zhang, "新的好友微博"); }},
        {weibo::WEIBO_API_TIMELINE_USER, [&] { return postStatus(*weibo_, "我自己的新微博"); }},
        {weibo::WEIBO_API_TIMELINE_MENTIONS, [&] { return postStatus(*zhang, "@演示账号 你好"); }},
        {weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME, [&] { return postComment(*zhang, demoStatus, "评论你"); }},
        {weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME, [&] { return postComment(*weibo_, someStatus, "我的评论"); }},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.path);
        auto list = make(kind.path);
        Options first;
        first.count_ = 20;
        EXPECT_EQ(list->fetchDataWithOptions(first, Controller::kModeInitial, true), 20u);
        ASSERT_EQ(list->dataOfCells()->size(), 20u);
        EXPECT_TRUE(strictlyDescending(idsOf(*list->dataOfCells())));

        // Newer: everything above the newest shown, on top.
        const std::uint64_t newest = kind.makeNewer();
        ASSERT_NE(newest, 0u);
        Options newer;
        newer.min_id_ = list->latestEntityId();
        EXPECT_EQ(list->fetchDataWithOptions(newer, Controller::kModeNewer, true), 1u);
        ASSERT_EQ(list->dataOfCells()->size(), 21u);
        EXPECT_EQ(list->latestEntityId(), newest);

        // Older: max_id_ is inclusive, so the bottom row comes back first and is shown once.
        const std::uint64_t bottom = list->earliestEntityId();
        Options older;
        older.max_id_ = bottom;
        older.count_ = 20;
        EXPECT_EQ(list->fetchDataWithOptions(older, Controller::kModeOlder, true), 20u);
        const auto ids = idsOf(*list->dataOfCells());
        EXPECT_EQ(ids.size(), 40u);
        EXPECT_TRUE(strictlyDescending(ids));
        EXPECT_EQ(std::count(ids.begin(), ids.end(), bottom), 1);
        EXPECT_LT(list->earliestEntityId(), bottom);

        // Nothing newer: the list stays as it is.
        Options nothing;
        nothing.min_id_ = list->latestEntityId();
        EXPECT_EQ(list->fetchDataWithOptions(nothing, Controller::kModeNewer, true), 0u);
        EXPECT_EQ(idsOf(*list->dataOfCells()), ids);
    }

    // Favourites come a page at a time; the seeded account has 25.
    auto favorites = make(weibo::WEIBO_API_FAVORITES);
    EXPECT_EQ(favorites->fetchDataWithOptions(Options(), Controller::kModeInitial, true), 20u);
    for (const CellPtr& cell : *favorites->dataOfCells())
        EXPECT_NE(dynamic_cast<TimelineCellFavorite*>(cell.get()), nullptr);
}

TEST_F(TimelineE2E, MinIdLoopMakesOneRequestWhetherThePageIsFullOrNot)
{
    auto zhang = as(kZhang);
    auto home = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    Options first;
    first.count_ = 20;
    ASSERT_EQ(home->fetchDataWithOptions(first, Controller::kModeInitial, true), 20u);
    auto log = std::make_shared<std::vector<Options>>();
    watchRequests(*home, log);

    // 40 new items: a page that is not full ends the loop.
    std::vector<std::uint64_t> posted;
    for (int i = 0; i < 40; ++i)
        posted.push_back(postStatus(*zhang, "第" + std::to_string(i) + "条"));
    const std::uint64_t since = home->latestEntityId();
    Options newer;
    newer.min_id_ = since;
    newer.count_ = 50;
    EXPECT_EQ(home->fetchDataWithOptions(newer, Controller::kModeNewer, true), 40u);
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ((*log)[0].count_, 100);
    EXPECT_EQ((*log)[0].since_id_, since);
    EXPECT_EQ((*log)[0].page_, 1);
    EXPECT_EQ(home->latestEntityId(), posted.back());

    // 130 new items: the first page is full and already holds 100 cells, which ends the loop too.
    log->clear();
    posted.clear();
    for (int i = 0; i < 130; ++i)
        posted.push_back(postStatus(*zhang, "又一条 " + std::to_string(i)));
    newer.min_id_ = home->latestEntityId();
    EXPECT_EQ(home->fetchDataWithOptions(newer, Controller::kModeNewer, true), 100u);
    EXPECT_EQ(log->size(), 1u);
    auto ids = idsOf(*home->dataOfCells());
    EXPECT_EQ(ids.front(), posted.back());
    // The 30 it did not bring are marked by a seam row (id 0) below the 100 it did.
    ASSERT_EQ(ids.size(), 161u);
    EXPECT_EQ(ids[100], 0u);
    ids.erase(ids.begin() + 100);
    EXPECT_TRUE(strictlyDescending(ids));

    // Nothing new: one empty page.
    log->clear();
    newer.min_id_ = home->latestEntityId();
    EXPECT_EQ(home->fetchDataWithOptions(newer, Controller::kModeNewer, true), 0u);
    EXPECT_EQ(log->size(), 1u);
    auto after = idsOf(*home->dataOfCells());
    ASSERT_EQ(after.size(), 161u);
    after.erase(after.begin() + 100);
    EXPECT_EQ(after, ids);
}

TEST_F(TimelineE2E, LargeCountsComeInPagesOfAHundredNewestFirstWithinTheCap)
{
    // A count above 100 on an empty list: pages 1, 2, 3 of 100, cut to the count.
    auto home = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    auto log = std::make_shared<std::vector<Options>>();
    watchRequests(*home, log);
    Options large;
    large.count_ = 250;
    EXPECT_EQ(home->fetchDataWithOptions(large, Controller::kModeInitial, true), 250u);
    ASSERT_EQ(log->size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ((*log)[std::size_t(i)].count_, 100);
        EXPECT_EQ((*log)[std::size_t(i)].page_, i + 1);
    }
    auto reference = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    Options hundred;
    hundred.count_ = 100;
    reference->fetchDataWithOptions(hundred, Controller::kModeInitial, true);
    auto ids = idsOf(*home->dataOfCells());
    EXPECT_TRUE(strictlyDescending(ids));
    EXPECT_TRUE(std::equal(ids.begin(), ids.begin() + 100, idsOf(*reference->dataOfCells()).begin()));

    // A user with fewer statuses than asked for: the first page is not full and ends it.
    auto zhang = as(kZhang);
    auto li = as(kLi);
    auto user = make(weibo::WEIBO_API_TIMELINE_USER);
    log = std::make_shared<std::vector<Options>>();
    watchRequests(*user, log);
    Options someone;
    someone.user_id_ = userIdOf(*li);
    someone.count_ = 150;
    const std::size_t got = user->fetchDataWithOptions(someone, Controller::kModeInitial, true);
    EXPECT_GT(got, 0u);
    EXPECT_LT(got, 100u);
    EXPECT_EQ(log->size(), 1u);

    // More than the list may hold: the newest 1024.
    for (int i = 0; i < 800; ++i)
        postStatus(*zhang, "刷屏 " + std::to_string(i));
    log = std::make_shared<std::vector<Options>>();
    auto full = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    watchRequests(*full, log);
    Options huge;
    huge.count_ = 5000;
    EXPECT_EQ(full->fetchDataWithOptions(huge, Controller::kModeInitial, true), 1024u);
    EXPECT_EQ(log->size(), 11u);
    ids = idsOf(*full->dataOfCells());
    ASSERT_EQ(ids.size(), 1024u);
    EXPECT_TRUE(strictlyDescending(ids));

    // Older items into a full list: nothing fits, nothing is lost, the bounds describe what is shown.
    Options older;
    older.max_id_ = full->earliestEntityId();
    older.count_ = 50;
    EXPECT_EQ(full->fetchDataWithOptions(older, Controller::kModeOlder, true), 50u);
    EXPECT_EQ(idsOf(*full->dataOfCells()), ids);
    EXPECT_EQ(full->earliestEntityId(), ids.back());

    // With room for 30: the seam once, then the 30 next older ones, the rest dropped.
    full->removeCells(std::set<std::uint64_t>(ids.end() - 30, ids.end()));
    ASSERT_EQ(full->dataOfCells()->size(), 994u);
    older.max_id_ = full->earliestEntityId();
    EXPECT_EQ(full->fetchDataWithOptions(older, Controller::kModeOlder, true), 50u);
    const auto refilled = idsOf(*full->dataOfCells());
    EXPECT_EQ(refilled, ids);
    EXPECT_EQ(full->earliestEntityId(), ids.back());

    // Newer items on top of a full list push the oldest out.
    const std::uint64_t fresh = postStatus(*zhang, "最新的一条");
    Options newer;
    newer.min_id_ = full->latestEntityId();
    EXPECT_EQ(full->fetchDataWithOptions(newer, Controller::kModeNewer, true), 1u);
    const auto pushed = idsOf(*full->dataOfCells());
    ASSERT_EQ(pushed.size(), 1024u);
    EXPECT_EQ(pushed.front(), fresh);
    EXPECT_EQ(pushed.back(), ids[1022]);
}

TEST_F(TimelineE2E, FakeCellsAreReplacedByTheRealItemAndLeaveOnRemoval)
{
    auto home = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    Options first;
    first.count_ = 20;
    home->fetchDataWithOptions(first, Controller::kModeInitial, true);
    const std::uint64_t topBefore = home->latestEntityId();
    home->setUnreadCount(2);

    // What the new-status window does after a successful post.
    const auto posted = weibo::parseString<weibo::WBStatus>(weibo_->statusUpdate("刚发的微博"));
    ASSERT_EQ(posted.size(), 1u);
    CellPtr fake = std::make_shared<TimelineCellStatus>(posted.front());
    home->addFakeCell(fake);
    EXPECT_EQ(home->dataOfCells()->front(), fake);
    EXPECT_EQ(home->unreadCount(), 2u);  // one's own item is never unread
    EXPECT_EQ(home->latestEntityId(), topBefore);  // the fake row is skipped

    // The same item again: no second row.
    home->addFakeCell(std::make_shared<TimelineCellStatus>(posted.front()));
    EXPECT_EQ(home->dataOfCells()->size(), 21u);
    EXPECT_EQ(home->unreadCount(), 2u);

    // The service's list brings the real item: the fake row gives way to it.
    Options newer;
    newer.min_id_ = home->latestEntityId();
    EXPECT_EQ(home->fetchDataWithOptions(newer, Controller::kModeNewer, true), 1u);
    const auto cells = home->dataOfCells();
    ASSERT_EQ(cells->size(), 21u);
    EXPECT_NE(cells->front(), fake);
    EXPECT_EQ(cells->front()->entityId(), posted.front()->id);
    EXPECT_EQ(home->rowForCell(fake.get()), -1);
    EXPECT_TRUE(home->fakeCells().empty());
    EXPECT_EQ(home->latestEntityId(), posted.front()->id);

    // The favourite flag of the rows that show a status.
    home->updateCell(posted.front()->id, true);
    EXPECT_TRUE(static_cast<TimelineCellStatus&>(*home->dataOfCells()->front()).status()->favorited);

    // A favourite shown at once, then unfavourited: removal takes the row and the fake entry.
    auto favorites = make(weibo::WEIBO_API_FAVORITES);
    favorites->fetchDataWithOptions(Options(), Controller::kModeInitial, true);
    CellPtr favourite = std::make_shared<TimelineCellFavorite>(posted.front());
    favorites->addFakeCell(favourite);
    EXPECT_EQ(favorites->rowForCell(favourite.get()), 0);
    favorites->removeCells({posted.front()->id});
    EXPECT_EQ(favorites->rowForCell(favourite.get()), -1);
    EXPECT_EQ(favorites->dataOfCells()->size(), 20u);
    EXPECT_TRUE(favorites->fakeCells().empty());

    // A fake cell handed an array that is no longer the list's: registered, not stored.
    auto stale = favorites->dataOfCells();
    favorites->fetchDataWithOptions(Options(), Controller::kModeInitial, true);
    favorites->addFakeCell(favourite, stale);
    EXPECT_EQ(favorites->rowForCell(favourite.get()), -1);
}

TEST_F(TimelineE2E, UnreadCountsAreClampedAndResetAtTheService)
{
    auto zhang = as(kZhang);
    auto mentions = make(weibo::WEIBO_API_TIMELINE_MENTIONS);
    mentions->setUnreadCount(5000);
    EXPECT_EQ(mentions->unreadCount(), 1024u);

    // Reset from a background thread: at once.
    postStatus(*zhang, "@演示账号 看这里");
    ASSERT_GT(unreadOf(*weibo_).mentions, 0);
    ASSERT_TRUE(runInBackgroundAndWait([&] { mentions->resetUnreadCount(); }));
    EXPECT_EQ(unreadOf(*weibo_).mentions, 0);

    // From the main thread the request goes to a background thread.
    const std::uint64_t mine = postStatus(*weibo_, "求评论");
    postComment(*zhang, mine, "来了");
    ASSERT_GT(unreadOf(*weibo_).comments, 0);
    auto comments = make(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME);
    comments->resetUnreadCount();
    EXPECT_TRUE(waitUntil([&] { return unreadOf(*weibo_).comments == 0; }));

    auto messages = make(weibo::WEIBO_API_MESSAGE);
    sendMessage(*zhang, demoId_, "在吗");
    ASSERT_GT(unreadOf(*weibo_).dm, 0);
    messages->resetUnreadMessageCount();
    EXPECT_TRUE(waitUntil([&] { return unreadOf(*weibo_).dm == 0; }));

    // Unread rows that come into view are seen: the count clears, the service resets, the badges redraw.
    Options first;
    first.count_ = 20;
    mentions->fetchDataWithOptions(first, Controller::kModeInitial, true);
    postStatus(*zhang, "@演示账号 又一条");
    mentions->setUnreadCount(3);
    PXListView* view = mentions->listView();
    view->resize(400, 600);
    view->show();
    mentions->setScrollMode(Controller::kScrollBusy);
    mentions->checkUnread();  // busy: nothing yet
    EXPECT_EQ(mentions->unreadCount(), 3u);
    mentions->setScrollMode(Controller::kScrollIdle);
    host_.starting = true;  // laid out before the window's first display: nobody has seen the rows
    mentions->reloadData();
    EXPECT_EQ(mentions->unreadCount(), 3u);
    host_.starting = false;
    const int tabsBefore = host_.leftTabUpdates;
    mentions->reloadData();
    EXPECT_TRUE(waitUntil([&] { return mentions->unreadCount() == 0; }));
    EXPECT_GT(host_.leftTabUpdates, tabsBefore);
    EXPECT_TRUE(waitUntil([&] { return unreadOf(*weibo_).mentions == 0; }));

    // A user's statuses keep no unread count of their own.
    auto user = make(weibo::WEIBO_API_TIMELINE_USER);
    user->fetchDataWithOptions(first, Controller::kModeInitial, true);
    user->setUnreadCount(3);
    user->listView()->resize(400, 600);
    user->reloadData();
    EXPECT_EQ(user->unreadCount(), 3u);
}

TEST_F(TimelineE2E, ConversationsGroupShareTheUnreadAndKeepTheOpenDrawer)
{
    auto zhang = as(kZhang);
    auto li = as(kLi);
    auto wang = as(kWang);
    const std::uint64_t zhangId = userIdOf(*zhang), liId = userIdOf(*li), wangId = userIdOf(*wang);
    weibo_->statusResetCount(3);
    ASSERT_EQ(unreadOf(*weibo_).dm, 0);

    // Two from 张三, one from 李四, one more from 张三 (newest last); the account answers 张三 once and writes
    // to 王小明, who does not answer.
    const auto a1 = sendMessage(*zhang, demoId_, "你好");
    const auto a2 = sendMessage(*zhang, demoId_, "在吗");
    const auto b1 = sendMessage(*li, demoId_, "周末见");
    const auto a3 = sendMessage(*zhang, demoId_, "回我一下");
    const auto r1 = sendMessage(*weibo_, zhangId, "在的");
    const auto w1 = sendMessage(*weibo_, wangId, "王小明你好");
    ASSERT_TRUE(a1 && a2 && b1 && a3 && r1 && w1);

    auto chat = make(weibo::WEIBO_API_MESSAGE_CHAT);
    host_.chatList = chat.get();
    auto conversations = make(weibo::WEIBO_API_MESSAGE);
    ASSERT_TRUE(runInBackgroundAndWait([&] { conversations->fetchMessagesWithMode(Controller::kModeInitial); }));
    EXPECT_EQ(conversations->unreadCount(), 4u);

    const auto received = conversations->receivedMessageCells();
    ASSERT_GE(received->size(), 4u);
    for (std::size_t i = 0; i < received->size(); ++i) {
        auto* message = static_cast<TimelineCellMessage*>((*received)[i].get());
        EXPECT_EQ(message->unread(), i < 4) << i;
        EXPECT_EQ(message->listViewController(), chat.get());
    }

    const auto rows = conversations->dataOfCells();
    EXPECT_TRUE(strictlyDescending(idsOf(*rows)));
    int unreadTotal = 0;
    for (const CellPtr& row : *rows)
        unreadTotal += static_cast<TimelineCellMessageGroup&>(*row).unreadMessages();
    EXPECT_EQ(unreadTotal, 4);

    const auto zhangGroup = conversations->messageGroupById(zhangId);
    ASSERT_TRUE(zhangGroup);
    std::vector<std::uint64_t> zhangIds;
    for (const auto& message : zhangGroup->messages())
        zhangIds.push_back(message->entityId());
    EXPECT_TRUE(strictlyDescending(zhangIds));
    for (std::uint64_t id : {a1->id, a2->id, a3->id, r1->id})
        EXPECT_EQ(std::count(zhangIds.begin(), zhangIds.end(), id), 1) << id;
    EXPECT_EQ(zhangGroup->entityId(), r1->id);
    EXPECT_EQ(zhangGroup->unreadMessages(), 3);
    ASSERT_TRUE(conversations->messageGroupById(liId));
    EXPECT_EQ(conversations->messageGroupById(liId)->unreadMessages(), 1);
    const auto wangGroup = conversations->messageGroupById(wangId);
    ASSERT_TRUE(wangGroup);
    EXPECT_EQ(wangGroup->messages().front()->entityId(), w1->id);

    // The drawer shows 张三's conversation while a new message arrives: it keeps showing 张三, in the new row.
    host_.drawerOpen = true;
    host_.active = zhangGroup;
    const auto a4 = sendMessage(*zhang, demoId_, "新消息");
    ASSERT_TRUE(runInBackgroundAndWait([&] { conversations->fetchMessagesWithUnread(1, Controller::kModeNewer); }));
    auto* shown = dynamic_cast<TimelineCellMessageGroup*>(host_.active.get());
    ASSERT_NE(shown, nullptr);
    EXPECT_NE(host_.active, zhangGroup);
    EXPECT_EQ(shown->groupId(), zhangId);
    EXPECT_EQ(shown->entityId(), a4->id);
    EXPECT_EQ(shown->unreadMessages(), 1);
    EXPECT_EQ(conversations->unreadCount(), 1u);

    // A reply shown at once as a fake sent message, then replaced by the service's own.
    const auto reply = sendMessage(*weibo_, zhangId, "马上到");
    ASSERT_TRUE(reply);
    auto fake = std::make_shared<TimelineCellMessage>(reply);
    conversations->addFakeCell(fake, conversations->sentMessageCells());
    EXPECT_EQ(conversations->sentMessageCells()->front(), fake);
    conversations->makeMessageGroups();
    EXPECT_EQ(conversations->messageGroupById(zhangId)->entityId(), reply->id);
    ASSERT_TRUE(runInBackgroundAndWait([&] { conversations->fetchMessagesWithUnread(0, Controller::kModeNewer); }));
    const auto sent = conversations->sentMessageCells();
    EXPECT_NE(sent->front(), fake);
    EXPECT_EQ(sent->front()->entityId(), reply->id);
    const auto sentIds = idsOf(*sent);
    EXPECT_EQ(std::count(sentIds.begin(), sentIds.end(), reply->id), 1);
    EXPECT_TRUE(conversations->fakeCells().empty());

    // A deleted message leaves its array.
    conversations->removeCellsIn({reply->id}, conversations->sentMessageCells());
    const auto afterRemoval = idsOf(*conversations->sentMessageCells());
    EXPECT_EQ(std::count(afterRemoval.begin(), afterRemoval.end(), reply->id), 0);

    // Older messages clear every unread flag.
    ASSERT_TRUE(runInBackgroundAndWait([&] { conversations->fetchMessagesWithUnread(0, Controller::kModeOlder); }));
    for (const CellPtr& cell : *conversations->receivedMessageCells())
        EXPECT_FALSE(static_cast<TimelineCellMessage&>(*cell).unread());

    // An account that never received a message: the sent fetch asks for everything newer than 0.
    auto newcomer = as("user0001@plumet.local");
    ASSERT_TRUE(sendMessage(*newcomer, demoId_, "第一次私信"));
    TimelineTestApp::context().setSelfUserId(userIdOf(*newcomer));
    auto theirs = std::make_unique<Controller>(QStringLiteral("PXListView"), QString::fromStdString(weibo::WEIBO_API_MESSAGE),
                                               newcomer, &host_);
    host_.drawerOpen = false;
    ASSERT_TRUE(runInBackgroundAndWait([&] { theirs->fetchMessagesWithMode(Controller::kModeInitial); }));
    EXPECT_TRUE(theirs->receivedMessageCells()->empty());
    ASSERT_EQ(theirs->dataOfCells()->size(), 1u);
    EXPECT_EQ(static_cast<TimelineCellMessageGroup&>(*theirs->dataOfCells()->front()).groupId(), demoId_);
    TimelineTestApp::context().setSelfUserId(demoId_);
}

TEST_F(TimelineE2E, CommentPagesOfFiftyMoveAtTheEndsOfTheList)
{
    auto zhang = as(kZhang);
    const std::uint64_t busy = postStatus(*weibo_, "一百二十条评论");
    const std::uint64_t exact = postStatus(*weibo_, "正好五十条评论");
    for (int i = 0; i < 120; ++i)
        ASSERT_NE(postComment(*zhang, busy, "评论 " + std::to_string(i)), 0u);
    for (int i = 0; i < 50; ++i)
        ASSERT_NE(postComment(*zhang, exact, "评论 " + std::to_string(i)), 0u);

    // The status rows as the home timeline shows them, with their counts.
    auto home = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    Options two;
    two.count_ = 2;
    home->fetchDataWithOptions(two, Controller::kModeInitial, true);
    auto rowOf = [&](std::uint64_t id) {
        for (const CellPtr& cell : *home->dataOfCells())
            if (cell->entityId() == id)
                return cell;
        return CellPtr();
    };
    ASSERT_TRUE(rowOf(busy) && rowOf(exact));
    EXPECT_EQ(static_cast<TimelineCellStatus&>(*rowOf(busy)).commentCount(), 120u);

    auto comments = make(weibo::WEIBO_API_TIMELINE_COMMENTS);
    PXListView* view = comments->listView();
    view->setSmoothScrolling(false);
    view->resize(400, 600);
    view->show();
    auto loadAndWait = [&](const std::function<void()>& start) {
        const std::size_t before = host_.commentDisplays.size();
        start();
        return waitUntil([&] { return host_.commentDisplays.size() > before; }, 30000);
    };
    host_.active = rowOf(busy);
    host_.activeId = busy;
    comments->setCommentPage(1);
    ASSERT_TRUE(loadAndWait([&] { comments->reloadCommentPageData(); }));
    EXPECT_EQ(comments->dataOfCells()->size(), 50u);
    EXPECT_EQ(comments->scrollMode(), 0u);
    EXPECT_EQ(host_.busyHistory.front(), QStringLiteral("正在载入此微博的评论第 1 页..."));
    EXPECT_TRUE(host_.busyEmpty());

    ASSERT_TRUE(loadAndWait([&] { comments->reloadPreappendData(); }));
    EXPECT_EQ(comments->commentPage(), 2u);
    EXPECT_EQ(comments->dataOfCells()->size(), 50u);
    ASSERT_TRUE(loadAndWait([&] { comments->reloadPreappendData(); }));
    EXPECT_EQ(comments->commentPage(), 3u);
    EXPECT_EQ(comments->dataOfCells()->size(), 20u);

    // The bottom of page 3 loads nothing, and the list stays usable.
    const std::size_t displays = host_.commentDisplays.size();
    comments->reloadPreappendData();
    EXPECT_EQ(comments->commentPage(), 3u);
    EXPECT_EQ(comments->scrollMode(), 0u);
    EXPECT_FALSE(waitUntil([&] { return host_.commentDisplays.size() > displays; }, 300));

    // Landing at the top with the load goes nowhere; scrolling back up to it goes back a page.
    comments->checkScrollerBound();
    EXPECT_EQ(comments->commentPage(), 3u);
    ASSERT_GT(view->maximumContentOffset(), 200);
    view->setContentOffset(200);
    ASSERT_TRUE(loadAndWait([&] { view->setContentOffset(0); }));
    EXPECT_EQ(comments->commentPage(), 2u);
    EXPECT_EQ(comments->dataOfCells()->size(), 50u);

    // Exactly 50 comments make one page.
    host_.active = rowOf(exact);
    host_.activeId = exact;
    comments->setCommentPage(1);
    ASSERT_TRUE(loadAndWait([&] { comments->reloadCommentPageData(); }));
    EXPECT_EQ(comments->dataOfCells()->size(), 50u);
    comments->reloadPreappendData();
    EXPECT_EQ(comments->commentPage(), 1u);

    // One comments list serves every status: a page asked for before the user opened another status never
    // replaces that status's comments, whichever answer comes last.
    host_.active = rowOf(busy);
    host_.activeId = busy;
    comments->setCommentPage(2);
    comments->reloadCommentPageData();
    host_.active = rowOf(exact);
    host_.activeId = exact;
    comments->setCommentPage(1);
    ASSERT_TRUE(loadAndWait([&] { comments->reloadCommentPageData(); }));
    EXPECT_TRUE(waitUntil([&] { return host_.busyEmpty(); }, 30000));
    ASSERT_EQ(comments->dataOfCells()->size(), 50u);
    for (const CellPtr& cell : *comments->dataOfCells())
        EXPECT_EQ(std::static_pointer_cast<TimelineCellComment>(cell)->comment()->status->id, exact);
}

TEST_F(TimelineE2E, FavouritesPastTheLastPageKeepThePageShown)
{
    auto favorites = make(weibo::WEIBO_API_FAVORITES);
    auto reloaded = [&](std::uint64_t page) {
        favorites->setCommentPage(page);
        favorites->reloadFavoritesPageData();
        return waitUntil([&] { return favorites->scrollMode() == 0u && host_.busyEmpty(); }, 30000);
    };
    ASSERT_TRUE(reloaded(1));
    EXPECT_EQ(favorites->dataOfCells()->size(), 20u);
    EXPECT_EQ(host_.busyHistory.front(), QStringLiteral("正在加载我的收藏第 1 页..."));

    // The 25 seeded favourites make a second page of 5; the bottom of it asks for a third, which is empty.
    ASSERT_TRUE(reloaded(2));
    const auto secondPage = idsOf(*favorites->dataOfCells());
    EXPECT_EQ(secondPage.size(), 5u);
    favorites->reloadPreappendData();
    EXPECT_TRUE(waitUntil([&] { return favorites->scrollMode() == 0u && host_.busyEmpty(); }, 30000));
    EXPECT_EQ(favorites->commentPage(), 2u);
    EXPECT_EQ(idsOf(*favorites->dataOfCells()), secondPage);
}

namespace {
// Records the id lists of the counts requests.
class CountingController : public PXListViewController {
public:
    using PXListViewController::PXListViewController;
    std::vector<std::size_t> batches;

protected:
    weibo::Reply<std::string> requestStatusCounts(const std::vector<std::uint64_t>& ids) override
    {
        if (!ids.empty())
            batches.push_back(ids.size());
        return PXListViewController::requestStatusCounts(ids);
    }
};
} // namespace

TEST_F(TimelineE2E, CountsAreRequestedInBatchesOfAtMostAHundredIds)
{
    auto zhang = as(kZhang);
    // 40 reposts and 20 plain statuses on top of the home timeline.
    auto plainOnes = make(weibo::WEIBO_API_TIMELINE_FRIENDS);
    Options someone;
    someone.count_ = 40;
    plainOnes->fetchDataWithOptions(someone, Controller::kModeInitial, true);
    ASSERT_EQ(plainOnes->dataOfCells()->size(), 40u);
    for (const CellPtr& cell : *plainOnes->dataOfCells()) {
        Options repost;
        repost.status_ = "转发一下";
        ASSERT_FALSE(weibo_->statusRepost(cell->entityId(), repost).value.empty());
    }
    for (int i = 0; i < 20; ++i)
        postStatus(*zhang, "不是转发 " + std::to_string(i));

    CountingController home(QStringLiteral("PXListView"), QString::fromStdString(weibo::WEIBO_API_TIMELINE_FRIENDS),
                            weibo_, &host_);
    Options all;
    all.count_ = 300;
    home.fetchDataWithOptions(all, Controller::kModeInitial, true);
    ASSERT_FALSE(home.batches.empty());
    for (std::size_t size : home.batches)
        EXPECT_LE(size, 100u);

    // 60 rows of which 40 are reposts: 100 ids, one request of 99 or 100 and one with what remains.
    CellArray reposts, plain;
    for (const CellPtr& cell : *home.dataOfCells()) {
        auto& status = static_cast<TimelineCellStatus&>(*cell);
        (status.status()->retweeted_status ? reposts : plain).push_back(cell);
    }
    ASSERT_GE(reposts.size(), 40u);
    ASSERT_GE(plain.size(), 20u);
    CellArray sixty(plain.begin(), plain.begin() + 20);
    sixty.insert(sixty.end(), reposts.begin(), reposts.begin() + 40);
    std::rotate(sixty.begin(), sixty.begin() + 7, sixty.end());

    // Fresh counts for one repost's original, to see them arrive.
    auto& sample = static_cast<TimelineCellStatus&>(*reposts.front());
    const std::uint64_t original = sample.status()->retweeted_status->id;
    postComment(*zhang, original, "给原微博的评论");
    const auto table = weibo::parseCounts(weibo_->statusCounts({original}));
    ASSERT_EQ(table.size(), 1u);
    const int expected = (*table.begin())->comments;

    home.batches.clear();
    home.updateCommentRepostCountsWithinCells(sixty);
    ASSERT_GE(home.batches.size(), 1u);
    ASSERT_LE(home.batches.size(), 2u);
    EXPECT_TRUE(home.batches[0] == 99u || home.batches[0] == 100u);
    std::size_t total = 0;
    for (std::size_t size : home.batches)
        total += size;
    EXPECT_EQ(total, 100u);
    EXPECT_EQ(sample.originalCommentCount(), std::uint64_t(expected));

    // No rows: no request, no change.
    home.batches.clear();
    home.updateCommentRepostCountsWithinCells(CellArray());
    EXPECT_TRUE(home.batches.empty());
}
