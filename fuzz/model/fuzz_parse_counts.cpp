#include "FuzzParse.h"

using namespace plumetfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const weibo::WBCountTable table = weibo::parseCounts(textOf(data, size));
    for (const auto& count : table) {
        require(count != nullptr);
        require(table.count(count->status_id) == 1);
    }
    return 0;
}
