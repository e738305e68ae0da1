#include "StoreTestSupport.h"
#include "ChildProcess.h"
#include "store/TimelineStore.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace store;
using namespace storetest;
namespace fs = std::filesystem;

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plumet-store-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = root_ + "/timelines";
    }
    void TearDown() override { fs::remove_all(root_); }

    std::unique_ptr<TimelineStore> open(const std::string& account = "1404376560") {
        TimelineStore::Opened opened = TimelineStore::open(folder_, account, 0);
        EXPECT_TRUE(opened.store) << opened.notice;
        EXPECT_EQ(opened.notice, "");
        return std::move(opened.store);
    }

    // One number from the file, read past the store.
    static std::int64_t query(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        std::int64_t value = -1;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
                value = sqlite3_column_int64(stmt, 0);
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
        return value;
    }

    static unsigned mode(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
    }

    std::string root_;
    std::string folder_;
};

std::vector<std::uint64_t> idsOf(const StoredList& list) {
    std::vector<std::uint64_t> ids;
    for (const Row& row : list.rows)
        ids.push_back(row.id());
    return ids;
}

template <class Record>
std::string fields(const boost::shared_ptr<Record>& record) {
    std::ostringstream out;
    record->print(out);
    return out.str();
}

} // namespace

TEST_F(StoreTest, RestartKeepsEveryListItsUnreadMarksGapsAndPosition) {
    std::map<ListKind, std::vector<Row>> saved;
    {
        auto store = open();
        for (ListKind kind : kAllLists) {
            std::vector<Row> rows = rowsOf(kind, 900 + static_cast<int>(kind) * 1000, 40, "列表" + std::to_string(int(kind)));
            rows[0].unread = rows[1].unread = rows[25].unread = true;  // unread below the fold too
            rows.insert(rows.begin() + 10, Row(Gap {rows[10].id(), rows[9].id()}));
            rows.push_back(rows[3]);  // the same record on a second row
            saved[kind] = rows;
            store->save(kind, rows);
            store->savePosition(kind, Position {rows[12].id(), -37});
        }
        // The flag read when the row was made is the one kept, whatever the record says by the time it is written.
        std::get<boost::shared_ptr<weibo::WBStatus>>(saved[ListKind::Home][2].entry)->favorited = true;
        store->setFact("LastReached", "1700000000");
    }
    std::get<boost::shared_ptr<weibo::WBStatus>>(saved[ListKind::Home][2].entry)->favorited = false;

    auto store = open();
    EXPECT_EQ(store->fact("LastReached"), std::optional<std::string>("1700000000"));
    EXPECT_EQ(store->fact("nothing"), std::nullopt);
    for (ListKind kind : kAllLists) {
        // The badges' figures come before the list is read.
        EXPECT_EQ(store->summary(kind), (ListSummary {42, 3, saved[kind][0].id()}));
        const StoredList list = store->read(kind);
        const std::vector<Row>& rows = saved[kind];
        ASSERT_EQ(idsOf(list), idsOf(StoredList {rows, {}})) << int(kind);
        EXPECT_EQ(list.position, (Position {rows[12].id(), -37}));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(list.rows[i].unread, rows[i].unread) << int(kind) << " row " << i;
            EXPECT_EQ(list.rows[i].entry.index(), rows[i].entry.index());
            std::visit([&](const auto& record) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(record)>, Gap>)
                    EXPECT_EQ(fields(record), fields(std::get<std::decay_t<decltype(record)>>(rows[i].entry)));
                else
                    EXPECT_EQ(record, std::get<Gap>(rows[i].entry));
            }, list.rows[i].entry);
        }
    }
}

TEST_F(StoreTest, WritesOnlyWhatChangedAndKeepsNoRowTheListDropped) {
    const std::string path = TimelineStore::pathFor(folder_, "1404376560");
    {
        auto store = open();
        // Long texts, so that the list fills more than a megabyte.
        std::string text;
        for (int i = 0; i < 300; ++i)
            text += "旧";
        store->save(ListKind::Home, rowsOf(ListKind::Home, 5000, 1100, text));
        ASSERT_TRUE(store->flush());
        EXPECT_EQ(store->statistics().recordsWritten, TimelineStore::kMaxRows);
    }
    auto store = open();
    StoredList home = store->read(ListKind::Home);
    ASSERT_EQ(home.rows.size(), TimelineStore::kMaxRows);

    // The same rows with their marks changed: no JSON written again.
    for (Row& row : home.rows)
        row.unread = true;
    store->save(ListKind::Home, home.rows);
    ASSERT_TRUE(store->flush());
    EXPECT_EQ(store->statistics().recordsWritten, 0u);

    // A merge of 100 new on top pushes the 100 oldest out: only the new are written, the dropped leave the file.
    std::vector<Row> merged = rowsOf(ListKind::Home, 6100, 100, "新");
    merged.insert(merged.end(), home.rows.begin(), home.rows.end() - 100);
    // A favourite flag changed in place is written again.
    std::get<boost::shared_ptr<weibo::WBStatus>>(merged[500].entry)->favorited = true;
    merged[500] = Row(std::get<boost::shared_ptr<weibo::WBStatus>>(merged[500].entry), true);
    store->save(ListKind::Home, merged);
    ASSERT_TRUE(store->flush());
    EXPECT_EQ(store->statistics().recordsWritten, 101u);
    EXPECT_EQ(query(path, "SELECT count(*) FROM records WHERE list = 1"), 1024);
    EXPECT_EQ(query(path, "SELECT count(*) FROM list_rows WHERE list = 1"), 1024);

    // Emptied, the list leaves nothing behind, and the file gives its pages back.
    store->save(ListKind::Home, {});
    ASSERT_TRUE(store->flush());
    EXPECT_EQ(query(path, "SELECT count(*) FROM records"), 0);
    EXPECT_EQ(store->statistics().compactions, 1u);
    EXPECT_LT(query(path, "PRAGMA freelist_count"), 256);
    store.reset();
    EXPECT_TRUE(open()->read(ListKind::Home).rows.empty());
}

