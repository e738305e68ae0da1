#include "viewers/BigPicWindowController.h"

#include "cells/FailureText.h"
#include "platform/AlertResponder.h"
#include "platform/NetworkOutcome.h"
#include "viewers/MyImageView.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {

constexpr int kMoveMs = 200;
constexpr int kProgressWidth = 160;
constexpr int kProgressSteps = 1000;

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

} // namespace

BigPicWindowController::BigPicWindowController(const QString& windowNibName, QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(windowNibName);
    setWindowTitle(QStringLiteral("图片"));

    network_ = new QNetworkAccessManager(this);
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

    scrollView_ = new QScrollArea(this);
    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setWidgetResizable(false);
    scrollView_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    myImageView_ = new MyImageView;
    myImageView_->setClickHandler([this] { closePic(); });
    scrollView_->setWidget(myImageView_);
    setCentralWidget(scrollView_);

    loadingProgressIndicator_ = new QProgressBar(scrollView_);
    loadingProgressIndicator_->setTextVisible(false);
    loadingProgressIndicator_->setRange(0, kProgressSteps);
    auto* opacity = new QGraphicsOpacityEffect(loadingProgressIndicator_);
    opacity->setOpacity(kProgressOpacity);
    loadingProgressIndicator_->setGraphicsEffect(opacity);
    loadingProgressIndicator_->hide();

    auto* toolbar = addToolBar(QStringLiteral("图片"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    saveAction_ = toolbar->addAction(QStringLiteral("保存"), this, &BigPicWindowController::save);
    saveAction_->setToolTip(QStringLiteral("保存 (Ctrl+S)"));
    toggleAction_ = toolbar->addAction(QStringLiteral("原图"), this, &BigPicWindowController::togglePic);
    toggleAction_->setData(kToggleTag);
    toggleAction_->setToolTip(QStringLiteral("原图/中图 (Ctrl+T)"));
    // The same items in the window's context menu.
    addAction(saveAction_);
    addAction(toggleAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    move_ = new QPropertyAnimation(this, "geometry", this);
    move_->setDuration(kMoveMs);
    move_->setEasingCurve(QEasingCurve::OutCubic);
    validateActions();
}

BigPicWindowController::~BigPicWindowController()
{
    cancelDownload();
}

bool BigPicWindowController::isMoving() const
{
    return move_->state() == QAbstractAnimation::Running;
}

void BigPicWindowController::setImage(const QImage& thumbnail, const QByteArray& data, const QUrl& middlePic,
                                      const QUrl& originalPic)
{
    if (isVisible() && middlePicUrl_ == middlePic) {
        closePic();
        return;
    }
    clear();

    ViewerPicture picture = data.isEmpty() ? ViewerPicture::fromImage(thumbnail) : ViewerPicture::fromData(data);
    if (picture.isNull())
        picture = ViewerPicture::fromImage(thumbnail);
    QSize content = contentViewSizeForImage(picture);
    if (content.isEmpty()) // no thumbnail to show: a room for the progress bar until the medium size comes
        content = QSize(kProgressWidth + 40, 120);
    const bool animated = myImageView_->animated();
    if (animated)
        middlePicData_ = data;
    else
        showProgress();

    middlePicUrl_ = middlePic;
    originalPicUrl_ = originalPic;
    const QSize frame = content + chromeSize();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frame, available));
    show();
    raise();
    activateWindow();
    layoutProgress();

    if (!animated)
        startDownload(middlePic, false);
    validateActions();
}

void BigPicWindowController::togglePic()
{
    if (originalPic_)
        showMiddlePic();
    else
        showOriginalPic();
}

void BigPicWindowController::showMiddlePic()
{
    showPic(false);
}

void BigPicWindowController::showOriginalPic()
{
    showPic(true);
}

void BigPicWindowController::showPic(bool original)
{
    // A download that runs belongs to the size it fetches; switching now would file it under the other one.
    if (downloading_ || myImageView_->animated())
        return;
    originalPic_ = original;
    const QByteArray stored = original ? originalPicData_ : middlePicData_;
    if (!stored.isEmpty()) {
        imageDoneWithData(stored, original);
        return;
    }
    showProgress();
    cancelDownload();
    startDownload(original ? originalPicUrl_ : middlePicUrl_, original);
}

void BigPicWindowController::save()
{
    if (downloading_)
        return;
    const QByteArray data = originalPic_ ? originalPicData_ : middlePicData_;
    const QUrl url = originalPic_ ? originalPicUrl_ : middlePicUrl_;
    if (data.isEmpty())
        return;
    const QString name = url.fileName();
    const QString extension = QFileInfo(name).suffix();
    platform::SavePanelRequest request;
    request.title = QStringLiteral("保存图片");
    request.suggestedName = extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
    if (!extension.isEmpty())
        request.nameFilters = QStringList{QStringLiteral("%1 (*.%1)").arg(extension)};
    request.parent = this;
    QString path = platform::AlertResponder::savePanel(request);
    if (path.isEmpty())
        return;
    // Only the picture's own type is allowed: a name typed without it gets it.
    if (!extension.isEmpty() && !path.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        path += QLatin1Char('.') + extension;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        platform::AlertResponder::alertWarning(QStringLiteral("保存图片失败！"), file.errorString(), QString(), this);
}

void BigPicWindowController::closePic()
{
    clear();
    hide();
}

void BigPicWindowController::clear()
{
    cancelDownload();
    move_->stop();
    downloading_ = false;
    originalPic_ = false;
    middlePicUrl_.clear();
    originalPicUrl_.clear();
    middlePicData_.clear();
    originalPicData_.clear();
    imageData_.clear();
    imageData_.squeeze();
    imageLength_ = -1;
    myImageView_->setImage(ViewerPicture());
    myImageView_->resize(0, 0);
    loadingProgressIndicator_->hide();
    validateActions();
}

void BigPicWindowController::imageDoneWithData(const QByteArray& data)
{
    imageDoneWithData(data, originalPic_);
}

void BigPicWindowController::imageDoneWithData(const QByteArray& data, bool original)
{
    downloading_ = false;
    (original ? originalPicData_ : middlePicData_) = data;
    ViewerPicture picture = ViewerPicture::fromData(data);
    const QSize content = contentViewSizeForImage(picture);
    loadingProgressIndicator_->hide();
    validateActions();
    if (content.isEmpty()) {
        // Bytes that are not a picture have nothing to fit: said like any other failed download.
        (original ? originalPicData_ : middlePicData_).clear();
        downloadingOriginal_ = original;
        connectionDidFailWithError(weibo::failureOf(weibo::TransferFailure::Unreadable));
        return;
    }
    moveToFit(content);
}

QSize BigPicWindowController::contentViewSizeForImage(ViewerPicture& picture)
{
    QSize size = picture.repSize();
    if (size.width() <= 0 || size.height() <= 0) {
        myImageView_->setImage(ViewerPicture());
        return QSize();
    }
    if (size.width() < kMinimumWidth) {
        size = QSize(kMinimumWidth, qMax(1, qRound(size.height() * double(kMinimumWidth) / size.width())));
    }
    picture.setSize(size);

    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    const int widthLimit = int(visible.width() * 0.9);
    const int heightLimit = int(visible.height() * 0.9);
    bool horizontal = size.width() > widthLimit;
    bool vertical = size.height() > heightLimit;
    int width = horizontal ? widthLimit : size.width();
    int height = vertical ? heightLimit : size.height();
    // A scroll bar takes its room from the other direction; without it the picture's edge would sit under the bar.
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollView_);
    if (horizontal && !vertical) {
        height += extent;
        if (height > heightLimit) {
            height = heightLimit;
            vertical = true;
        }
    } else if (vertical && !horizontal) {
        width += extent;
        if (width > widthLimit) {
            width = widthLimit;
            horizontal = true;
        }
    }
    scrollView_->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    scrollView_->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);

    myImageView_->resize(size);
    myImageView_->setImage(picture);
    scrollView_->horizontalScrollBar()->setValue(0);
    scrollView_->verticalScrollBar()->setValue(0);
    return QSize(width, height);
}

