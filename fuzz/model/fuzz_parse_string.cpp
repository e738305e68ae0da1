// Every instantiation of parseString on the same bytes: the six record kinds share one entry point.
#include "FuzzParse.h"

using namespace weibo;
using namespace plumetfuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = textOf(data, size);

    const auto statuses = parseString<WBStatus>(text);
    requireAllValid(statuses);
    for (const auto& status : statuses)
        for (auto s = status; s; s = s->retweeted_status)
            require(s->user != nullptr);

    const auto comments = parseString<WBComment>(text);
    requireAllValid(comments);
    for (const auto& comment : comments)
        require(comment->user && comment->status);

    const auto messages = parseString<WBMessage>(text);
    requireAllValid(messages);
    for (const auto& message : messages)
        require(message->sender && message->recipient);

    requireAllValid(parseString<WBUser>(text));

    requireAllValid(parseString<WBEmotion>(text));

    requireAllValid(parseString<WBSuggestionAtUser>(text));
    return 0;
}
