// The texts the cells build: name lines, footers, toolbars, reposts, comment quotes, bubbles and previews.
#include "CellTestSupport.h"
#include "QtPrinters.h"

#include "cells/DateTimesince.h"
#include "cells/TimelineCellComment.h"
#include "cells/TimelineCellMessage.h"
#include "cells/TimelineCellMessageGroup.h"
#include "cells/TimelineCellStatus.h"
#include "service/WeiboPaths.h"

#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

namespace {

const QString kAge = timesinceForDateString(QStringLiteral("Wed Aug 27 13:08:45 +0800 2008"));

QString id(const std::string& path)
{
    return QString::fromStdString(path);
}

} // namespace

TEST(StatusCell, PlainStatusShowsNameTextFooterAndToolbarWithoutCounts)
{
    ScopedContext scope(1000);
    auto cell = std::make_shared<TimelineCellStatus>(makeStatus(1, makeUser(7, "张三"), "你好"));
    FakeList list;
    cell->setListViewController(&list);
    bool determinate = false;
    const AttributedString text = cell->stringForTextView(determinate);
    EXPECT_TRUE(determinate);
    EXPECT_EQ(shown(text), QStringLiteral("张三\n你好\n\n来自Plumet   <cell_favorite.png:9>  <forword_icon.png:4>  "
                                          "<reply_icon.png:3>"));
    // The name links to its user, the client to its page; the name went to the completion pool.
    EXPECT_EQ(text.linkAt(0), LinkValue::fromScreenName(QStringLiteral("张三")));
    const int client = int(text.string().indexOf(QStringLiteral("Plumet")));
    EXPECT_EQ(text.linkAt(client).url, QUrl(QStringLiteral("http://127.0.0.1:8470/apps/plumet")));
    EXPECT_TRUE(text.linkAt(client - 1).isNull());
    EXPECT_TRUE(scope.context.totalNames().contains(QStringLiteral("张三")));
    EXPECT_EQ(cell->date(), kAge);
    EXPECT_FALSE(cell->isRemovable());
}

TEST(StatusCell, OwnFavouritedStatusWithCountsAndVerifiedAuthor)
{
    ScopedContext scope(7);
    auto status = makeStatus(1, makeUser(7, "张三", true), "你好");
    status->favorited = true;
    auto cell = std::make_shared<TimelineCellStatus>(status);
    cell->setRepostCount(12);
    cell->setCommentCount(0);
    EXPECT_TRUE(cell->isRemovable());
    bool determinate = false;
    EXPECT_EQ(shown(cell->stringForTextView(determinate)),
              QStringLiteral("张三 v\n你好\n\n来自Plumet   <remove.png:17>  <cell_favorite_highlight.png:9>  "
                             "<forword_icon.png:4> 12  <reply_icon.png:3>"));
    cell->setCommentCount(3);
    EXPECT_EQ(shown(cell->stringFromStatusToolbar(status, false)),
              QStringLiteral("<remove.png:17>  <cell_favorite_highlight.png:9>  <forword_icon.png:4> 12  "
                             "<reply_icon.png:3> 3"));
}

TEST(StatusCell, FooterNeedsAClientLinkFragment)
{
    ScopedContext scope;
    EXPECT_EQ(TimelineCellStatus::extractFromString(QStringLiteral("<a href=\"x\">n</a>"), QStringLiteral(">"),
                                                    QStringLiteral("</a>")),
              QStringLiteral("n"));
    EXPECT_EQ(TimelineCellStatus::extractFromString(QStringLiteral("no marks"), QStringLiteral("\""),
                                                    QStringLiteral("\"")),
              QString());
    EXPECT_EQ(TimelineCellStatus::extractFromString(QStringLiteral("one \" only"), QStringLiteral("\""),
                                                    QStringLiteral("\"")),
              QString());

    auto status = makeStatus(1, makeUser(7, "张三"), "t");
    auto cell = std::make_shared<TimelineCellStatus>(status);
    status->source = "网页";
    EXPECT_EQ(shown(cell->stringFromStatusFooter(status, false)),
              QStringLiteral("   <cell_favorite.png:9>  <forword_icon.png:4>  <reply_icon.png:3>"));
    status->source = "<a href=\"not an address\">客户端</a>";
    EXPECT_EQ(cell->stringFromStatusFooter(status, false).string().indexOf(QStringLiteral("来自")), -1);
    status->source = "<a href=\"http://127.0.0.1/a\"></a>";
    EXPECT_EQ(cell->stringFromStatusFooter(status, false).string().indexOf(QStringLiteral("来自")), -1);
}

