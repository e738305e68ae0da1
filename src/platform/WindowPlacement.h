#pragma once
// Bringing a top-level window up the way every window of the program comes up.
class QWidget;

namespace platform {

// Centres the window on the primary screen's available area, shows it and brings it forward with the keyboard.
void showCentred(QWidget* window);

} // namespace platform
