#pragma once
// What the drawer's editors ask of the main window: the drawer's item and id, closing and laying the drawer
// out again (TimelineHost), the account's client and the lists a send puts its result into. Main thread.
#include "model/WeiboParser.h"
#include "service/WeiboAPI.h"

#include <boost/shared_ptr.hpp>

#include <functional>

class PXListViewController;
class TimelineHost;

struct DrawerEditorContext {
    TimelineHost* host = nullptr;
    std::function<boost::shared_ptr<weibo::SinaWeibo>()> client;
    std::function<PXListViewController*()> homeList;
    std::function<PXListViewController*()> selectedList;
    // The comments of the drawer's status.
    std::function<PXListViewController*()> commentList;
};

// Puts a status just sent at the top of the home timeline; when that list is shown it keeps its place and the
// badges are redrawn. Main thread.
void insertIntoHomeTimeline(const DrawerEditorContext& context, const boost::shared_ptr<weibo::WBStatus>& status);