TEST(StatusCell, RepostShowsTheRepostedBlockAndItsBoxFromOneLayout)
{
    ScopedContext scope;
    auto original = makeStatus(2, makeUser(8, "李四"), "原文 #天气# 很好");
    auto status = makeStatus(1, makeUser(7, "张三"), "转发一下");
    status->retweeted_status = original;
    auto cell = std::make_shared<TimelineCellStatus>(status);
    cell->setOriginalRepostCount(5);
    FakeList list(id(weibo::WEIBO_API_TIMELINE_FRIENDS), 400);
    cell->setListViewController(&list);

    bool determinate = false;
    const AttributedString text = cell->stringForTextView(determinate);
    EXPECT_EQ(shown(text), QStringLiteral("张三\n转发一下\n\n@李四\n原文 #天气# 很好\n") + kAge
                               + QStringLiteral(" 来自Plumet   <forword_icon.png:16> 5  <reply_icon.png:15>\n\n"
                                                "来自Plumet   <cell_favorite.png:9>  <forword_icon.png:4>  "
                                                "<reply_icon.png:3>"));
    // "@李四" links to 李四 without the "@"; the reposted author is not a completion name.
    const int at = int(text.string().indexOf(QStringLiteral("@李四")));
    EXPECT_EQ(text.linkAt(at), LinkValue::fromScreenName(QStringLiteral("李四")));
    EXPECT_FALSE(scope.context.totalNames().contains(QStringLiteral("李四")));

    ASSERT_TRUE(cell->calculateTextViewHeight());
    EXPECT_FALSE(cell->recalculateTextViewHeight());
    EXPECT_NEAR(cell->textViewHeight(), text.heightForWidth(400), 0.01);
    // Heights come from a document without colours and links; the document shown must come out as tall.
    EXPECT_NEAR(AttributedString::heightOfDocument(*text.toDocument(400), 400), cell->textViewHeight(), 0.01);

    // The box agrees with laying the two blocks out on their own.
    bool unused = true;
    AttributedString head = cell->stringFromStatus(status, false, unused);
    head.appendString(QStringLiteral("\n"));
    AttributedString reposted = cell->stringFromStatus(original, true, unused);
    reposted.appendString(QStringLiteral("\n"));
    reposted.append(cell->stringFromStatusFooter(original, true));
    const double h1 = head.heightForWidth(400), h2 = reposted.heightForWidth(400);
    const QRectF box = cell->retweetRect();
    EXPECT_DOUBLE_EQ(box.x(), 6);
    EXPECT_DOUBLE_EQ(box.width(), 388);
    EXPECT_NEAR(box.y(), h1 - 8, 0.5);
    EXPECT_NEAR(box.height(), h2 + 16, 0.5);

    // Only a stale height moves the box.
    list.setWidth(200);
    EXPECT_TRUE(cell->calculateTextViewHeight());
    EXPECT_EQ(cell->retweetRect(), box);
    cell->setRecalculateTextViewHeight(true);
    EXPECT_TRUE(cell->calculateTextViewHeight());
    EXPECT_DOUBLE_EQ(cell->retweetRect().width(), 188);
    EXPECT_GT(cell->textViewHeight(), text.heightForWidth(400));
}

