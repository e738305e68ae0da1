// The editors offscreen: the send shortcut, the length rule, name fragments and completion, drops, the picker.
#include "ComposeTestSupport.h"
#include "cells/WBUtility.h"
#include "compose/DroppableHKTextView.h"
#include "compose/EmotionPopUpButton.h"
#include "compose/HotkeyTextView.h"
#include "compose/CameraCapture.h"
#include "compose/PostWindowController.h"
#include "ScriptedAlertResponder.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QTabWidget>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>
#include <QUrl>

#include <condition_variable>
#include <mutex>

namespace {

[[maybe_unused]] auto* const app = ::testing::AddGlobalTestEnvironment(new ComposeTestApp);

TEST(HotkeyTextView, CtrlOrMetaReturnSendsAndPlainReturnIsTyped)
{
    HotkeyTextView view;
    RecordingDelegate editor;
    view.setFinishDelegate(&editor);
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Enter, Qt::MetaModifier);
    EXPECT_EQ(editor.finished, 2);
    EXPECT_TRUE(view.toPlainText().isEmpty());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(editor.finished, 2);
    EXPECT_EQ(view.document()->blockCount(), 2);
    // Without an editor the shortcut is an ordinary Return.
    view.setFinishDelegate(nullptr);
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(editor.finished, 2);
}

TEST(ComposeEditor, LengthRuleCountsCutsAndTreatsEmotionsAsTheirCodes)
{
    ComposeEditor editor;
    QLabel* hint = editor.inputTipLabel();
    editor.textView()->insertText(QStringLiteral("a"));
    EXPECT_EQ(hint->text(), QStringLiteral("139"));
    EXPECT_FALSE(hint->isHidden());
    editor.clear();
    EXPECT_TRUE(hint->isHidden());

    editor.textView()->insertText(QString(140, QChar(0x4E2D)));
    EXPECT_EQ(hint->text(), QStringLiteral("0"));
    EXPECT_EQ(editor.plainString().size(), 140);
    editor.textView()->insertText(QString(QChar(0x4E2D)));
    EXPECT_EQ(editor.plainString(), QString(140, QChar(0x4E2D)));
    EXPECT_EQ(hint->text(), QStringLiteral("0"));

    // 279 ASCII bytes and a two-byte character: the character goes whole.
    editor.clear();
    editor.textView()->insertText(QString(279, u'a') + QChar(0x4E2D));
    EXPECT_EQ(editor.plainString(), QString(279, u'a'));

    // An emotion counts as its code, and what is typed after it is plain text again.
    editor.clear();
    editor.didSelectEmotion(WBUtility::makeAttachmentWithEmotionName(QStringLiteral("哈哈"), 0));
    typeText(editor.textView(), QStringLiteral("xy"));
    EXPECT_EQ(editor.plainString(), QStringLiteral("[哈哈]xy"));
    EXPECT_EQ(hint->text(), QString::number(140 - (6 + 2 + 1) / 2));
}

TEST(HotkeyTextView, NameFragmentsAndKnownNamesSortedAsAPersonWould)
{
    ComposeEnvironment::setNamesProvider([] {
        return QSet<QString>{QStringLiteral("user10"), QStringLiteral("user2"), QStringLiteral("bob"),
                             QStringLiteral("Alice")};
    });
    HotkeyTextView view;
    int requests = 0;
    view.setSuggestionFunction([&requests](const auto&, const QString&) {
        ++requests;
        return QStringList();
    });
    view.insertText(QStringLiteral("abc"));
    EXPECT_EQ(view.nameRangeAtCursor().location, NameRange::kNotFound);
    view.insertText(QStringLiteral(" x@"));
    EXPECT_EQ(view.nameRangeAtCursor(), (NameRange{6, 0}));
    ASSERT_TRUE(waitUntil([&] { return view.isCompletionVisible(); }, 5000));
    EXPECT_EQ(view.completionNames(),
              (QStringList{QStringLiteral("Alice"), QStringLiteral("bob"), QStringLiteral("user2"),
                           QStringLiteral("user10")}));
    EXPECT_EQ(requests, 0);

    view.insertText(QStringLiteral("bo"));
    EXPECT_EQ(view.nameRangeAtCursor(), (NameRange{6, 2}));
    view.insertCompletion(QStringLiteral("bob"));
    EXPECT_EQ(view.toPlainText(), QStringLiteral("abc x@bob "));
    // A name with no "@" before it never asks.
    platform::waitForGlobalQueue(5000);
    const int before = requests;
    view.insertText(QStringLiteral(" plain_name-2"));
    platform::waitForGlobalQueue(5000);
    EXPECT_EQ(requests, before);
    ComposeEnvironment::setNamesProvider(nullptr);
}

