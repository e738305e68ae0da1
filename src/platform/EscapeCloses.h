#pragma once
// Escape closes a window, as it closes the desktop's dialogs. A pop-up open in the window (a completion list, a
// menu) takes its Escape first and closes alone.
#include <functional>

class QWidget;

namespace platform {

void closeOnEscape(QWidget* window, std::function<void()> close);

} // namespace platform