TEST(StatusCell, MissingRecordFavouritesEqualityAndRemovability)
{
    ScopedContext scope(7);
    auto blank = std::make_shared<TimelineCellStatus>(nullptr);
    bool determinate = false;
    EXPECT_TRUE(blank->stringForTextView(determinate).isEmpty());
    EXPECT_TRUE(determinate);
    EXPECT_EQ(blank->entityId(), 0u);
    EXPECT_TRUE(blank->calculateTextViewHeight());
    EXPECT_EQ(blank->textViewHeight(), 0);

    auto status = makeStatus(5, makeUser(7, "我"), "x");
    TimelineCellStatus a(status), b(makeStatus(5, makeUser(8, "他"), "y"));
    TimelineCellFavorite favourite(status);
    TimelineCellComment comment(nullptr);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == favourite);
    EXPECT_FALSE(favourite == a);
    EXPECT_FALSE(a == TimelineCellStatus(makeStatus(6, makeUser(7, "我"), "x")));
    EXPECT_FALSE(blank->isEqual(comment)); // both 0, different classes
    EXPECT_TRUE(a.isRemovable());
    EXPECT_FALSE(b.isRemovable());
    EXPECT_TRUE(favourite.date().isEmpty());
    EXPECT_FALSE(a.date().isEmpty());
}

TEST(StatusCell, EmotionsNamesAndAddressesInTheBody)
{
    ScopedContext scope;
    QTemporaryDir dir;
    const QString emotion = dir.filePath(QStringLiteral("haha.png"));
    QImage(20, 22, QImage::Format_ARGB32).save(emotion);
    scope.context.mutableHotTextResources().setEmotionFile(QStringLiteral("哈哈"), emotion);

    auto cell = std::make_shared<TimelineCellStatus>(
        makeStatus(1, makeUser(7, "张三"), "[哈哈]@李四 看 http://127.0.0.1/abc?x [呵呵]"));
    bool determinate = false;
    const AttributedString text = cell->stringForTextView(determinate);
    EXPECT_TRUE(shown(text).startsWith(QStringLiteral("张三\n<[哈哈]:0>@李四 看 http://127.0.0.1/abc?x [呵呵]\n\n")));
    EXPECT_EQ(text.plainString().left(40).indexOf(QStringLiteral("[哈哈]@李四")), 3);
    const auto picture = text.attachmentAt(3);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->baselineOffset(), -6);
    EXPECT_EQ(picture->cellSize(), QSizeF(20, 16));
    EXPECT_EQ(text.linkAt(5), LinkValue::fromScreenName(QStringLiteral("李四")));
    EXPECT_TRUE(cell->checkedURLPaths().contains(QStringLiteral("abc")));
}

