#include "platform/EscapeCloses.h"

#include <QShortcut>
#include <QWidget>

namespace platform {

void closeOnEscape(QWidget* window, std::function<void()> close)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, [close = std::move(close)] { close(); });
}

} // namespace platform
