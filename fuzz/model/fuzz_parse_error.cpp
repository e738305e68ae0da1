#include "FuzzParse.h"

using namespace plumetfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error = "before", code = "before";
    weibo::parseError(textOf(data, size), error, code);
    return 0;
}