TEST(CommentCell, QuotesDependOnTheList)
{
    ScopedContext scope(7);
    auto comment = boost::make_shared<weibo::WBComment>();
    comment->id = 50;
    comment->text = "说得好";
    comment->user = makeUser(9, "王五");
    comment->status = makeStatus(1, makeUser(7, "我"), "原微博");
    auto cell = std::make_shared<TimelineCellComment>(comment);
    bool determinate = false;

    FakeList ofStatus(id(weibo::WEIBO_API_TIMELINE_COMMENTS));
    cell->setListViewController(&ofStatus);
    EXPECT_EQ(shown(cell->stringForTextView(determinate)), QStringLiteral("王五\n说得好\n<reply_icon.png:7>"));
    EXPECT_TRUE(determinate);

    FakeList toMe(id(weibo::WEIBO_API_TIMELINE_COMMENTS_TO_ME));
    cell->setListViewController(&toMe);
    EXPECT_EQ(shown(cell->stringForTextView(determinate)),
              QStringLiteral("王五\n说得好\n\n评论我的微博：\n原微博\n<reply_icon.png:6>"));
    auto replied = boost::make_shared<weibo::WBComment>();
    replied->text = "我的评论";
    replied->user = makeUser(7, "我");
    comment->reply_comment = replied;
    EXPECT_EQ(shown(cell->stringForTextView(determinate)),
              QStringLiteral("王五\n说得好\n\n回复我的评论：\n我的评论\n<reply_icon.png:6>"));

    // Comments written by the signed-in user: their own, so removable, and no reply icon.
    comment->user = makeUser(7, "我");
    replied->user = makeUser(9, "王五");
    FakeList byMe(id(weibo::WEIBO_API_TIMELINE_COMMENTS_BY_ME));
    cell->setListViewController(&byMe);
    AttributedString text = cell->stringForTextView(determinate);
    EXPECT_EQ(shown(text), QStringLiteral("我\n说得好\n\n回复王五的评论:\n我的评论\n<remove.png:18>  "));
    const int name = int(text.string().indexOf(QStringLiteral("王五")));
    EXPECT_EQ(text.linkAt(name), LinkValue::fromScreenName(QStringLiteral("王五")));
    EXPECT_TRUE(text.linkAt(name - 1).isNull());
    EXPECT_TRUE(text.linkAt(name + 2).isNull());

    // A replied comment without text shows no quote at all, not the status instead.
    replied->text.clear();
    EXPECT_EQ(shown(cell->stringForTextView(determinate)), QStringLiteral("我\n说得好\n\n\n<remove.png:18>  "));
    comment->reply_comment.reset();
    comment->status->user = makeUser(8, "李四");
    EXPECT_EQ(shown(cell->stringForTextView(determinate)),
              QStringLiteral("我\n说得好\n\n评论李四的微博:\n原微博\n<remove.png:18>  "));
    comment->status->user = makeUser(8, "");
    EXPECT_EQ(shown(cell->stringForTextView(determinate)), QStringLiteral("我\n说得好\n\n\n<remove.png:18>  "));

    // Any other list: no quote, no reply icon; another user's comment has no toolbar at all.
    comment->user = makeUser(9, "王五");
    FakeList mentions(id(weibo::WEIBO_API_TIMELINE_MENTIONS));
    cell->setListViewController(&mentions);
    EXPECT_EQ(shown(cell->stringForTextView(determinate)), QStringLiteral("王五\n说得好"));
    EXPECT_EQ(cell->entityId(), 50u);
    EXPECT_EQ(cell->entityName(), QStringLiteral("王五"));
}

TEST(CommentCell, StylesTheWholeTextAndRightAlignsTheToolbar)
{
    ScopedContext scope(7);
    auto comment = boost::make_shared<weibo::WBComment>();
    comment->id = 1;
    comment->text = "第一行\n第二行";
    comment->user = makeUser(7, "我");
    TimelineCellComment cell(comment);
    FakeList list(id(weibo::WEIBO_API_TIMELINE_COMMENTS));
    cell.setListViewController(&list);
    bool determinate = false;
    const auto document = cell.stringForTextView(determinate).toDocument();
    const Appearance& appearance = scope.context.appearance();
    ASSERT_EQ(document->blockCount(), 4);
    for (int i = 0; i < 3; ++i) {
        const QTextBlock block = document->findBlockByNumber(i);
        EXPECT_EQ(block.blockFormat().lineHeight(), 5);
        EXPECT_NE(block.blockFormat().alignment() & Qt::AlignRight, Qt::AlignRight);
        EXPECT_EQ(block.begin().fragment().charFormat().font().pointSizeF(), appearance.bodyFont().pointSizeF());
    }
    EXPECT_EQ(document->lastBlock().blockFormat().alignment() & Qt::AlignRight, Qt::AlignRight);
}

namespace {

boost::shared_ptr<weibo::WBMessage> makeMessage(uint64_t id, uint64_t from, uint64_t to, const std::string& text)
{
    auto message = boost::make_shared<weibo::WBMessage>();
    message->id = id;
    message->sender_id = from;
    message->recipient_id = to;
    message->sender = makeUser(from, from == 7 ? "我" : "对方");
    message->recipient = makeUser(to, to == 7 ? "我" : "对方");
    message->text = text;
    message->created_at = "Sat Mar 02 09:05:00 +0000 2024";
    return message;
}

} // namespace

