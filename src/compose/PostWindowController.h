#pragma once
#include "model/Replies.h"
// The new-status window: text with emotions and @-names, at most one picture (from a file, a drop or the
// camera), posted on a background block; the new status shows on top of the home timeline at once. Unsent
// text is kept as a draft and offered back ("草稿").
#include "compose/ComposeContext.h"
#include "compose/DraftStore.h"
#include "compose/DroppableHKTextView.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class ComposeEditor;
class DraftsButton;
class EmotionPopUpButton;
class QLabel;
class QMenu;
class QPushButton;
class QTemporaryDir;
class QToolButton;

class PostWindowController : public QWidget, public HotkeyTextViewDelegate, public DroppableTextViewDelegate {
    Q_OBJECT
public:
    // `draftFolder` empty: the standard drafts folder.
    explicit PostWindowController(const ComposeContext& context, QWidget* parent = nullptr,
                                  const QString& draftFolder = QString());
    ~PostWindowController() override;

    ComposeEditor* editor() const { return editor_; }
    DroppableHKTextView* textView() const;
    QLabel* inputTipLabel() const;
    EmotionPopUpButton* emotionButton() const;
    QPushButton* uploadPicButton() const { return uploadPicButton_; }
    QPushButton* takePictureButton() const { return takePictureButton_; }
    // Shown while a picture is attached: takes it off again.
    QPushButton* removePicButton() const { return removePicButton_; }
    QPushButton* postButton() const { return postButton_; }
    DraftsButton* draftsButton() const { return draftsButton_; }
    QLabel* previewPic() const { return previewPic_; }
    QString picPath() const { return picPath_; }

    // Keeps unsent text as a draft, then empties the text, the picture and the hint.
    void reset();
    // Centred on the screen, in front, the keyboard in the text.
    void showWindow();

    // Each of these ends with the keyboard back in the text.
    void uploadPic();
    void removePic();
    void fileDropped(const QString& path) override;
    void takePicture();
    // The camera's picture, written to a new owner-only file in a private folder and attached.
    bool attachCameraPicture(const QImage& image);
    // The private folder of camera pictures (made on first use).
    QString cameraFolder();

    void postStatus();
    void editFinished() override { postStatus(); }
    void closeWindow();
    bool isPosting() const { return posting_; }

    DraftKeeper& drafts() { return *drafts_; }
    void restoreDraft(const Draft& draft);
    // The "草稿" menu, rebuilt from the store each time it opens.
    QMenu* draftsMenu() const;
    void rebuildDraftsMenu();

signals:
    // A post ended: `ok` when the service took the status.
    void postFinished(bool ok);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void postDidEnd(std::uint64_t generation, const QString& draftId,
                    const weibo::Reply<boost::shared_ptr<weibo::WBStatus>>& posted);
    void setPicture(const QString& path, const QImage& image);
    void focusText();
    void removeCameraPicture();
    bool isCameraPicture(const QString& path) const;
    Draft draftSnapshot();
    void setPosting(bool posting);

    ComposeContext context_;
    ComposeEditor* editor_ = nullptr;
    QPushButton* uploadPicButton_ = nullptr;
    QPushButton* takePictureButton_ = nullptr;
    QPushButton* removePicButton_ = nullptr;
    QPushButton* postButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    DraftsButton* draftsButton_ = nullptr;
    QLabel* previewPic_ = nullptr;
    QString picPath_;
    std::unique_ptr<QTemporaryDir> cameraDir_;
    DraftKeeper* drafts_ = nullptr;
    bool posting_ = false;
    // Raised by reset: an answer of an earlier generation no longer touches the editor.
    std::uint64_t generation_ = 0;
};
