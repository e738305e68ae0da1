// The key is the short address's path; the fixtures file their video under "h4Dr2k".
#include "FuzzParse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = plumetfuzz::textOf(data, size);
    for (const char* key : {"h4Dr2k", ""}) {
        const auto video = weibo::parseVideo(text, key);
        if (video)
            video->isValid();
    }
    return 0;
}