TEST_F(StoreTest, FilesAreOwnerOnlyAndStayInTheirFolder) {
    fs::create_directories(folder_);
    fs::permissions(folder_, fs::perms::all);
    {
        auto store = open("../../escaped");
        store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 3, "x"));
        ASSERT_TRUE(store->flush());
        EXPECT_EQ(fs::path(store->path()).parent_path(), fs::path(folder_));
        EXPECT_EQ(mode(folder_), 0700u);
        for (const char* file : {"", "-wal", "-shm"})
            EXPECT_EQ(mode(store->path() + file), 0600u) << file;
    }
    // A file that some earlier tool left readable by others is made owner-only again.
    const std::string path = TimelineStore::pathFor(folder_, "../../escaped");
    ::chmod(path.c_str(), 0644);
    open("../../escaped");
    EXPECT_EQ(mode(path), 0600u);
}

TEST_F(StoreTest, NewerOrUnreadableFilesAreMovedAsideWithANotice) {
    const std::string path = TimelineStore::pathFor(folder_, "7");
    auto writeStore = [&] {
        auto store = open("7");
        store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 200, "留着"));
        store->setFact("k", "v");
    };
    auto expectMovedAside = [&](const std::string& what, const char* why, const std::string& headline) -> std::string {
        TimelineStore::Opened opened = TimelineStore::open(folder_, "7", 0);
        EXPECT_TRUE(opened.store) << what;
        if (!opened.store)
            return std::string();
        EXPECT_EQ(opened.notice.rfind(headline, 0), 0u) << what << ": " << opened.notice;
        EXPECT_NE(opened.notice.find(opened.movedAside), std::string::npos) << what;
        EXPECT_EQ(opened.movedAside.rfind(path + "." + why + "-", 0), 0u) << what << ": " << opened.movedAside;
        EXPECT_TRUE(fs::exists(opened.movedAside)) << what;
        EXPECT_TRUE(opened.store->read(ListKind::Home).rows.empty()) << what;
        EXPECT_EQ(opened.store->fact("k"), std::nullopt) << what;
        opened.store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 1, "新的"));
        EXPECT_TRUE(opened.store->flush()) << what;
        return opened.movedAside;
    };

    writeStore();
    ASSERT_EQ(query(path, "PRAGMA user_version=2"), -1);
    const std::string newer = expectMovedAside("newer", "newer", "本机保存的时间线来自更新版本的 Plumet，本版本无法读取");
    // Moved, not changed: a newer Plumet still finds everything in it.
    EXPECT_EQ(query(newer, "SELECT count(*) FROM list_rows"), 200);

    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(8192, '\x5a');
    expectMovedAside("garbage", "unreadable", "本机保存的时间线已损坏，无法读取");

    fs::remove(path);
    query(path + ".tmp", "CREATE TABLE other(x)");  // someone else's database under our name
    fs::rename(path + ".tmp", path);
    expectMovedAside("foreign", "unreadable", "本机保存的时间线已损坏，无法读取");

    // Pages damaged behind an intact header are met by the first read that needs them: the same, with the
    // notice given then.
    fs::remove(path);
    writeStore();
    auto store = open("7");
    {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(4096);
        file << std::string(fs::file_size(path) - 4096, '\xff');
    }
    EXPECT_TRUE(store->read(ListKind::Home).rows.empty());
    const std::string notice = store->takeNotice();
    EXPECT_EQ(notice.rfind("本机保存的时间线已损坏，无法读取", 0), 0u) << notice;
    EXPECT_EQ(store->takeNotice(), "");
    store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 1, "新的"));
    ASSERT_TRUE(store->flush());
    store.reset();
    EXPECT_EQ(open("7")->read(ListKind::Home).rows.size(), 1u);

    // Nothing was deleted along the way: four copies beside the store.
    std::size_t aside = 0;
    for (const auto& entry : fs::directory_iterator(folder_))
        aside += entry.path().filename().string().find(".sqlite.") != std::string::npos &&
                 entry.path().string().find("-wal") == std::string::npos &&
                 entry.path().string().find("-shm") == std::string::npos;
    EXPECT_EQ(aside, 4u);
}