TEST(HotkeyTextView, LatinLettersMatchInAnyCaseBackspaceToTheAtOffersNamesAgainAndAChoiceEndsInASpace)
{
    const QSet<QString> known{QStringLiteral("刘洋_Liu"), QStringLiteral("Lily"), QStringLiteral("ali"),
                              QStringLiteral("李四")};
    ComposeEnvironment::setNamesProvider([known] { return known; });
    EXPECT_EQ(HotkeyTextView::namesMatching(known, QStringLiteral("LI")),
              QStringList{QStringLiteral("Lily")} + HotkeyTextView::sortedNames({QStringLiteral("ali"),
                                                                                 QStringLiteral("刘洋_Liu")}));
    EXPECT_TRUE(HotkeyTextView::namesMatching(known, QStringLiteral("xyz")).isEmpty());

    // The service suggests nothing for "Li": the names met in the timelines that hold it are offered.
    HotkeyTextView view;
    view.setSuggestionFunction([](const auto&, const QString& prefix) {
        return prefix == QStringLiteral("L") ? QStringList{QStringLiteral("Lucy")} : QStringList();
    });
    view.show();
    typeText(&view, QStringLiteral("@Li"));
    EXPECT_EQ(view.completionNames(), HotkeyTextView::namesMatching(known, QStringLiteral("Li"))); // at once
    ASSERT_TRUE(waitUntil([&] { return view.appliedGeneration() == 2; }, 5000));
    EXPECT_EQ(view.completionNames(), HotkeyTextView::namesMatching(known, QStringLiteral("Li")));
    EXPECT_TRUE(view.isCompletionVisible());

    // Backspace asks again for the shorter fragment, and down to the bare "@" offers every known name.
    QTest::keyClick(&view, Qt::Key_Backspace);
    ASSERT_TRUE(waitUntil([&] { return view.appliedGeneration() == 3; }, 5000));
    EXPECT_EQ(view.completionNames().front(), QStringLiteral("Lucy"));
    QTest::keyClick(&view, Qt::Key_Backspace);
    ASSERT_TRUE(waitUntil([&] { return view.completionNames() == HotkeyTextView::sortedNames(known); }, 5000));
    EXPECT_TRUE(view.isCompletionVisible());

    // A chosen name is followed by a space; an existing one is stepped over, not doubled.
    view.insertCompletion(QStringLiteral("刘洋_Liu"));
    EXPECT_EQ(view.toPlainText(), QStringLiteral("@刘洋_Liu "));
    EXPECT_EQ(view.textCursor().position(), view.toPlainText().size());
    view.setPlainText(QStringLiteral("@L 好"));
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(2);
    view.setTextCursor(cursor);
    view.insertCompletion(QStringLiteral("Lily"));
    EXPECT_EQ(view.toPlainText(), QStringLiteral("@Lily 好"));
    EXPECT_EQ(view.textCursor().position(), 6);
    platform::waitForGlobalQueue(5000);
    QCoreApplication::processEvents();
    ComposeEnvironment::setNamesProvider(nullptr);
}

TEST(HotkeyTextView, OnlyTheAnswerForTheFragmentUnderTheCursorIsApplied)
{
    HotkeyTextView view;
    std::mutex m;
    std::condition_variable cv;
    bool releaseFirst = false;
    view.setSuggestionFunction([&](const auto&, const QString& prefix) {
        if (prefix == QStringLiteral("a")) {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return releaseFirst; });
            return QStringList{QStringLiteral("alice")};
        }
        return QStringList{prefix + QStringLiteral("by")};
    });
    view.insertText(QStringLiteral("@a"));
    view.insertText(QStringLiteral("b"));
    ASSERT_TRUE(waitUntil([&] { return view.appliedGeneration() == 2; }, 5000));
    EXPECT_EQ(view.completionNames(), QStringList{QStringLiteral("abby")});
    {
        std::lock_guard<std::mutex> lock(m);
        releaseFirst = true;
    }
    cv.notify_all();
    platform::waitForGlobalQueue(5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.completionNames(), QStringList{QStringLiteral("abby")});

    // An answer for a fragment the user has left is not applied either.
    view.insertText(QStringLiteral("c"));
    view.insertText(QStringLiteral(" "));
    platform::waitForGlobalQueue(5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.appliedGeneration(), 2u);
}

struct DropRecorder : DroppableTextViewDelegate {
    QStringList paths;
    void fileDropped(const QString& path) override { paths.append(path); }
};

