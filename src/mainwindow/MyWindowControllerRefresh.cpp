// Keeping the lists current: the manual refresh, older items and the poll. The start-up calls the first poll
// and starts the poll timer; the list presentation asks for older items at the bottom of a list.
#include "mainwindow/MyWindowController.h"

#include "timeline/PXListViewController.h"

void MyWindowController::refreshWeibo()
{
    if (isStarting())
        return;
}

void MyWindowController::moreWeibo()
{
    if (isStarting())
        return;
}

void MyWindowController::scheduledTask(QTimer*)
{
    if (isStarting())
        return;
}

std::size_t MyWindowController::syncWithListViewController(PXListViewController* controller,
                                                          std::uint64_t unreadCount, bool background)
{
    if (!controller)
        return 0;
    std::size_t fetched = 0;
    if (const std::uint64_t latest = controller->latestEntityId()) {
        weibo::SinaWeiboOptions options;
        options.min_id_ = latest;
        fetched = controller->fetchDataWithOptions(options, PXListViewController::kModeNewer, background);
    } else {
        weibo::SinaWeiboOptions options;
        options.count_ = int(std::min<std::uint64_t>(unreadCount + 10, PXListViewController::kMaxCells));
        fetched = controller->fetchDataWithOptions(options, PXListViewController::kModeInitial, background);
    }
    controller->setUnreadCount(unreadCount);
    return fetched;
}