TEST(MessageCell, DirectionAndDates)
{
    ScopedContext scope(7);
    TimelineCellMessage sent(makeMessage(1, 7, 9, "hi")), received(makeMessage(2, 9, 7, "hello"));
    EXPECT_TRUE(sent.isSentFromMe());
    EXPECT_EQ(sent.otherId(), 9u);
    EXPECT_EQ(sent.otherName(), QStringLiteral("对方"));
    EXPECT_EQ(sent.entityName(), QStringLiteral("对方"));
    EXPECT_EQ(sent.profileImageURLString(), QStringLiteral("http://127.0.0.1:9/avatar/7.png"));
    EXPECT_EQ(sent.otherImageURLString(), QStringLiteral("http://127.0.0.1:9/avatar/9.png"));
    EXPECT_FALSE(received.isSentFromMe());
    EXPECT_EQ(received.otherId(), 9u);
    EXPECT_EQ(received.profileImageURLString(), QStringLiteral("http://127.0.0.1:9/avatar/7.png"));

    const QDateTime when = QDateTime(QDate(2024, 3, 2), QTime(9, 5), Qt::UTC).toLocalTime();
    EXPECT_EQ(sent.date(), when.toString(QStringLiteral("MM-dd\nHH:mm")));
    TimelineCellMessageGroup group({std::make_shared<TimelineCellMessage>(makeMessage(1, 7, 9, "x"))});
    EXPECT_EQ(group.date(), when.toString(QStringLiteral("MM-dd HH:mm")));
    TimelineCellMessage unreadable(makeMessage(3, 9, 7, "x"));
    unreadable.message()->created_at = "yesterday";
    EXPECT_TRUE(unreadable.date().isEmpty());
}

TEST(MessageCell, BubbleGeometryAtTheBoundaries)
{
    // Short messages: narrow bubble at their side; at exactly w - 48 the message counts as long.
    EXPECT_EQ(TimelineCellMessage::bubbleRect(400, 100, 20, true), QRectF(400 - 110 - 12, 0, 110, 30));
    EXPECT_EQ(TimelineCellMessage::bubbleRect(400, 100, 20, false), QRectF(12, 0, 110, 30));
    EXPECT_EQ(TimelineCellMessage::bubbleRect(400, 352, 20, true), QRectF(12, 0, 376, 30));
    EXPECT_EQ(TimelineCellMessage::bubbleRect(400, 351.5, 20, true), QRectF(400 - 361.5 - 12, 0, 361.5, 30));
    EXPECT_TRUE(TimelineCellMessage::alignsRight(400, 351.5, true));
    EXPECT_FALSE(TimelineCellMessage::alignsRight(400, 352, true));
    EXPECT_FALSE(TimelineCellMessage::alignsRight(400, 100, false));

    // The cell measures its own text: one word sent by the user sits at the right edge, right-aligned.
    ScopedContext scope(7);
    auto cell = std::make_shared<TimelineCellMessage>(makeMessage(1, 7, 9, "hi"));
    FakeList chat(QStringLiteral("/direct_messages/chat"), 400);
    cell->setListViewController(&chat);
    bool determinate = false;
    AttributedString text = cell->stringForTextView(determinate);
    EXPECT_TRUE(determinate);
    const auto document = text.toDocument();
    EXPECT_EQ(document->firstBlock().blockFormat().alignment() & Qt::AlignRight, Qt::AlignRight);
    EXPECT_EQ(document->firstBlock().blockFormat().leftMargin(), 12);
    EXPECT_EQ(document->firstBlock().blockFormat().rightMargin(), 12);
    ASSERT_TRUE(cell->calculateTextViewHeight());
    const QRectF bubble = cell->rect();
    AttributedString measured = cell->stringForMessageText();
    measured.setFont(scope.context.appearance().bodyFont());
    const double t = measured.size().width();
    EXPECT_GT(t, 0);
    EXPECT_DOUBLE_EQ(bubble.width(), t + 10);
    EXPECT_DOUBLE_EQ(bubble.x(), 400 - (t + 10) - 12);
    EXPECT_DOUBLE_EQ(bubble.height(), cell->textViewHeight() + 10);

    // The same text at a width of exactly t + 48 fills the width, naturally aligned.
    chat.setWidth(t + 48);
    cell->setRecalculateTextViewHeight(true);
    text = cell->stringForTextView(determinate);
    EXPECT_NE(text.toDocument()->firstBlock().blockFormat().alignment() & Qt::AlignRight, Qt::AlignRight);
    ASSERT_TRUE(cell->calculateTextViewHeight());
    EXPECT_EQ(cell->rect().x(), 12);
    EXPECT_DOUBLE_EQ(cell->rect().width(), t + 24);
}

