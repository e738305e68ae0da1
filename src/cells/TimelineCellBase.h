#pragma once

#include "cells/AttributedString.h"
#include "cells/CellContext.h"
#include "cells/CellListController.h"
#include "cells/CellTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <chrono>
#include <memory>

class QTextDocument;

// The display data of one list item: its entity, the rich text the list shows for it and the height of that
// text at the list's width. Subclasses hold the entity and build the text; this class holds the text
// machinery they share (hot-text scan, downloaded pictures, avatars) and the height cache. Text building,
// heights and the picture tables are used on the main thread; a cell may be made on any thread.
class TimelineCellBase : public std::enable_shared_from_this<TimelineCellBase> {
public:
    virtual ~TimelineCellBase();

    // The list that holds the cell: gives the width, the kind of list and the reload hooks. Not owned; a
    // controller that has been destroyed reads as none.
    CellListController* listViewController() const;
    void setListViewController(CellListController* controller);

    // True after construction and whenever the height must be computed again.
    bool recalculateTextViewHeight() const { return recalculateTextViewHeight_; }
    void setRecalculateTextViewHeight(bool stale) { recalculateTextViewHeight_ = stale; }
    // The height of the text at the list's cell width, as of the last calculateTextViewHeight that computed it.
    double textViewHeight() const { return textViewHeight_; }

    // The whole text of the cell. `determinate` is false while a picture in it is still loading.
    virtual AttributedString stringForTextView(bool& determinate);
    // Computes the height when it is stale and the text is final; answers whether the stored height is valid
    // after the call (false keeps it stale, so it is computed again on a later reload).
    bool calculateTextViewHeight();
    // The height of the text as it stands, pictures still loading left out, for rows that cannot wait for them;
    // the height stays stale, so the next calculateTextViewHeight computes it again.
    void calculateProvisionalTextViewHeight();

    virtual uint64_t entityId() const { return 0; }
    virtual QString entityName() const { return {}; }
    virtual QString entityText() const { return {}; }
    virtual QString date() const { return {}; }
    // The moment the item was made, which date() tells the age of; invalid when it has none or it is unknown.
    virtual QDateTime createdAt() const { return {}; }
    virtual QString profileImageURLString() const { return {}; }
    // Whether the signed-in user may delete the item.
    virtual bool isRemovable() const { return false; }
    // Whether the signed-in user wrote the item: its own status or comment (the ones it may delete), or a
    // message it sent. Such an item is never unread news.
    virtual bool isWrittenBySelf() const { return isRemovable(); }

    // The author's avatar when it has been downloaded; otherwise a null image (and its download starts).
    QImage profileImage();
    QImage profileImageWithURLString(const QString& urlString);

    // Same class and same entity id.
    bool isEqual(const TimelineCellBase& other) const;
    bool operator==(const TimelineCellBase& other) const { return isEqual(other); }
    bool operator!=(const TimelineCellBase& other) const { return !isEqual(other); }

    // The rich text of one body (`type`: HotTextType 0 to 3) with the pictures and pages of the current
    // context. `linkedPaths`, when given, receives the path of every address that became a link.
    static AttributedString parseText(const QString& text, int type, QStringList* linkedPaths = nullptr);
    // One downloaded picture: the picture when its bytes are at hand; otherwise empty text, not final, and its
    // download starts (one download per address, however many cells and lists ask).
    AttributedString parseImage(const QString& urlString, int type, bool& determinate);
    // One clickable icon; a null picture gives empty text.
    static AttributedString makeAttachmentWithImage(const QImage& image, int type);
    // One downloaded picture (bytes decoded ignoring any orientation tag, shown at one point per pixel; types
    // 11 and 12 get the play mark); bytes that are no picture give empty text.
    static AttributedString makeAttachmentWithData(const QByteArray& data, int type);

protected:
    TimelineCellBase();

    // The text was laid out for a new height at `width`; `document` holds exactly the text stringForTextView
    // gave. Status cells place the repost box from it, message cells the bubble.
    virtual void textViewDidLayout(const QTextDocument& document, double width);

    // Runs `fn` with this cell on the main thread if the cell is still alive then (cells not held by a
    // shared_ptr never get a late call).
    std::weak_ptr<TimelineCellBase> weakSelf() { return weak_from_this(); }

private:
    CellListController* listViewController_ = nullptr;
    std::weak_ptr<void> listLifetime_;
    bool recalculateTextViewHeight_ = true;
    double textViewHeight_ = 0;
};

// How many of the top `count` cells are news to the user: the ones it did not write itself.
std::size_t unreadAmongTop(const CellArray& cells, std::size_t count);

// What the pending-image table holds for an address (for tests and diagnostics).
enum class PendingImageState { Absent, Loading, Bytes };
PendingImageState pendingImageStateForURL(const QString& urlString);

// How long a failed picture or avatar waits before it is asked for again when shown (the wait doubles with each
// failure, up to five minutes); 5 s unless a test shortens it.
void setPictureRetryDelay(std::chrono::milliseconds first);
