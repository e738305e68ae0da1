#include "timeline/ListLoader.h"

#include "platform/Dispatch.h"

std::unique_lock<std::recursive_mutex> ListLoader::turn()
{
    if (platform::isMainThread())
        return std::unique_lock<std::recursive_mutex>();
    return std::unique_lock<std::recursive_mutex>(turn_);
}

bool ListLoader::applyOnMain(std::uint64_t generation, const std::function<void()>& apply)
{
    bool ran = false;
    auto onMain = [&] {
        if (alive_.expired() || !isCurrent(generation))
            return;
        apply();
        ran = true;
    };
    if (platform::isMainThread())
        onMain();
    else
        platform::dispatchMainSync(onMain);  // dropped when the main queue has closed: nothing applied then
    return ran;
}
