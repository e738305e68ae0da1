#pragma once

#include "timeline/TimelineRowView.h"

// The row of one conversation ("MessageGroupCell"): the correspondent's avatar with the unread badge, the
// name and the newest message, and the date of that message. A click on the text opens or closes the
// conversation by toggling the row's selection.
class MessageGroupCell : public TimelineRowView {
    Q_OBJECT
public:
    static constexpr const char* kIdentifier = "MessageGroupCell";
    explicit MessageGroupCell(QWidget* parent = nullptr);

    void layoutSubviews() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
