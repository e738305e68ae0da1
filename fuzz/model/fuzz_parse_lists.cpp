#include "FuzzParse.h"

using namespace plumetfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto lists = weibo::parseLists(textOf(data, size));
    requireAllValid(lists);
    for (const auto& list : lists)
        require(list->user != nullptr);
    return 0;
}
