#include "compose/PostWindowController.h"

#include "cells/FailureText.h"
#include "compose/CameraCapture.h"
#include "compose/ComposeEditor.h"
#include "compose/ComposeEnvironment.h"
#include "compose/DraftsButton.h"
#include "compose/EmotionPopUpButton.h"
#include "compose/OwnStatus.h"
#include "platform/AlertResponder.h"
#include "platform/Dispatch.h"
#include "platform/WindowPlacement.h"
#include "timeline/PXListViewController.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {

const QString kPostBusy = QStringLiteral("正在发布新微博...");
const QString kEmptyStatus = QStringLiteral("不能发布空微博.");
const QString kPostFailed = QStringLiteral("发布新微博失败！");
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

PostWindowController::PostWindowController(const ComposeContext& context, QWidget* parent, const QString& draftFolder)
    : QWidget(parent, Qt::Window)
    , context_(context)
{
    setWindowTitle(QStringLiteral("发微博"));
    auto* layout = new QVBoxLayout(this);
    editor_ = new ComposeEditor(true, this);
    editor_->textView()->setFinishDelegate(this);
    editor_->droppableTextView()->setDropDelegate(this);
    layout->addWidget(editor_, 1);

    uploadPicButton_ = new QPushButton(QStringLiteral("图片"), this);
    takePictureButton_ = new QPushButton(QStringLiteral("拍照"), this);
    editor_->bottomBar()->insertWidget(1, uploadPicButton_);
    editor_->bottomBar()->insertWidget(2, takePictureButton_);

    auto* bottom = new QHBoxLayout;
    previewPic_ = new QLabel(this);
    previewPic_->setFixedSize(120, 90);
    previewPic_->setAlignment(Qt::AlignCenter);
    bottom->addWidget(previewPic_);
    removePicButton_ = new QPushButton(QStringLiteral("移除图片"), this);
    removePicButton_->setToolTip(QStringLiteral("不带图片发布"));
    bottom->addWidget(removePicButton_, 0, Qt::AlignBottom);
    bottom->addStretch(1);
    closeButton_ = new QPushButton(QStringLiteral("取消"), this);
    postButton_ = new QPushButton(QStringLiteral("发布"), this);
    postButton_->setDefault(true);
    bottom->addWidget(closeButton_);
    bottom->addWidget(postButton_);
    layout->addLayout(bottom);
    resize(480, 300);

    drafts_ = new DraftKeeper(DraftStore(QStringLiteral("status"), draftFolder), [this] { return draftSnapshot(); }, this);
    draftsButton_ = new DraftsButton(drafts_, [this](const Draft& d) { restoreDraft(d); }, this);
    editor_->bottomBar()->insertWidget(3, draftsButton_);
    connect(editor_, &ComposeEditor::textEdited, drafts_, &DraftKeeper::noteChange);
    // A click on a tool of the editor leaves the keyboard in the text: after choosing a picture the user goes on
    // typing, and Ctrl+Return sends (the buttons are still reached with Tab).
    QWidget* const tools[] = {uploadPicButton_, takePictureButton_, removePicButton_, draftsButton_,
                              editor_->emotionButton()};
    for (QWidget* tool : tools)
        tool->setFocusPolicy(Qt::TabFocus);
    connect(uploadPicButton_, &QPushButton::clicked, this, &PostWindowController::uploadPic);
    connect(removePicButton_, &QPushButton::clicked, this, &PostWindowController::removePic);
    connect(takePictureButton_, &QPushButton::clicked, this, &PostWindowController::takePicture);
    connect(postButton_, &QPushButton::clicked, this, &PostWindowController::postStatus);
    connect(closeButton_, &QPushButton::clicked, this, &PostWindowController::closeWindow);
    reset();
}

PostWindowController::~PostWindowController()
{
    drafts_->flush();
    drafts_->detach();
}

DroppableHKTextView* PostWindowController::textView() const
{
    return editor_->droppableTextView();
}

