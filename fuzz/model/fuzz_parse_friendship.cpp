#include "FuzzParse.h"

using namespace plumetfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto friendship = weibo::parseFriendship(textOf(data, size));
    if (friendship)
        require(friendship->source && friendship->target);
    return 0;
}
