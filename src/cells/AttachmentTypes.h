#pragma once

// The integer a clickable picture in item text carries; the main window dispatches a
// click on it. 8, 13 and 14 are unused.
enum AttachmentType : int {
    AttachmentStatusPicture = 1,    // thumbnail of a status: picture viewer
    AttachmentRetweetPicture = 2,   // thumbnail of the reposted status
    AttachmentStatusComments = 3,   // status toolbar "reply_icon.png": the status's comments
    AttachmentStatusRepost = 4,     // status toolbar "forword_icon.png": repost editor
    AttachmentStatusWebPage = 5,    // accepted by the main window, produced by no cell
    AttachmentCommentsOfEntity = 6, // comment in the comments-to-me list: the entity's comments
    AttachmentReplyComment = 7,     // comment in a status's comment list: reply to it
    AttachmentFavorite = 9,         // status toolbar favourite icon: favourite or un-favourite
    AttachmentFavoriteOnly = 10,    // accepted by the main window, produced by no cell
    AttachmentVideo = 11,           // video still of a status
    AttachmentRetweetVideo = 12,    // video still of the reposted status
    AttachmentRetweetComments = 15, // reposted status toolbar "reply_icon.png"
    AttachmentRetweetRepost = 16,   // reposted status toolbar "forword_icon.png"
    AttachmentRemoveStatus = 17,    // own status "remove.png": delete after confirmation
    AttachmentRemoveComment = 18,   // own comment "remove.png": delete after confirmation
};

// Toolbar-like icons (3, 4, 5, 9, 10 and 13 to 18) sit 4 points below the baseline;
// every other type keeps the default position (0).
constexpr double attachmentBaselineOffset(int type)
{
    switch (type) {
    case 3: case 4: case 5: case 9: case 10:
    case 13: case 14: case 15: case 16: case 17: case 18:
        return -4.0;
    default:
        return 0.0;
    }
}

// Emotions, emoji and the controls are drawn at the size of the text around them (they grow with the body font);
// pictures and video stills (1, 2, 11, 12) keep their own size.
constexpr bool attachmentScalesWithFont(int type)
{
    return type != 1 && type != 2 && type != 11 && type != 12;
}