TEST(MessageGroupCell, SortsCountsClearsAndPreviews)
{
    ScopedContext scope(7);
    QTemporaryDir dir;
    const QString emotion = dir.filePath(QStringLiteral("x.png"));
    QImage(16, 16, QImage::Format_ARGB32).save(emotion);
    scope.context.mutableHotTextResources().setEmotionFile(QStringLiteral("哈哈"), emotion);

    auto m5 = std::make_shared<TimelineCellMessage>(makeMessage(5, 9, 7, "旧"));
    auto m9 = std::make_shared<TimelineCellMessage>(
        makeMessage(9, 9, 7, "@张三 看 http://127.0.0.1/abc #话题# [哈哈]"));
    auto m7 = std::make_shared<TimelineCellMessage>(makeMessage(7, 7, 9, "中"));
    auto m3 = std::make_shared<TimelineCellMessage>(makeMessage(3, 9, 7, "更旧"));
    TimelineCellMessageGroup group({m5, m9, m7, m3});
    EXPECT_EQ(group.entityId(), 5u);
    group.sortMessages();
    ASSERT_EQ(group.messages().size(), 4u);
    EXPECT_EQ(group.messages()[0]->entityId(), 9u);
    EXPECT_EQ(group.messages()[1]->entityId(), 7u);
    EXPECT_EQ(group.messages()[2]->entityId(), 5u);
    EXPECT_EQ(group.entityId(), 9u);
    EXPECT_EQ(group.groupId(), 9u);
    EXPECT_EQ(group.entityName(), QStringLiteral("对方"));
    EXPECT_EQ(group.profileImageURLString(), QStringLiteral("http://127.0.0.1:9/avatar/9.png"));

    m9->setUnread(true);
    m7->setUnread(true);
    m3->setUnread(true);
    EXPECT_EQ(group.unreadMessages(), 3);
    group.clearUnreadMessages();
    EXPECT_FALSE(m9->unread());
    EXPECT_FALSE(m7->unread());
    EXPECT_TRUE(m3->unread()); // behind the read 5
    EXPECT_EQ(group.unreadMessages(), 1);
    // A reply of one's own on top of an unread message: opening the conversation reads that message too.
    auto m11 = std::make_shared<TimelineCellMessage>(makeMessage(11, 7, 9, "好的"));
    auto m10 = std::make_shared<TimelineCellMessage>(makeMessage(10, 9, 7, "在吗"));
    m10->setUnread(true);
    TimelineCellMessageGroup replied({m11, m10, m5});
    replied.sortMessages();
    replied.clearUnreadMessages();
    EXPECT_EQ(replied.unreadMessages(), 0);

    bool determinate = false;
    const AttributedString preview = group.stringForTextView(determinate);
    EXPECT_EQ(shown(preview), QStringLiteral("对方\n@张三 看 http://127.0.0.1/abc #话题# <[哈哈]:0>"));
    EXPECT_EQ(preview.linkAt(0), LinkValue::fromScreenName(QStringLiteral("对方")));
    for (int i = 3; i < preview.length(); ++i)
        EXPECT_TRUE(preview.linkAt(i).isNull()) << i;

    TimelineCellMessageGroup empty({});
    EXPECT_EQ(empty.entityId(), 0u);
    EXPECT_TRUE(empty.stringForTextView(determinate).isEmpty());
}
