#pragma once
// Keeps the ages at the top right of the rows in view ("1 秒前", "5 分钟前") true while the list is shown,
// without a reload: each row's date is asked again when the youngest age in view is due to read differently
// (every second under a minute, at the next whole minute, hour, ... after that). Main thread.
#include <QObject>
#include <QPointer>
#include <QTimer>

class PXListView;

class RelativeTimeRefresher : public QObject {
    Q_OBJECT
public:
    // The longest wait between two looks, also while the list is hidden or shows no age.
    static constexpr int kLongestWaitMs = 30000;

    // Watches `list` (and goes with it).
    explicit RelativeTimeRefresher(PXListView* list);

    // Gives every row in view its current age, then plans the next look.
    void refreshVisibleDates();
    // Plans the next look for the rows in view now (the list calls it after each reload).
    void schedule();
    // Milliseconds until the next look (-1 when none is planned).
    int nextRefreshMs() const { return timer_.isActive() ? timer_.remainingTime() : -1; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<PXListView> list_;
    QTimer timer_;
};
