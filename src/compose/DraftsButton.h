#pragma once
// The "草稿" button of an editor window: its menu lists the latest drafts of the window's kind, newest first;
// choosing one gives it back to the window.
#include "compose/DraftStore.h"

#include "compose/MenuToolButton.h"

#include <functional>

class QMenu;

class DraftsButton : public MenuToolButton {
    Q_OBJECT
public:
    static constexpr int kListed = 10;

    DraftsButton(DraftKeeper* keeper, std::function<void(const Draft&)> restore, QWidget* parent = nullptr);

    QMenu* draftsMenu() const { return menu_; }
    // Writes the window's own draft first, so the list is current. Runs each time the menu opens.
    void rebuild();

private:
    DraftKeeper* keeper_;
    std::function<void(const Draft&)> restore_;
    QMenu* menu_ = nullptr;
};