// A file another connection keeps locked (a second start of the same account) is not taken for damaged.
TEST_F(StoreTest, AFileLockedElsewhereIsLeftWhereItIs) {
    open("5")->save(ListKind::Home, rowsOf(ListKind::Home, 10, 3, "x"));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(TimelineStore::pathFor(folder_, "5").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
              SQLITE_OK);
    const TimelineStore::Opened locked = TimelineStore::open(folder_, "5", 0);  // waits out the busy timeout
    EXPECT_FALSE(locked.store);
    EXPECT_EQ(locked.movedAside, "");
    EXPECT_EQ(locked.notice, "无法在“" + folder_ + "”保存时间线，本次运行的时间线不会留到下次启动。");
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(open("5")->read(ListKind::Home).rows.size(), 3u);
}

TEST_F(StoreTest, RemovingAnAccountDeletesAllItsFilesAndNoOthers) {
    auto kept = open("11");
    kept->save(ListKind::Home, rowsOf(ListKind::Home, 10, 5, "别人的"));
    ASSERT_TRUE(kept->flush());
    {
        auto store = open("1");
        store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 5, "x"));
    }
    std::ofstream(TimelineStore::pathFor(folder_, "1")) << "garbage";
    TimelineStore::Opened reopened = TimelineStore::open(folder_, "1", 0);  // one copy moved aside
    ASSERT_FALSE(reopened.movedAside.empty());
    reopened.store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 5, "x"));
    ASSERT_TRUE(reopened.store->flush());
    ASSERT_TRUE(fs::exists(reopened.store->path() + "-wal"));

    reopened.store->discard();  // the open store of the account being deleted
    reopened.store->save(ListKind::Home, rowsOf(ListKind::Home, 10, 5, "晚了"));  // brings nothing back
    reopened.store.reset();
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string> {"11.sqlite", "11.sqlite-shm", "11.sqlite-wal"}));
    EXPECT_EQ(kept->read(ListKind::Home).rows.size(), 5u);
    kept.reset();
    EXPECT_TRUE(TimelineStore::remove(folder_, "11"));
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(StoreTest, HandOversFromSeveralThreadsEndWithTheLatest) {
    auto store = open();
    auto handOver = [&store](ListKind kind) {
        for (std::uint64_t round = 1; round <= 50; ++round) {
            store->save(kind, rowsOf(kind, round * 1000, 20, std::to_string(round)));
            store->savePosition(kind, Position {round, 0});
            store->setFact(std::to_string(int(kind)), std::to_string(round));
            if (round % 10 == 0)
                store->flush();
        }
    };
    std::thread home(handOver, ListKind::Home);
    std::thread comments(handOver, ListKind::CommentsReceived);
    handOver(ListKind::MessagesSent);
    home.join();
    comments.join();
    ASSERT_TRUE(store->flush());
    store.reset();
    store = open();
    for (ListKind kind : {ListKind::Home, ListKind::CommentsReceived, ListKind::MessagesSent}) {
        const StoredList list = store->read(kind);
        ASSERT_EQ(list.rows.size(), 20u);
        EXPECT_EQ(textOf(list.rows.back()), "50");
        EXPECT_EQ(list.position.topId, 50u);
        EXPECT_EQ(store->fact(std::to_string(int(kind))), std::optional<std::string>("50"));
    }
}

// A store killed in the middle of a write opens as it was after its last transaction: every list, position and
// fact of one generation, none half-written, and the file is not taken for damaged.
TEST_F(StoreTest, KillDuringAWriteLeavesTheLastCommittedTransaction) {
    testsupport::ChildProcess child;
    ASSERT_TRUE(child.start({PLUMET_STORE_CHILD, folder_}));
    const std::string output = child.readOutput("writing 3\n", 60000);
    ASSERT_NE(output.find("writing 3\n"), std::string::npos) << output;
    ASSERT_TRUE(child.wait(60000));
    EXPECT_EQ(child.exitCode(), -1) << "not killed";

    auto store = open("42");
    const std::optional<std::string> fact = store->fact("generation");
    ASSERT_TRUE(fact);
    const std::uint64_t generation = std::stoull(*fact);
    EXPECT_EQ(generation, 2u);
    const std::string text = "第" + *fact + "代";
    for (ListKind kind : {ListKind::Home, ListKind::CommentsReceived, ListKind::MessagesReceived}) {
        const StoredList list = store->read(kind);
        EXPECT_EQ(list.rows.size(), 724 + generation % 3 * 100) << int(kind);
        for (const Row& row : list.rows)
            ASSERT_EQ(textOf(row), text) << int(kind);
        EXPECT_EQ(list.position, (Position {generation, static_cast<int>(generation % 50)}));
    }
}
