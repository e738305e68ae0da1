#pragma once

#include "timeline/TimelineRowView.h"

// The row of a status, favourite or comment ("WeiboCell"): avatar on the left, the item's text, its age at the
// top right, and, for a repost, a shaded box with a notch behind the reposted status.
class TimelineCell : public TimelineRowView {
    Q_OBJECT
public:
    static constexpr const char* kIdentifier = "WeiboCell";
    explicit TimelineCell(QWidget* parent = nullptr);

    void layoutSubviews() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
