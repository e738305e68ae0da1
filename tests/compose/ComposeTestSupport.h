#pragma once
// What the editor tests share: one application with private folders and a cell context whose emotion and emoji
// pictures are small files made here, and an editor stand-in that records what it receives.
#include "../support/TestSupport.h"
#include "cells/CellContext.h"
#include "compose/ComposeEditor.h"
#include "compose/ComposeEnvironment.h"
#include "compose/EmotionViewController.h"
#include "compose/HotkeyTextView.h"
#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class ComposeTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::ApplicationOptions options;
        options.name = "plumet-compose-tests";
        options.privateFolders = true;
        options.programNames = true;
        options.settingsFile = true;
        options.drainQueues = true;
        testsupport::setUpApplication(options);
        pictures_ = std::make_unique<QTemporaryDir>();
        context_ = std::make_unique<StandardCellContext>();
        auto& resources = context_->mutableHotTextResources();
        QDir(pictures_->path()).mkpath(QStringLiteral("emoji"));
        resources.setEmojiFolder(QDir(pictures_->path()).filePath(QStringLiteral("emoji")));
        for (const QString& phrase : {QStringLiteral("哈哈"), QStringLiteral("赞")})
            resources.setEmotionFile(phrase, picture(phrase));
        CellContext::setCurrent(context_.get());
    }
    void TearDown() override
    {
        ComposeEnvironment::clear();
        CellContext::setCurrent(nullptr);
        context_.reset();
        testsupport::tearDownApplication();
        pictures_.reset();
    }

    static StandardCellContext& context() { return *context_; }
    // A 20 × 20 PNG named after `name` in the run's picture folder (made once).
    static QString picture(const QString& name, const QString& subfolder = QString())
    {
        const QDir dir(QDir(pictures_->path()).filePath(subfolder));
        const QString path = dir.filePath(name + QStringLiteral(".png"));
        if (!QFile::exists(path)) {
            QImage image(20, 20, QImage::Format_ARGB32);
            image.fill(QColor::fromHsv(int(qHash(name) % 360), 200, 200));
            image.save(path, "PNG");
        }
        return path;
    }
    static QString folder() { return pictures_->path(); }

private:
    static inline std::unique_ptr<QTemporaryDir> pictures_;
    static inline std::unique_ptr<StandardCellContext> context_;
};

// Types text as key presses carrying it (QTest's key clicks know ASCII only).
inline void typeText(QWidget* target, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c == u'@' ? Qt::Key_At : 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, c == u'@' ? Qt::Key_At : 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(target, &release);
    }
}

// An editor stand-in: counts sends, records drops and emotions.
struct RecordingDelegate : HotkeyTextViewDelegate, EmotionDelegate {
    int finished = 0;
    QStringList emotions;
    void editFinished() override { ++finished; }
    void didSelectEmotion(const AttributedString& emotion) override { emotions.append(emotion.plainString()); }
};
