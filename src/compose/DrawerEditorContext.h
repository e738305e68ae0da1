#pragma once
// What the drawer's editors ask of the main window: the drawer's item and id, closing and laying the drawer
// out again (TimelineHost), the account's client and the lists a send puts its result into. Main thread.
#include "model/WeiboParser.h"
#include "service/WeiboAPI.h"

#include <boost/shared_ptr.hpp>

#include <functional>

class ComposeEditor;
class PXListViewController;
class QPushButton;
class QString;
class TimelineHost;

struct DrawerEditorContext {
    TimelineHost* host = nullptr;
    std::function<boost::shared_ptr<weibo::SinaWeibo>()> client;
    std::function<PXListViewController*()> homeList;
    std::function<PXListViewController*()> selectedList;
    // The comments of the drawer's status.
    std::function<PXListViewController*()> commentList;
};

// Puts a status just sent at the top of the home timeline, in view (showOwnStatus); when that list is shown the
// badges are redrawn. Main thread.
void insertIntoHomeTimeline(const DrawerEditorContext& context, const boost::shared_ptr<weibo::WBStatus>& status);

// The two buttons under a drawer editor's text: the first closes the drawer, the second (answered) sends. Both
// belong to `owner`. Main thread.
QPushButton* addDrawerEditorButtons(ComposeEditor* editor, const DrawerEditorContext& context,
                                    const QString& closeText, const QString& sendText);