void BigPicWindowController::moveToFit(const QSize& content)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect target = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, content + chromeSize(), available);
    move_->stop();
    if (!isVisible() || geometry() == target) {
        setGeometry(target);
        return;
    }
    move_->setStartValue(geometry());
    move_->setEndValue(target);
    move_->start();
}

QSize BigPicWindowController::chromeSize()
{
    // What the window adds around the scroll view: the toolbar.
    if (layout())
        layout()->activate();
    const QSize chrome = size() - scrollView_->size();
    return QSize(qMax(0, chrome.width()), qMax(0, chrome.height()));
}

void BigPicWindowController::showProgress()
{
    loadingProgressIndicator_->setRange(0, kProgressSteps);
    loadingProgressIndicator_->setValue(0);
    layoutProgress();
    loadingProgressIndicator_->show();
    loadingProgressIndicator_->raise();
}

void BigPicWindowController::layoutProgress()
{
    const QSize area = scrollView_->viewport()->size();
    const int width = qMin(kProgressWidth, qMax(40, area.width() - 20));
    const int height = loadingProgressIndicator_->sizeHint().height();
    loadingProgressIndicator_->setGeometry((area.width() - width) / 2, qMax(0, area.height() - height - 10), width,
                                           height);
}

void BigPicWindowController::startDownload(const QUrl& url, bool original)
{
    cancelDownload();
    downloading_ = true;
    downloadingOriginal_ = original;
    imageData_.clear();
    imageData_.squeeze();
    imageLength_ = -1;
    ++downloadCount_;
    validateActions();
    if (!isWebAddress(url)) {
        // Only pictures of the web are fetched; anything else fails as a download would, after this call.
        QTimer::singleShot(0, this, [this, generation = downloadCount_] {
            if (generation == downloadCount_ && downloading_)
                connectionDidFailWithError(weibo::failureOf(weibo::TransferFailure::NotSent));
        });
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = network_->get(request);
    imageUrlConnection_ = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { connectionDidReceiveResponse(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { connectionDidReceiveData(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { connectionDidFinishLoading(reply); });
}

void BigPicWindowController::cancelDownload()
{
    if (QNetworkReply* reply = imageUrlConnection_.data()) {
        imageUrlConnection_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void BigPicWindowController::connectionDidReceiveResponse(QNetworkReply* reply)
{
    if (reply != imageUrlConnection_)
        return;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    imageLength_ = length.isValid() ? length.toLongLong() : -1;
    // The announced length is the answer's word only: reserve at most a little, let the buffer grow with the data.
    if (imageLength_ > 0)
        imageData_.reserve(qMin(imageLength_, kReserveCap));
    if (imageLength_ <= 0)
        loadingProgressIndicator_->setRange(0, 0); // unknown: indeterminate
    else
        loadingProgressIndicator_->setRange(0, kProgressSteps);
}

void BigPicWindowController::connectionDidReceiveData(QNetworkReply* reply)
{
    if (reply != imageUrlConnection_)
        return;
    imageData_.append(reply->readAll());
    if (imageData_.size() > kMaxDownload) {
        connectionDidFailWithError(weibo::failureOf(weibo::TransferFailure::TooLarge));
        return;
    }
    if (imageLength_ > 0) {
        const double done = qMin(1.0, double(imageData_.size()) / double(imageLength_));
        loadingProgressIndicator_->setValue(int(done * kProgressSteps));
    }
}

void BigPicWindowController::connectionDidFinishLoading(QNetworkReply* reply)
{
    if (reply != imageUrlConnection_)
        return;
    imageUrlConnection_.clear();
    reply->deleteLater();
    const weibo::TransferOutcome outcome = platform::outcomeOfReply(*reply);
    if (!outcome.ok()) {
        connectionDidFailWithError(outcome);
        return;
    }
    imageData_.append(reply->readAll());
    QByteArray data = imageData_;
    imageData_ = QByteArray();
    imageDoneWithData(data, downloadingOriginal_);
}

void BigPicWindowController::connectionDidFailWithError(const weibo::TransferOutcome& outcome)
{
    // The viewer stays on what it shows (the thumbnail, or the medium size when the full one failed) and says why
    // the picture did not come; a later click on the picture tries again.
    const bool original = downloadingOriginal_;
    cancelDownload();
    downloading_ = false;
    imageData_.clear();
    imageData_.squeeze();
    loadingProgressIndicator_->hide();
    if (original && originalPic_ && !middlePicData_.isEmpty()) {
        originalPic_ = false;
        imageDoneWithData(middlePicData_, false);
    }
    validateActions();
    alertFailure(QStringLiteral("载入图片失败！"), outcome, this);
}

void BigPicWindowController::validateActions()
{
    saveAction_->setEnabled(!downloading_ && !(originalPic_ ? originalPicData_ : middlePicData_).isEmpty());
    toggleAction_->setEnabled(!downloading_ && !myImageView_->animated() && !middlePicUrl_.isEmpty());
    toggleAction_->setText(originalPic_ ? QStringLiteral("中图") : QStringLiteral("原图"));
}

void BigPicWindowController::keyPressEvent(QKeyEvent* event)
{
    const bool command = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_S:
        if (command) {
            save();
            return;
        }
        break;
    case Qt::Key_T:
        if (command) {
            togglePic();
            return;
        }
        break;
    case Qt::Key_X:
    case Qt::Key_Q:
    case Qt::Key_Space:
        closePic();
        return;
    default:
        break;
    }
    QMainWindow::keyPressEvent(event);
}

void BigPicWindowController::closeEvent(QCloseEvent* event)
{
    clear();
    QMainWindow::closeEvent(event);
}

void BigPicWindowController::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    layoutProgress();
}
