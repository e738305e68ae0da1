#include "FuzzParse.h"

using namespace plumetfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int previous = -7, next = -7, total = -7;
    const auto members = weibo::parseListMembers(textOf(data, size), previous, next, total);
    requireAllValid(members);
    for (const auto& member : members)
        require(member->user != nullptr);
    // An unusable answer must stop a caller that pages until the next cursor is 0.
    if (members.empty() && next == -7)
        __builtin_trap();
    return 0;
}
