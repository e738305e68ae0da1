#pragma once
// A status the user has just written (posted, reposted, or reposted with a comment) as the home timeline shows
// it at once: on top, in view, and never among the unread items.
#include "model/WeiboParser.h"

#include <boost/shared_ptr.hpp>

class PXListViewController;

// Inserts the status on top of `home` as a locally made item and scrolls the list to it, so the user sees what
// was sent. A list that is not shown (`homeShown` false) is redrawn when it is shown next, from its top.
// Main thread.
void showOwnStatus(PXListViewController* home, bool homeShown, const boost::shared_ptr<weibo::WBStatus>& status);
