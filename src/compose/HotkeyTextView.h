#pragma once
// The text view of every editor: Ctrl+Return (or Meta+Return) sends, and an "@" followed by a name fragment
// offers names: the known ones right after the "@", the service's suggestions once letters follow.
#include "service/WeiboAPI.h"

#include <QStringList>
#include <QTextEdit>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <functional>

class QCompleter;
class QStringListModel;

// The editor that sends when the user presses the send shortcut.
class HotkeyTextViewDelegate {
public:
    virtual ~HotkeyTextViewDelegate() = default;
    virtual void editFinished() = 0;
};

// A range of document positions; location kNotFound means none.
struct NameRange {
    static constexpr int kNotFound = -1;
    int location = kNotFound;
    int length = 0;
    bool operator==(const NameRange& o) const { return location == o.location && length == o.length; }
};

class HotkeyTextView : public QTextEdit {
    Q_OBJECT
public:
    // Answers the names the service suggests for a prefix; runs on a background thread.
    using SuggestionFunction =
        std::function<QStringList(const boost::shared_ptr<weibo::SinaWeibo>& client, const QString& prefix)>;

    explicit HotkeyTextView(QWidget* parent = nullptr);
    ~HotkeyTextView() override;

    // Not owned; the editor that holds this view.
    HotkeyTextViewDelegate* finishDelegate() const { return finishDelegate_; }
    void setFinishDelegate(HotkeyTextViewDelegate* delegate) { finishDelegate_ = delegate; }

    QStringList completionNames() const { return completionNames_; }
    void setCompletionNames(const QStringList& names) { completionNames_ = names; }

    // The name fragment that ends at the insertion point: from just after the last character that cannot be
    // part of a name; none when every character before the insertion point can.
    NameRange nameRangeAtCursor() const;
    // The fragment the completion replaces; an empty fragment refills completionNames with every known name.
    NameRange rangeForUserCompletion();
    QStringList completionsForPartialWordRange(const NameRange& range, int* index) const;

    // Inserts typed text at the insertion point, then runs the completion trigger (what typing does).
    void insertText(const QString& text);
    // Opens the completion list over the fragment (closes it when there is nothing to offer).
    void complete();
    bool isCompletionVisible() const;
    QCompleter* completer() const { return completer_; }
    // Replaces the fragment under the cursor with a chosen name, followed by a space (the next word starts
    // after it).
    void insertCompletion(const QString& name);

    // The client asked for suggestions (by default the environment's).
    void setWeiboInstance(const boost::shared_ptr<weibo::SinaWeibo>& client) { client_ = client; }
    void setSuggestionFunction(SuggestionFunction function) { suggestionFunction_ = std::move(function); }
    static QStringList suggestionsFromService(const boost::shared_ptr<weibo::SinaWeibo>& client,
                                              const QString& prefix);
    // Known names as a person sorts them: by the locale, letters before case, numbers by value.
    static QStringList sortedNames(const QSet<QString>& names);
    // The names that hold `fragment` anywhere, letters compared without case ("li" finds "刘洋_Liu"): those
    // that begin with it first, each group sorted as above.
    static QStringList namesMatching(const QSet<QString>& names, const QString& fragment);

    // Suggestion requests started so far, and the last applied generation (for whoever waits for one).
    std::uint64_t suggestionGeneration() const { return generation_; }
    std::uint64_t appliedGeneration() const { return applied_; }

signals:
    // A suggestion answer was applied to completionNames.
    void suggestionsApplied();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void completionTrigger();
    QString textInRange(const NameRange& range) const;
    void applySuggestions(std::uint64_t generation, const QString& prefix, const QStringList& names);

    HotkeyTextViewDelegate* finishDelegate_ = nullptr;
    QStringList completionNames_;
    QCompleter* completer_ = nullptr;
    QStringListModel* completionModel_ = nullptr;
    boost::shared_ptr<weibo::SinaWeibo> client_;
    SuggestionFunction suggestionFunction_;
    // Main thread only: the last request started and the last one whose answer was applied.
    std::uint64_t generation_ = 0;
    std::uint64_t applied_ = 0;
};
