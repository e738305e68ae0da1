#include "platform/BusyText.h"

#include <mutex>

struct BusyText::Holder {
    explicit Holder(std::function<void()> r) : remove(std::move(r)) {}
    ~Holder() { take(); }

    void take()
    {
        std::function<void()> once;
        {
            std::lock_guard<std::mutex> guard(lock);
            once.swap(remove);
        }
        if (once)
            once();
    }
    bool active()
    {
        std::lock_guard<std::mutex> guard(lock);
        return bool(remove);
    }

    std::mutex lock;  // guards remove
    std::function<void()> remove;
};

BusyText::BusyText(std::function<void()> remove)
    : holder_(std::make_shared<Holder>(std::move(remove)))
{
}

void BusyText::done() const
{
    if (holder_)
        holder_->take();
}

bool BusyText::active() const
{
    return holder_ && holder_->active();
}
