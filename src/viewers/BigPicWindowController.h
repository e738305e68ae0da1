#pragma once
// The picture viewer: one window, reused for every picture. It opens on the thumbnail, downloads the medium
// size, switches to the full size and back (each size fetched once, then served from memory) and saves the size
// shown. A second click on the same picture, a click inside it and the close keys put it away.
#include "service/Reply.h"
#include "viewers/ViewerPicture.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

class MyImageView;
class QAction;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPropertyAnimation;
class QScrollArea;

class BigPicWindowController : public QMainWindow {
    Q_OBJECT
public:
    // The toggle's tag: disabled while a download runs and while the picture is animated.
    static constexpr int kToggleTag = 1;
    // The download buffer is reserved from the announced length only up to this much.
    static constexpr qint64 kReserveCap = 4LL * 1024 * 1024;
    // A download past this size fails (a picture is never this big; a hostile answer could be endless).
    static constexpr qint64 kMaxDownload = 64LL * 1024 * 1024;
    // The shortest width a picture is shown at.
    static constexpr int kMinimumWidth = 50;
    static constexpr double kProgressOpacity = 0.7;

    explicit BigPicWindowController(const QString& windowNibName = QStringLiteral("BigPic"),
                                    QWidget* parent = nullptr);
    ~BigPicWindowController() override;

    // Opens the viewer on a thumbnail (its picture and the bytes it was made from) and fetches the medium size;
    // the same medium address again while the viewer is open closes it.
    void setImage(const QImage& thumbnail, const QByteArray& data, const QUrl& middlePic, const QUrl& originalPic);

    void showMiddlePic();
    void showOriginalPic();
    // Saves the size shown through a save panel; nothing while a download runs.
    void save();
    void closePic();
    // Forgets the picture: stops the download, empties both sizes.
    void clear();

    // Shows downloaded (or stored) bytes of the size now chosen.
    void imageDoneWithData(const QByteArray& data);
    // Fits the picture: sets its display size, the scroll bars and the image view; answers the content size
    // (empty for a picture without pixels).
    QSize contentViewSizeForImage(ViewerPicture& picture);

    QUrl middlePicUrl() const { return middlePicUrl_; }
    QUrl originalPicUrl() const { return originalPicUrl_; }
    QByteArray middlePicData() const { return middlePicData_; }
    QByteArray originalPicData() const { return originalPicData_; }
    bool originalPic() const { return originalPic_; }
    bool downloading() const { return downloading_; }
    qint64 imageLength() const { return imageLength_; }
    // The capacity the running download's buffer was given.
    qint64 imageDataCapacity() const { return imageData_.capacity(); }
    MyImageView* myImageView() const { return myImageView_; }
    QScrollArea* scrollView() const { return scrollView_; }
    QProgressBar* loadingProgressIndicator() const { return loadingProgressIndicator_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* toggleAction() const { return toggleAction_; }
    // True while the window moves to its new frame.
    bool isMoving() const;
    // Downloads started since the viewer was made.
    int downloadCount() const { return downloadCount_; }

public slots:
    void togglePic();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPic(bool original);
    void showProgress();
    void startDownload(const QUrl& url, bool original);
    void cancelDownload();
    void connectionDidReceiveResponse(QNetworkReply* reply);
    void connectionDidReceiveData(QNetworkReply* reply);
    void connectionDidFinishLoading(QNetworkReply* reply);
    void connectionDidFailWithError(const weibo::TransferOutcome& outcome);
    void imageDoneWithData(const QByteArray& data, bool original);
    void moveToFit(const QSize& content);
    QSize chromeSize();
    void layoutProgress();
    void validateActions();

    QUrl middlePicUrl_;
    QUrl originalPicUrl_;
    QByteArray middlePicData_;
    QByteArray originalPicData_;
    bool originalPic_ = false;
    bool downloading_ = false;
    bool downloadingOriginal_ = false; // the size the running download fetches
    QByteArray imageData_;
    qint64 imageLength_ = -1;
    int downloadCount_ = 0;

    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> imageUrlConnection_;
    MyImageView* myImageView_ = nullptr;
    QScrollArea* scrollView_ = nullptr;
    QProgressBar* loadingProgressIndicator_ = nullptr;
    QPropertyAnimation* move_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* toggleAction_ = nullptr;
};
