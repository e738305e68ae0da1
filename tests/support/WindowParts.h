#pragma once
// The parts of a window a test drives, found by their object names as a person finds them on screen.
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

namespace testsupport {

// The child named `name` of `window` (a pointer or an owning pointer to the window); fails the test when there
// is none of that type.
template <class T = QWidget, class Window>
T* part(const Window& window, const char* name)
{
    const QWidget* w = window ? static_cast<const QWidget*>(&*window) : nullptr;
    T* found = w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(found, nullptr) << "the window has no part named " << name;
    return found;
}

} // namespace testsupport
