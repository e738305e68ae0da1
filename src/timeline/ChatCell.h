#pragma once

#include "timeline/TimelineRowView.h"

// The row of one message of a conversation ("ChatCell"): a bubble with a pointer towards its sender, the
// correspondent's avatar slot on the left and the user's own on the right; the slot on the other side shows
// the date.
class ChatCell : public TimelineRowView {
    Q_OBJECT
public:
    static constexpr const char* kIdentifier = "ChatCell";
    explicit ChatCell(QWidget* parent = nullptr);

    // The user's own avatar slot (right); button() is the correspondent's (left).
    AvatarButton* selfUserBtn() const { return selfUserBtn_; }

    bool sentFromMe() const { return sentFromMe_; }
    void setSentFromMe(bool sent);

    void layoutSubviews() override;
    void prepareForReuse() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AvatarButton* selfUserBtn_;
    bool sentFromMe_ = false;
};