void dropUrls(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    data.setText(urls.isEmpty() ? QStringLiteral("text") : urls.front().toString());
    // A drop reaches only the widget that took the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

TEST(DroppableHKTextView, FirstLocalFileGoesToTheEditorAndNothingIsInserted)
{
    DroppableHKTextView view;
    DropRecorder recorder;
    view.setDropDelegate(&recorder);
    view.insertText(QStringLiteral("正文"));
    const QString text = QDir(ComposeTestApp::folder()).filePath(QStringLiteral("note.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    dropUrls(view.viewport(), {QUrl(QStringLiteral("http://127.0.0.1/x")), QUrl::fromLocalFile(text),
                               QUrl::fromLocalFile(ComposeTestApp::picture(QStringLiteral("p")))});
    dropUrls(view.viewport(), {});
    EXPECT_EQ(recorder.paths, QStringList{text});
    EXPECT_EQ(view.toPlainText(), QStringLiteral("正文"));

    // In the new-status window a picture attaches with its preview; a dropped non-picture clears both.
    PostWindowController window(ComposeContext(), nullptr, QDir(ComposeTestApp::folder()).filePath("drafts-drop"));
    dropUrls(window.textView()->viewport(), {QUrl::fromLocalFile(ComposeTestApp::picture(QStringLiteral("p")))});
    EXPECT_EQ(window.picPath(), ComposeTestApp::picture(QStringLiteral("p")));
    EXPECT_FALSE(window.previewPic()->pixmap().isNull());
    dropUrls(window.textView()->viewport(), {QUrl::fromLocalFile(text)});
    EXPECT_TRUE(window.picPath().isEmpty());
    EXPECT_TRUE(window.previewPic()->pixmap().isNull());
    EXPECT_TRUE(window.editor()->plainString().isEmpty());
}

TEST(PostWindowController, CameraPicturesArePrivateAndGoWithReset)
{
    platform::ScriptedAlertResponder alerts;
    QTemporaryDir drafts;
    PostWindowController window(ComposeContext(), nullptr, drafts.path());
    if (!CameraCapture::hasCamera()) {
        // No camera: said plainly, nothing changes.
        window.fileDropped(ComposeTestApp::picture(QStringLiteral("before")));
        window.takePicture();
        ASSERT_EQ(alerts.alerts().size(), 1u);
        EXPECT_EQ(alerts.alerts().front().messageText, CameraCapture::noCameraMessage());
        EXPECT_EQ(window.picPath(), ComposeTestApp::picture(QStringLiteral("before")));
    }
    QImage shot(64, 48, QImage::Format_RGB32);
    shot.fill(Qt::darkCyan);
    ASSERT_TRUE(window.attachCameraPicture(shot));
    const QString first = window.picPath();
    EXPECT_NE(first, QStringLiteral("/tmp/plumetupload.jpg"));
    EXPECT_EQ(QFileInfo(first).permissions() & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_EQ(QFileInfo(QFileInfo(first).absolutePath()).permissions() & 0x0077, QFileDevice::Permissions());
    ASSERT_TRUE(window.attachCameraPicture(shot));
    EXPECT_NE(window.picPath(), first); // a new file each time, the old one gone
    EXPECT_FALSE(QFile::exists(first));

    // The reset removes the camera file; the draft keeps a copy of its own.
    typeText(window.textView(), QStringLiteral("拍的"));
    const QString second = window.picPath();
    window.reset();
    EXPECT_FALSE(QFile::exists(second));
    const QList<Draft> kept = window.drafts().store().drafts();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(QFile::exists(kept.front().picture));
    window.restoreDraft(kept.front());
    EXPECT_EQ(window.picPath(), kept.front().picture);
    EXPECT_FALSE(window.previewPic()->pixmap().isNull());
}

QList<EmotionCategory> catalogueOf(int count)
{
    QList<EmotionCategory> categories;
    for (int i = 0; i < count; ++i)
        categories.append({QStringLiteral("分类%1").arg(i), {QStringLiteral("e%1a").arg(i), QStringLiteral("e%1b").arg(i)}});
    categories[0].phrases.append(QStringLiteral("没有图片"));
    return categories;
}

TEST(EmotionViewController, TwentyCategoriesMakeThreePagesAndNoSegmentOutlivesTheCatalogue)
{
    int built = 0;
    EmotionViewController picker([] { return catalogueOf(20); },
                                 [&built](const QString& phrase) {
                                     ++built;
                                     return phrase == QStringLiteral("没有图片") ? QString() : ComposeTestApp::picture(phrase);
                                 });
    EXPECT_EQ(picker.numberOfPages(), 3);
    EXPECT_FALSE(picker.leftButton()->isEnabled());
    EXPECT_TRUE(picker.rightButton()->isEnabled());
    // Category 0 shows its pictured emotions; the one without a file is left out. Built once, then cached.
    ASSERT_EQ(picker.emotionModels().size(), 2);
    EXPECT_EQ(picker.emotionModels()[0].name, QStringLiteral("e0a"));
    const int afterFirst = built;
    picker.setEmotionCategory(1);
    picker.setEmotionCategory(0);
    EXPECT_EQ(built, afterFirst + 2);

    picker.right();
    picker.right();
    picker.right();
    EXPECT_EQ(picker.page(), 3u);
    EXPECT_FALSE(picker.rightButton()->isEnabled());
    EXPECT_TRUE(picker.leftButton()->isEnabled());
    EXPECT_EQ(picker.segment(3)->text(), QStringLiteral("分类19"));
    for (int i = 4; i < EmotionViewController::kSegmentsPerPage; ++i) {
        EXPECT_TRUE(picker.segment(i)->text().isEmpty()) << i;
        EXPECT_FALSE(picker.segment(i)->isEnabled()) << i;
    }
    picker.emotionSegmentChanged(6);
    EXPECT_TRUE(picker.emotionModels().isEmpty());
    picker.left();
    EXPECT_EQ(picker.segment(6)->text(), QStringLiteral("分类14"));
}

TEST(EmotionViewController, GridBoundsAreHalfOpenAndChoicesGoToTheLastOpener)
{
    EXPECT_EQ(MyCollectionView::itemIndexAt(QPointF(479.5, 191.5), 90), 89);
    EXPECT_EQ(MyCollectionView::itemIndexAt(QPointF(480, 10), 90), -1);
    EXPECT_EQ(MyCollectionView::itemIndexAt(QPointF(10, 192), 90), -1);
    EXPECT_EQ(MyCollectionView::itemIndexAt(QPointF(40, 0), 1), -1); // past the last item of a short category

    auto picker = std::make_unique<EmotionViewController>(
        [] {
            return QList<EmotionCategory>{{QStringLiteral("默认"), {QStringLiteral("哈哈"), QStringLiteral("赞")}}};
        },
        [](const QString& phrase) { return ComposeTestApp::context().hotTextResources().pathForEmotionName(phrase); });
    picker->collectionView()->mouseMovedTo(QPointF(40, 5));
    EXPECT_EQ(picker->collectionView()->selectedRect(), QRect(32, 0, 32, 32));
    picker->collectionView()->mouseMovedTo(QPointF(70, 5));
    EXPECT_TRUE(picker->collectionView()->selectedRect().isEmpty());

    ComposeEnvironment::setEmotionViewControllerProvider([&picker] { return picker.get(); });
    ComposeEditor first, second;
    first.emotionButton()->popUpButtonWillPopUp();
    second.emotionButton()->popUpButtonWillPopUp();
    picker->selectEmotion(1);
    EXPECT_TRUE(first.plainString().isEmpty());
    EXPECT_EQ(second.plainString(), QStringLiteral("[赞]"));
    first.emotionButton()->popUpButtonWillPopUp();
    picker->selectEmotion(0);
    EXPECT_EQ(first.plainString(), QStringLiteral("[哈哈]"));
    // The picker outlives the editor that holds it, and an editor that has gone receives nothing.
    {
        ComposeEditor third;
        third.emotionButton()->popUpButtonWillPopUp();
    }
    ASSERT_NE(picker.get(), nullptr);
    EXPECT_EQ(picker->parentWidget(), nullptr);
    EXPECT_EQ(picker->delegate(), nullptr);
    picker->selectEmotion(0);
    ComposeEnvironment::setEmotionViewControllerProvider(nullptr);
}

TEST(EmotionViewController, EmojiGroupsFollowTheTableAndFillOnFirstShow)
{
    const auto& groups = EmotionViewController::emojiGroups();
    ASSERT_EQ(groups.size(), 5u);
    const std::size_t sizes[] = {112, 53, 135, 70, 101};
    for (std::size_t g = 0; g < 5; ++g)
        EXPECT_EQ(groups[g].size(), sizes[g]) << g;
    EXPECT_EQ(groups[0].front(), u'\uE415');
    EXPECT_EQ(groups[4].back(), u'\uE537');
    EXPECT_EQ(EmotionViewController::emojiFileName(0xE415), QStringLiteral("ee9095.png"));

    const QString emoji = ComposeTestApp::picture(QStringLiteral("ee9095"), QStringLiteral("emoji"));
    EmotionViewController picker(nullptr, nullptr);
    EXPECT_TRUE(picker.isEmojiGroupFilled(0));
    EXPECT_FALSE(picker.isEmojiGroupFilled(2));
    RecordingDelegate editor;
    QObject lifetime;
    picker.setDelegate(&editor, &lifetime);
    picker.emojiCellClicked(0, 0); // U+E415 has a picture
    picker.emojiCellClicked(0, 1); // U+E056 has none: nothing is inserted
    EXPECT_EQ(editor.emotions, QStringList{QString(QChar(0xE415))});
    picker.emojiTabs()->setCurrentIndex(2);
    EXPECT_TRUE(picker.isEmojiGroupFilled(2));
    EXPECT_EQ(picker.emojiMatrix(2)->items().size(), 135);
    (void)emoji;
}

} // namespace
