#pragma once
// Opening addresses in the user's default browser. Replaceable, so tests see what would be opened and no test
// ever starts a browser (the tests' set-up installs an opener that refuses).
#include <QUrl>

#include <functional>

namespace platform {

class Browser {
public:
    using Opener = std::function<bool(const QUrl& url)>;

    // Opens an http or https address in the default browser; true when it was handed over. Other schemes (a
    // status text could carry file: or a custom handler's scheme) are refused. Any thread.
    static bool openURL(const QUrl& url);

    // Replaces the real browser; an empty opener puts it back. Without a replacement nothing is opened, and
    // openURL answers false, when there is no GUI application.
    static void setOpener(Opener opener);
};

} // namespace platform