QLabel* PostWindowController::inputTipLabel() const
{
    return editor_->inputTipLabel();
}

EmotionPopUpButton* PostWindowController::emotionButton() const
{
    return editor_->emotionButton();
}

void PostWindowController::reset()
{
    drafts_->startNew();
    ++generation_;
    removeCameraPicture();
    editor_->clear();
    setPicture(QString(), QImage());
}

void PostWindowController::showWindow()
{
    platform::showCentred(this);
    editor_->textView()->setFocus();
}

void PostWindowController::closeWindow()
{
    close();
}

void PostWindowController::closeEvent(QCloseEvent* event)
{
    drafts_->flush();
    QWidget::closeEvent(event);
}

// --- The picture ---

void PostWindowController::setPicture(const QString& path, const QImage& image)
{
    // The path and the preview always change together, so the window never shows a picture it will not send.
    if (!picPath_.isEmpty() && picPath_ != path && isCameraPicture(picPath_))
        removeCameraPicture();
    picPath_ = path;
    removePicButton_->setVisible(!path.isEmpty());
    if (image.isNull())
        previewPic_->clear();
    else
        previewPic_->setPixmap(QPixmap::fromImage(image.scaled(previewPic_->size(), Qt::KeepAspectRatio,
                                                                Qt::SmoothTransformation)));
}

void PostWindowController::uploadPic()
{
    platform::OpenPanelRequest request;
    request.title = QStringLiteral("选择图片");
    request.nameFilters = {QStringLiteral("图片 (*.png *.jpg *.jpeg *.gif *.bmp)"), QStringLiteral("所有文件 (*)")};
    request.parent = this;
    const QStringList files = platform::AlertResponder::openPanel(request);
    if (!files.isEmpty()) {
        setPicture(files.front(), QImage(files.front()));
        drafts_->noteChange();
    }
    focusText();
}

void PostWindowController::removePic()
{
    if (posting_ || picPath_.isEmpty())
        return;
    setPicture(QString(), QImage());
    drafts_->noteChange();
    focusText();
}

void PostWindowController::focusText()
{
    activateWindow();
    editor_->textView()->setFocus(Qt::OtherFocusReason);
}

void PostWindowController::fileDropped(const QString& path)
{
    const QImage image(path);
    setPicture(image.isNull() ? QString() : path, image);
    drafts_->noteChange();
}

void PostWindowController::takePicture()
{
    const QImage image = CameraCapture::takePicture(this);
    if (!image.isNull())
        attachCameraPicture(image);
    focusText();
}

QString PostWindowController::cameraFolder()
{
    if (!cameraDir_) {
        // QTemporaryDir makes a new folder readable by its owner only; nobody can place a file or link there.
        cameraDir_ = std::make_unique<QTemporaryDir>(QDir(QDir::tempPath()).filePath(QStringLiteral("plumet-XXXXXX")));
        if (!cameraDir_->isValid()) {
            cameraDir_.reset();
            return QString();
        }
    }
    return cameraDir_->path();
}

bool PostWindowController::isCameraPicture(const QString& path) const
{
    return cameraDir_ && !path.isEmpty() && QFileInfo(path).absolutePath() == QDir(cameraDir_->path()).absolutePath();
}

bool PostWindowController::attachCameraPicture(const QImage& image)
{
    const QString folder = cameraFolder();
    if (folder.isEmpty() || image.isNull())
        return false;
    QString path;
    QFile file;
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
        path = QDir(folder).filePath(QStringLiteral("plumetupload-%1.jpg").arg(DraftStore::newId().left(8)));
        file.setFileName(path);
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    if (!file.isOpen())
        return false;
    file.setPermissions(kOwnerOnly);
    if (!image.save(&file, "JPEG", 90)) {
        file.remove();
        return false;
    }
    file.close();
    setPicture(path, image);
    drafts_->noteChange();
    return true;
}

void PostWindowController::removeCameraPicture()
{
    if (isCameraPicture(picPath_))
        QFile::remove(picPath_);
}

