// Main-thread cost of the editors: one keystroke in an editor holding 280 bytes of text with emotions (length
// rule and completion trigger included), and the picker's first and cached opening of a 24-emotion category.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/compose/bench_compose
#include "cells/CellContext.h"
#include "cells/WBUtility.h"
#include "compose/ComposeEditor.h"
#include "compose/EmotionViewController.h"
#include "compose/HotkeyTextView.h"
#include "platform/Dispatch.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

QTemporaryDir* pictures = nullptr;
StandardCellContext* context = nullptr;

QString emotionPicture(int i)
{
    const QString path = QDir(pictures->path()).filePath(QStringLiteral("e%1.png").arg(i));
    if (!QFile::exists(path)) {
        QImage image(22, 22, QImage::Format_ARGB32);
        image.fill(QColor::fromHsv(i * 13 % 360, 180, 220));
        image.save(path, "PNG");
    }
    return path;
}

// An editor with 280 GB 18030 bytes: Chinese text, an @-name and three emotion pictures ([e1] is 4 bytes).
void fillEditor(ComposeEditor& editor)
{
    for (int i = 0; i < 3; ++i) {
        editor.textView()->insertText(QString(40, QChar(0x4E2D)));
        editor.didSelectEmotion(WBUtility::makeAttachmentWithEmotionName(QStringLiteral("e%1").arg(i), 0));
    }
    editor.textView()->insertText(QString(14, QChar(0x6587)) + QStringLiteral(" @na"));
}

void BM_KeystrokeIn280ByteEditor(benchmark::State& state)
{
    ComposeEditor editor;
    editor.textView()->setSuggestionFunction([](const auto&, const QString&) { return QStringList(); });
    editor.show();
    fillEditor(editor);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        // One character into the @-name (trigger and length rule run), then taken back.
        QTest::keyClick(editor.textView(), Qt::Key_M, Qt::NoModifier);
        QTest::keyClick(editor.textView(), Qt::Key_Backspace);
        state.PauseTiming();
        platform::waitForGlobalQueue(1000);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["keystrokes"] = benchmark::Counter(double(state.iterations()) * 2, benchmark::Counter::kIsRate |
                                                                                           benchmark::Counter::kInvert);
}
BENCHMARK(BM_KeystrokeIn280ByteEditor)->Unit(benchmark::kMicrosecond);

QList<EmotionCategory> catalogue(int categories)
{
    QList<EmotionCategory> list;
    for (int c = 0; c < categories; ++c) {
        EmotionCategory category{QStringLiteral("c%1").arg(c), {}};
        for (int i = 0; i < 24; ++i)
            category.phrases.append(QStringLiteral("e%1").arg(i));
        list.append(category);
    }
    return list;
}

void BM_FirstOpeningOf24EmotionCategory(benchmark::State& state)
{
    const auto path = [](const QString& phrase) { return emotionPicture(phrase.mid(1).toInt()); };
    for (auto _ : state) {
        state.PauseTiming();
        EmotionViewController picker([] { return catalogue(2); }, path); // shows c0 at once
        state.ResumeTiming();
        picker.setEmotionCategory(1);
        benchmark::DoNotOptimize(picker.emotionModels().size());
    }
}
BENCHMARK(BM_FirstOpeningOf24EmotionCategory)->Unit(benchmark::kMillisecond);

void BM_CachedOpeningOf24EmotionCategory(benchmark::State& state)
{
    EmotionViewController picker([] { return catalogue(2); },
                                 [](const QString& phrase) { return emotionPicture(phrase.mid(1).toInt()); });
    picker.setEmotionCategory(1);
    int k = 0;
    for (auto _ : state) {
        picker.setEmotionCategory(k);
        k ^= 1;
    }
}
BENCHMARK(BM_CachedOpeningOf24EmotionCategory)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QTemporaryDir dir;
    pictures = &dir;
    StandardCellContext ctx;
    for (int i = 0; i < 24; ++i)
        ctx.mutableHotTextResources().setEmotionFile(QStringLiteral("e%1").arg(i), emotionPicture(i));
    context = &ctx;
    CellContext::setCurrent(&ctx);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::closeMainQueue();
    platform::waitForGlobalQueue(5000);
    CellContext::setCurrent(nullptr);
    return 0;
}
