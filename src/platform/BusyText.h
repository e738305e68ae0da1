#pragma once
// One operation's text on the busy line. The line's owner makes it; the text stays on the line while any copy of
// the BusyText lives and goes when the last copy goes (or done() is called), on whatever thread that happens.
// Only this text goes: an operation never takes away another one's text, and no text outlives its operation.
#include <functional>
#include <memory>

class BusyText {
public:
    BusyText() = default;
    // `remove` takes the text off the line; it runs once, from any thread.
    explicit BusyText(std::function<void()> remove);

    // Takes the text off the line now (every copy is then done).
    void done() const;
    bool active() const;

private:
    struct Holder;
    std::shared_ptr<Holder> holder_;
};