// --- Posting ---

void PostWindowController::setPosting(bool posting)
{
    posting_ = posting;
    postButton_->setEnabled(!posting);
    // What is on screen is what is being posted: no edit can slip in between the request and its answer.
    editor_->textView()->setReadOnly(posting);
    uploadPicButton_->setEnabled(!posting);
    takePictureButton_->setEnabled(!posting);
    removePicButton_->setEnabled(!posting);
    draftsButton_->setEnabled(!posting);
}

void PostWindowController::postStatus()
{
    if (posting_)
        return;
    const QString text = editor_->plainString();
    if (text.isEmpty()) {
        platform::AlertResponder::alertWarning(kEmptyStatus, QString(), QString(), this);
        return;
    }
    // Everything the block needs is read here, on the main thread.
    const std::string status = text.toStdString();
    const std::string picture = picPath_.toStdString();
    const boost::shared_ptr<weibo::SinaWeibo> client = ComposeEnvironment::client();
    drafts_->flush();
    const QString draftId = drafts_->currentId();
    const std::uint64_t generation = generation_;
    setPosting(true);
    const BusyText busy = context_.displayBusy ? context_.displayBusy(kPostBusy) : BusyText();
    QPointer<PostWindowController> self(this);
    platform::dispatchGlobal([self, client, status, picture, generation, draftId, busy] {
        weibo::Reply<boost::shared_ptr<weibo::WBStatus>> posted(nullptr, weibo::failureOf(weibo::TransferFailure::NotSent));
        if (client)
            posted = weibo::recordOf<weibo::WBStatus>(picture.empty() ? client->statusUpdate(status)
                                                                      : client->statusUpload(status, picture));
        platform::dispatchMainAsync([self, generation, draftId, posted, busy]() mutable {
            busy.done();
            if (self)
                self->postDidEnd(generation, draftId, posted);
        });
    });
}

void PostWindowController::postDidEnd(std::uint64_t generation, const QString& draftId,
                                      const weibo::Reply<boost::shared_ptr<weibo::WBStatus>>& posted)
{
    setPosting(false);
    if (!posted.ok()) {
        // Text and picture stay for another try.
        alertFailure(kPostFailed, posted.outcome, this);
        emit postFinished(false);
        return;
    }
    if (PXListViewController* home = context_.homeList ? context_.homeList() : nullptr) {
        showOwnStatus(home, context_.selectedList && context_.selectedList() == home, posted.value);
        if (context_.updateLeftTabs)
            context_.updateLeftTabs();
    }
    // The posted text's draft goes; an editor reset meanwhile keeps what it shows now.
    drafts_->store().discard(draftId);
    if (generation == generation_) {
        drafts_->discardCurrent();
        removeCameraPicture();
        editor_->clear();
        setPicture(QString(), QImage());
        close();
    }
    emit postFinished(true);
}

// --- Drafts ---

Draft PostWindowController::draftSnapshot()
{
    Draft d;
    d.text = editor_->plainString();
    d.picture = picPath_;
    if (isCameraPicture(picPath_)) {
        // The camera's file goes with the window; the draft keeps its own copy.
        const QString kept = drafts_->store().keptPicturePath(drafts_->currentId());
        if (!QFile::exists(kept) && QFile::copy(picPath_, kept))
            QFile::setPermissions(kept, kOwnerOnly);
        d.picture = kept;
    }
    return d;
}

void PostWindowController::restoreDraft(const Draft& draft)
{
    if (posting_)
        return;
    drafts_->flush();
    removeCameraPicture();
    editor_->setPlainString(draft.text);
    setPicture(draft.picture, draft.picture.isEmpty() ? QImage() : QImage(draft.picture));
    drafts_->adopt(draft.id);
}

void PostWindowController::rebuildDraftsMenu()
{
    draftsButton_->rebuild();
}

QMenu* PostWindowController::draftsMenu() const
{
    return draftsButton_->draftsMenu();
}
