// The picture viewer against the development service's three picture sizes and its animated GIF, and against a
// loopback server that shapes its answers (no length, a hostile length, bytes that are not a picture, a held
// transfer).
#include "ViewerTestSupport.h"
#include "ScriptedAlertResponder.h"
#include "viewers/BigPicWindowController.h"
#include "viewers/MyImageView.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

class ViewerEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::ApplicationOptions options;
        options.name = "plumet-viewer-tests";
        options.privateFolders = true;
        options.bus = testsupport::SessionBus::Blocked;
        testsupport::setUpApplication(options);
    }
    void TearDown() override { testsupport::tearDownApplication(); }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new ViewerEnvironment);

QByteArray png(const QSize& size, Qt::GlobalColor color = Qt::darkCyan, const char* format = "PNG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The same GIF with every frame's declared delay set to 0.
QByteArray withoutDelays(QByteArray gif)
{
    for (qsizetype at = gif.indexOf("\x21\xF9\x04"); at >= 0; at = gif.indexOf("\x21\xF9\x04", at + 1)) {
        gif[at + 4] = 0;
        gif[at + 5] = 0;
    }
    return gif;
}

class BigPicWindowTest : public testsupport::DevServiceTest {
protected:
    QUrl pic(const QString& size, const QString& file) const
    {
        return QUrl(service_->base() + QStringLiteral("/pic/%1/%2").arg(size, file));
    }
    // Opens the viewer on a status picture of the service the way a list row does.
    void open(const QString& file)
    {
        const QByteArray thumb = fetch(pic(QStringLiteral("thumbnail"), file));
        ASSERT_FALSE(thumb.isEmpty());
        viewer_.setImage(QImage::fromData(thumb), thumb, pic(QStringLiteral("bmiddle"), file),
                         pic(QStringLiteral("large"), file));
    }
    bool settled() { return waitUntil([&] { return !viewer_.downloading() && !viewer_.isMoving(); }); }

    BigPicWindowController viewer_;
};

TEST_F(BigPicWindowTest, SamePictureClosesAnotherReplacesAndTheMediumSizeFollowsTheThumbnail)
{
    open(QStringLiteral("s4.png"));
    ASSERT_TRUE(viewer_.isVisible());
    EXPECT_TRUE(viewer_.downloading());
    EXPECT_TRUE(viewer_.loadingProgressIndicator()->isVisible());
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(viewer_.loadingProgressIndicator()->graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.7);
    EXPECT_FALSE(viewer_.saveAction()->isEnabled());
    EXPECT_FALSE(viewer_.toggleAction()->isEnabled());
    EXPECT_EQ(viewer_.myImageView()->size(), QSize(120, 90)); // the thumbnail, at once

    ASSERT_TRUE(settled());
    EXPECT_FALSE(viewer_.middlePicData().isEmpty());
    EXPECT_TRUE(viewer_.originalPicData().isEmpty());
    EXPECT_EQ(viewer_.myImageView()->size(), QSize(440, 330));
    EXPECT_EQ(viewer_.scrollView()->size(), QSize(440, 330));
    EXPECT_FALSE(viewer_.loadingProgressIndicator()->isVisible());
    EXPECT_TRUE(viewer_.saveAction()->isEnabled());
    EXPECT_EQ(viewer_.toggleAction()->data().toInt(), BigPicWindowController::kToggleTag);
    EXPECT_TRUE(viewer_.toggleAction()->isEnabled());
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(qAbs(viewer_.geometry().center().x() - available.center().x()), 1);

    open(QStringLiteral("s4.png"));
    EXPECT_FALSE(viewer_.isVisible());
    EXPECT_TRUE(viewer_.middlePicUrl().isEmpty());
    EXPECT_TRUE(viewer_.middlePicData().isEmpty());

    open(QStringLiteral("s4.png"));
    open(QStringLiteral("s11.png"));
    EXPECT_TRUE(viewer_.isVisible());
    EXPECT_EQ(viewer_.middlePicUrl(), pic(QStringLiteral("bmiddle"), QStringLiteral("s11.png")));
    ASSERT_TRUE(settled());
    EXPECT_EQ(viewer_.middlePicData(), fetch(pic(QStringLiteral("bmiddle"), QStringLiteral("s11.png"))));
    EXPECT_EQ(viewer_.downloadCount(), 3); // the s4 download that was replaced was cancelled, not finished
}

TEST_F(BigPicWindowTest, FittingWidensNarrowPicturesAndScrollsLargeOnesFromTheTopLeft)
{
    ViewerPicture narrow = ViewerPicture::fromData(png(QSize(40, 30)));
    EXPECT_EQ(viewer_.contentViewSizeForImage(narrow), QSize(50, 38));
    EXPECT_EQ(narrow.size(), QSize(50, 38));
    EXPECT_EQ(narrow.repSize(), QSize(40, 30));
    EXPECT_EQ(viewer_.scrollView()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(viewer_.scrollView()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // Bytes without pixels fit to nothing instead of dividing by a zero width.
    ViewerPicture nothing = ViewerPicture::fromData(QByteArray("GIF89a\0\0\0\0", 10));
    EXPECT_TRUE(nothing.isNull());
    EXPECT_TRUE(viewer_.contentViewSizeForImage(nothing).isEmpty());

    // A picture larger than 90 % of the screen both ways gets both bars and opens at its top-left corner, even
    // when the view was scrolled before.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize limit(int(available.width() * 0.9), int(available.height() * 0.9));
    ViewerPicture huge = ViewerPicture::fromImage(QImage(available.size() * 1.2, QImage::Format_RGB32));
    viewer_.show();
    ASSERT_EQ(viewer_.contentViewSizeForImage(huge), limit);
    viewer_.scrollView()->resize(limit);
    viewer_.scrollView()->horizontalScrollBar()->setValue(100);
    viewer_.scrollView()->verticalScrollBar()->setValue(100);
    EXPECT_EQ(viewer_.contentViewSizeForImage(huge), limit);
    EXPECT_EQ(viewer_.scrollView()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(viewer_.scrollView()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(viewer_.scrollView()->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(viewer_.scrollView()->verticalScrollBar()->value(), 0);
    // Only one direction too large: its bar, and room for it in the other direction.
    ViewerPicture wide = ViewerPicture::fromImage(QImage(QSize(available.width() * 2, 100), QImage::Format_RGB32));
    const QSize wideContent = viewer_.contentViewSizeForImage(wide);
    EXPECT_EQ(wideContent.width(), limit.width());
    EXPECT_GT(wideContent.height(), 100);
    EXPECT_EQ(viewer_.scrollView()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    viewer_.closePic();

    // The full size downloads once; switching afterwards uses the bytes in memory.
    open(QStringLiteral("s4.png"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(viewer_.downloadCount(), 1);
    QTest::keyClick(&viewer_, Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(viewer_.originalPic());
    EXPECT_TRUE(viewer_.downloading());
    ASSERT_TRUE(settled());
    EXPECT_EQ(viewer_.downloadCount(), 2);
    EXPECT_EQ(viewer_.originalPicData(), fetch(pic(QStringLiteral("large"), QStringLiteral("s4.png"))));
    EXPECT_EQ(viewer_.myImageView()->size(), QSize(800, 600));

    viewer_.togglePic();
    EXPECT_FALSE(viewer_.downloading());
    EXPECT_EQ(viewer_.myImageView()->size(), QSize(440, 330));
    viewer_.togglePic();
    EXPECT_EQ(viewer_.myImageView()->size(), QSize(800, 600));
    EXPECT_EQ(viewer_.downloadCount(), 2);
}

TEST_F(BigPicWindowTest, AnimatedPicturesPlayTheirOwnTimingAndFramesWithoutDurationTakeATenth)
{
    open(QStringLiteral("g1.gif"));
    ASSERT_TRUE(viewer_.isVisible());
    EXPECT_TRUE(viewer_.myImageView()->animated());
    EXPECT_FALSE(viewer_.downloading()); // the animated thumbnail is shown itself
    EXPECT_EQ(viewer_.downloadCount(), 0);
    EXPECT_FALSE(viewer_.toggleAction()->isEnabled());
    EXPECT_TRUE(viewer_.saveAction()->isEnabled());
    viewer_.togglePic();
    EXPECT_EQ(viewer_.downloadCount(), 0);
    const ViewerPicture& shown = viewer_.myImageView()->image();
    EXPECT_EQ(shown.frames().size(), 8);
    EXPECT_EQ(shown.frameDurations(), QList<int>(8, 120));

    const QByteArray gif = fetch(pic(QStringLiteral("large"), QStringLiteral("g1.gif")));
    const ViewerPicture undeclared = ViewerPicture::fromData(withoutDelays(gif));
    ASSERT_EQ(undeclared.frames().size(), 8);
    EXPECT_EQ(undeclared.frameDurations(), QList<int>(8, 100));
    EXPECT_EQ(undeclared.totalDuration(), 800);
    MyImageView view;
    view.setImage(undeclared);
    EXPECT_TRUE(view.animated());
    EXPECT_TRUE(waitUntil([&] { return view.currentFrame() == 3; }, 5000));
    EXPECT_TRUE(waitUntil([&] { return view.currentFrame() == 0; }, 5000)); // it goes round
    view.setImage(ViewerPicture::fromData(png(QSize(10, 10))));
    EXPECT_FALSE(view.animated());
}

TEST_F(BigPicWindowTest, FailedDownloadsSayWhyAndCloseKeysPutTheViewerAway)
{
    platform::ScriptedAlertResponder responder;
    const QByteArray thumb = fetch(pic(QStringLiteral("thumbnail"), QStringLiteral("s4.png")));
    viewer_.setImage(QImage::fromData(thumb), thumb, pic(QStringLiteral("bmiddle"), QStringLiteral("s99999.png")),
                     pic(QStringLiteral("large"), QStringLiteral("s99999.png")));
    ASSERT_TRUE(viewer_.isVisible());
    // The viewer stays on the thumbnail and says why the picture did not come.
    ASSERT_TRUE(waitUntil([&] { return responder.alerts().size() == 1; }));
    EXPECT_EQ(responder.alerts().front().messageText, QStringLiteral("载入图片失败！"));
    EXPECT_EQ(responder.alerts().front().informativeText, QStringLiteral("服务拒绝了请求 (404)"));
    EXPECT_TRUE(viewer_.isVisible());
    EXPECT_FALSE(viewer_.downloading());

    // Addresses other than the web's are not fetched: said as a request that could not be made.
    viewer_.setImage(QImage::fromData(thumb), thumb, QUrl(QStringLiteral("file:///etc/passwd")), QUrl());
    ASSERT_TRUE(waitUntil([&] { return responder.alerts().size() == 2; }));
    EXPECT_EQ(responder.alerts().back().informativeText, QStringLiteral("请求未能发出"));
    EXPECT_TRUE(viewer_.middlePicData().isEmpty());
    viewer_.closePic();

    for (Qt::Key key : {Qt::Key_X, Qt::Key_Q, Qt::Key_Space}) {
        open(QStringLiteral("s4.png"));
        ASSERT_TRUE(settled());
        QTest::keyClick(&viewer_, key, key == Qt::Key_X ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_FALSE(viewer_.isVisible()) << key;
    }
    open(QStringLiteral("s4.png"));
    ASSERT_TRUE(settled());
    QTest::mouseClick(viewer_.myImageView(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(viewer_.isVisible());
}

class ShapedDownloadTest : public BigPicWindowTest {
protected:
    void openFrom(const QString& path)
    {
        const QByteArray thumb = png(QSize(120, 90));
        viewer_.setImage(QImage::fromData(thumb), thumb, server_.url(path), server_.url(QStringLiteral("/large.jpg")));
    }
    ShapedServer server_;
};

TEST_F(ShapedDownloadTest, UnknownAndHostileLengthsNeitherReserveNorDivide)
{
    const QByteArray body = png(QSize(300, 200));
    ShapedServer::Answer chunked;
    chunked.head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    chunked.first = QByteArray::number(100, 16) + "\r\n" + body.left(100) + "\r\n";
    chunked.rest = QByteArray::number(body.size() - 100, 16) + "\r\n" + body.mid(100) + "\r\n0\r\n\r\n";
    chunked.hold = true;
    server_.answer(QStringLiteral("/chunked.png"), chunked);
    openFrom(QStringLiteral("/chunked.png"));
    ASSERT_TRUE(waitUntil([&] { return server_.heldCount() == 1; }));
    QProgressBar* progress = viewer_.loadingProgressIndicator();
    EXPECT_TRUE(waitUntil([&] { return progress->maximum() == 0; })) << "no length: indeterminate";
    EXPECT_EQ(viewer_.imageLength(), -1);
    server_.release();
    ASSERT_TRUE(settled());
    EXPECT_TRUE(viewer_.isVisible());
    EXPECT_EQ(viewer_.middlePicData(), body);
    EXPECT_EQ(viewer_.myImageView()->size(), QSize(300, 200));

    ShapedServer::Answer hostile;
    hostile.head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 53687091200\r\n\r\n";
    hostile.first = body.left(500);
    hostile.hold = true;
    server_.answer(QStringLiteral("/hostile.png"), hostile);
    openFrom(QStringLiteral("/hostile.png"));
    ASSERT_TRUE(waitUntil([&] { return viewer_.imageLength() == 53687091200LL; }));
    EXPECT_LE(viewer_.imageDataCapacity(), BigPicWindowController::kReserveCap);
    EXPECT_TRUE(waitUntil([&] { return progress->value() >= 0 && progress->maximum() > 0; }));
    EXPECT_LE(progress->value(), 1);
    platform::ScriptedAlertResponder responder;
    server_.release(true); // the transfer breaks off: a failed download, of a service that was reached
    ASSERT_TRUE(waitUntil([&] { return responder.alerts().size() == 1; }));
    EXPECT_EQ(responder.alerts().back().informativeText, QStringLiteral("与服务器的连接中断"));
    EXPECT_TRUE(viewer_.isVisible());
    viewer_.closePic();

    // A zero length is no better than none: nothing to divide by, and an empty body is not a picture.
    server_.answerWhole(QStringLiteral("/empty.png"), QByteArray());
    openFrom(QStringLiteral("/empty.png"));
    EXPECT_TRUE(viewer_.isVisible());
    ASSERT_TRUE(waitUntil([&] { return responder.alerts().size() == 2; }));
    EXPECT_EQ(responder.alerts().back().informativeText, QStringLiteral("服务器返回的数据无法读取"));
}

TEST_F(ShapedDownloadTest, BytesThatAreNotAPictureAreSaidToBeUnreadable)
{
    platform::ScriptedAlertResponder responder;
    server_.answerWhole(QStringLiteral("/text.png"), "<html>not a picture</html>", "text/html");
    openFrom(QStringLiteral("/text.png"));
    ASSERT_TRUE(viewer_.isVisible());
    ASSERT_TRUE(waitUntil([&] { return responder.alerts().size() == 1; }));
    EXPECT_EQ(responder.alerts().front().messageText, QStringLiteral("载入图片失败！"));
    EXPECT_EQ(responder.alerts().front().informativeText, QStringLiteral("服务器返回的数据无法读取"));
    EXPECT_FALSE(viewer_.downloading());
    EXPECT_TRUE(viewer_.middlePicData().isEmpty());
}

TEST_F(ShapedDownloadTest, SizeToggleAndSaveWaitForTheRunningDownloadWhichKeepsItsSize)
{
    platform::ScriptedAlertResponder responder;
    const QByteArray middle = png(QSize(200, 150), Qt::darkRed, "JPG");
    ShapedServer::Answer slow;
    slow.head = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(middle.size()) +
                "\r\nConnection: close\r\n\r\n";
    slow.first = middle.left(64);
    slow.rest = middle.mid(64);
    slow.hold = true;
    server_.answer(QStringLiteral("/photo.v2.jpg"), slow);
    openFrom(QStringLiteral("/photo.v2.jpg"));
    ASSERT_TRUE(waitUntil([&] { return server_.heldCount() == 1; }));
    QTest::keyClick(&viewer_, Qt::Key_T, Qt::ControlModifier);
    QTest::keyClick(&viewer_, Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(viewer_.originalPic());
    EXPECT_EQ(viewer_.downloadCount(), 1);
    EXPECT_TRUE(responder.savePanels().empty());
    server_.release();
    ASSERT_TRUE(settled());
    EXPECT_EQ(viewer_.middlePicData(), middle);
    EXPECT_TRUE(viewer_.originalPicData().isEmpty());

    // Saving proposes the name without its extension, allows only that type and writes the bytes whole.
    const QString target = QDir(testsupport::root()).filePath(QStringLiteral("saved"));
    responder.queueSaveAnswer(target);
    QTest::keyClick(&viewer_, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(responder.savePanels().size(), 1u);
    EXPECT_EQ(responder.savePanels().front().suggestedName, QStringLiteral("photo.v2"));
    EXPECT_EQ(responder.savePanels().front().nameFilters, QStringList{QStringLiteral("jpg (*.jpg)")});
    QFile saved(target + QStringLiteral(".jpg"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), middle);
    EXPECT_TRUE(responder.alerts().empty());

    // A place that cannot be written says so.
    responder.queueSaveAnswer(QStringLiteral("/nonexistent-folder/x.jpg"));
    viewer_.save();
    ASSERT_EQ(responder.alerts().size(), 1u);
    EXPECT_EQ(responder.alerts().front().messageText, QStringLiteral("保存图片失败！"));
}

} // namespace
