// Writes one generation of three full lists, their positions and a fact after another into the store in <folder>,
// each generation in one transaction, and kills itself with SIGKILL in the middle of the third generation's write:
// after the first list's rows have been replaced, while the second list's records go in. Prints "writing N" when
// generation N is handed over.
//   store_writer_child <folder>
#include "StoreTestSupport.h"
#include "store/TimelineStore.h"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<std::uint64_t> writingGeneration {0};
std::atomic<int> changes {0};
// Record changes of the third generation before the kill: its first list puts in 724 records and takes out the
// 924 of the second generation, then replaces its rows; the 2000th change is a record of the second list.
constexpr int kChangesBeforeKill = 2000;

void onChange(void*, int, const char*, const char*, sqlite3_int64) {
    if (writingGeneration.load() == 3 && changes.fetch_add(1) + 1 == kChangesBeforeKill)
        ::kill(::getpid(), SIGKILL);
}

// Every connection the process opens (the store's) gets the hook.
int watchConnection(sqlite3* db, char**, const sqlite3_api_routines*) {
    sqlite3_update_hook(db, onChange, nullptr);
    return SQLITE_OK;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(watchConnection));
    // Nothing is written until flush(), so each generation goes in as one transaction.
    store::TimelineStore::Opened opened = store::TimelineStore::open(argv[1], "42", 3600 * 1000);
    if (!opened.store)
        return 1;
    const store::ListKind kinds[] = {store::ListKind::Home, store::ListKind::CommentsReceived,
                                     store::ListKind::MessagesReceived};
    for (std::uint64_t generation = 1;; ++generation) {
        const std::string text = "第" + std::to_string(generation) + "代";
        for (store::ListKind kind : kinds) {
            // Every record new, and a length that differs from the last generation's, so a half-written list shows.
            opened.store->save(kind, storetest::rowsOf(kind, generation * 100000, 724 + generation % 3 * 100, text));
            opened.store->savePosition(kind, store::Position {generation, static_cast<int>(generation % 50)});
        }
        opened.store->setFact("generation", std::to_string(generation));
        std::printf("writing %llu\n", static_cast<unsigned long long>(generation));
        std::fflush(stdout);
        writingGeneration = generation;
        if (!opened.store->flush(60000))
            return 1;
    }
}
