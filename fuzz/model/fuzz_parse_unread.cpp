#include "FuzzParse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto unread = weibo::parseUnread(plumetfuzz::textOf(data, size));
    if (unread)
        unread->print();
    return 0;
}
