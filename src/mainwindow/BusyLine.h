#pragma once
// The busy line: a strip over the bottom of the lists with a spinner and the text of the operation that runs (the
// latest one when several do). Each operation's text is its own: it goes when the operation's BusyText goes, and no
// other text with it. The failure of a refresh or poll stays on the line until one succeeds, beside the text of
// whatever runs meanwhile. Texts come from any thread; the line changes on the main thread.
#include "platform/BusyText.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

class ProgressIndicator;
class QLabel;
class QWidget;

class BusyLine : public QObject {
    Q_OBJECT
public:
    // The strip, made as a child of `content` (placed by place()); hidden while it has nothing to say.
    explicit BusyLine(QWidget* content);

    BusyText displayBusy(const QString& text);
    // The texts on the line, oldest first.
    QStringList texts() const;
    void setFailureText(const QString& text);
    QString failureText() const { return failureText_; }
    // Nothing shown from now on (the window is going).
    void close() { closed_ = true; }

    // At `left` along the bottom of the content, `width` wide.
    void place(int left, int width, int height);
    QWidget* view() const { return view_; }

private:
    void show();

    struct Entry {
        std::uint64_t id;
        QString text;
    };
    QWidget* content_;
    QWidget* view_ = nullptr;
    ProgressIndicator* progress_ = nullptr;
    QLabel* label_ = nullptr;
    QList<Entry> entries_;  // main thread
    std::atomic<std::uint64_t> nextId_{1};
    QString failureText_;
    bool closed_ = false;
    int left_ = 0, width_ = 0, height_ = 0;
};
