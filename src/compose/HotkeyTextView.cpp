#include "compose/HotkeyTextView.h"

#include "cells/HotTextScanner.h"
#include "compose/ComposeEnvironment.h"
#include "model/Replies.h"
#include "platform/Dispatch.h"

#include <QAbstractItemView>
#include <QCollator>
#include <QCompleter>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>

#include <algorithm>

HotkeyTextView::HotkeyTextView(QWidget* parent)
    : QTextEdit(parent)
    , completer_(new QCompleter(this))
    , completionModel_(new QStringListModel(this))
    , suggestionFunction_(&HotkeyTextView::suggestionsFromService)
{
    setAcceptRichText(false);
    completer_->setModel(completionModel_);
    completer_->setWidget(this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    connect(completer_, QOverload<const QString&>::of(&QCompleter::activated), this,
            &HotkeyTextView::insertCompletion);
}

HotkeyTextView::~HotkeyTextView() = default;

NameRange HotkeyTextView::nameRangeAtCursor() const
{
    const QTextDocument* doc = document();
    const int c = textCursor().selectionStart();
    for (int i = c - 1; i >= 0;) {
        const QChar ch = doc->characterAt(i);
        if (ch.isLowSurrogate() && i > 0 && doc->characterAt(i - 1).isHighSurrogate()) {
            if (isNameEndingCharacter(QChar::surrogateToUcs4(doc->characterAt(i - 1), ch)))
                return {i + 1, c - i - 1};
            i -= 2;
            continue;
        }
        if (isNameEndingCharacter(ch.unicode()))
            return {i + 1, c - i - 1};
        --i;
    }
    return {};
}

QString HotkeyTextView::textInRange(const NameRange& range) const
{
    if (range.location == NameRange::kNotFound || range.length <= 0)
        return QString();
    QTextCursor cursor(document());
    cursor.setPosition(range.location);
    cursor.setPosition(range.location + range.length, QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

NameRange HotkeyTextView::rangeForUserCompletion()
{
    const NameRange range = nameRangeAtCursor();
    if (range.location != NameRange::kNotFound && range.length == 0)
        completionNames_ = sortedNames(ComposeEnvironment::totalNames());
    return range;
}

QStringList HotkeyTextView::completionsForPartialWordRange(const NameRange& range, int* index) const
{
    (void)range;
    if (index)
        *index = 0;
    return completionNames_;
}

namespace {

// Compares as a person does: runs of digits by their value, the rest by the locale's collation ignoring case
// (plain case-insensitive order where the locale has none, as in the C locale).
int localizedStandardCompare(const QCollator& collator, bool collates, QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = a[i].isDigit(), db = b[j].isDigit();
        qsizetype ei = i, ej = j;
        while (ei < a.size() && a[ei].isDigit() == da)
            ++ei;
        while (ej < b.size() && b[ej].isDigit() == db)
            ++ej;
        QStringView ra = a.mid(i, ei - i), rb = b.mid(j, ej - j);
        int order = 0;
        if (da && db) {
            while (ra.size() > 1 && ra.front() == u'0')
                ra = ra.mid(1);
            while (rb.size() > 1 && rb.front() == u'0')
                rb = rb.mid(1);
            order = ra.size() != rb.size() ? (ra.size() < rb.size() ? -1 : 1) : ra.compare(rb);
        } else {
            order = collates ? collator.compare(ra, rb) : ra.compare(rb, Qt::CaseInsensitive);
        }
        if (order != 0)
            return order < 0 ? -1 : 1;
        i = ei;
        j = ej;
    }
    return (a.size() - i) < (b.size() - j) ? -1 : ((a.size() - i) > (b.size() - j) ? 1 : 0);
}

} // namespace

QStringList HotkeyTextView::sortedNames(const QSet<QString>& names)
{
    QStringList sorted(names.begin(), names.end());
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const bool collates = collator.locale().language() != QLocale::C;
    std::sort(sorted.begin(), sorted.end(), [&](const QString& a, const QString& b) {
        const int order = localizedStandardCompare(collator, collates, a, b);
        return order != 0 ? order < 0 : a < b;
    });
    return sorted;
}

QStringList HotkeyTextView::namesMatching(const QSet<QString>& names, const QString& fragment)
{
    QSet<QString> starting, holding;
    for (const QString& name : names) {
        if (name.startsWith(fragment, Qt::CaseInsensitive))
            starting.insert(name);
        else if (name.contains(fragment, Qt::CaseInsensitive))
            holding.insert(name);
    }
    return sortedNames(starting) + sortedNames(holding);
}

void HotkeyTextView::insertText(const QString& text)
{
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    completionTrigger();
}

void HotkeyTextView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool isReturn = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (isCompletionVisible()) {
        // The list takes these; the completer hands them on to it.
        if (isReturn || key == Qt::Key_Escape || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            event->ignore();
            return;
        }
    }
    if (isReturn && (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && finishDelegate_) {
        event->accept();
        finishDelegate_->editFinished();
        return;
    }
    QTextEdit::keyPressEvent(event);
    const QString text = event->text();
    const bool typed = !text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) &&
                       std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
    // Deleting back into a name (down to the bare "@") offers names again, as typing does.
    const bool erased = (key == Qt::Key_Backspace || key == Qt::Key_Delete) && !event->modifiers();
    if (typed || erased)
        completionTrigger();
    else if (isCompletionVisible() && key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Meta &&
             key != Qt::Key_Alt)
        completer_->popup()->hide();
}

void HotkeyTextView::inputMethodEvent(QInputMethodEvent* event)
{
    QTextEdit::inputMethodEvent(event);
    if (!event->commitString().isEmpty())
        completionTrigger();
}

void HotkeyTextView::completionTrigger()
{
    const int c = textCursor().selectionStart();
    const NameRange range = nameRangeAtCursor();
    const int a = range.location == NameRange::kNotFound ? c : range.location;
    if (a <= 0 || document()->characterAt(a - 1) != u'@') {
        if (isCompletionVisible())
            completer_->popup()->hide();
        return;
    }
    const QString prefix = textInRange(range);
    if (prefix.isEmpty()) {
        // Right after the "@": the known names, no request.
        QMetaObject::invokeMethod(this, &HotkeyTextView::complete, Qt::QueuedConnection);
        return;
    }
    // The names met in the timelines that hold the fragment are offered at once; the service's suggestions
    // join them when they come (a slow or stopped service leaves the list as it is meanwhile).
    const QStringList known = namesMatching(ComposeEnvironment::totalNames(), prefix);
    if (!known.isEmpty()) {
        completionNames_ = known;
        QMetaObject::invokeMethod(this, &HotkeyTextView::complete, Qt::QueuedConnection);
    }
    // The client and the prefix are read here; the block gets values only, and its answer counts only while
    // it answers the fragment still under the cursor (see applySuggestions).
    const boost::shared_ptr<weibo::SinaWeibo> client = client_ ? client_ : ComposeEnvironment::client();
    const std::uint64_t generation = ++generation_;
    const SuggestionFunction function = suggestionFunction_;
    QPointer<HotkeyTextView> self(this);
    platform::dispatchGlobal([self, generation, prefix, client, function] {
        const QStringList names = function ? function(client, prefix) : QStringList();
        platform::dispatchMainAsync([self, generation, prefix, names] {
            if (self)
                self->applySuggestions(generation, prefix, names);
        });
    });
}

void HotkeyTextView::applySuggestions(std::uint64_t generation, const QString& prefix, const QStringList& names)
{
    if (generation <= applied_)
        return; // a later request has already answered
    if (textInRange(nameRangeAtCursor()) != prefix)
        return; // the user has typed on or moved away
    applied_ = generation;
    // The service's suggestions first, then the names met in the timelines that hold the fragment: a name
    // written in Latin letters is found by them whatever their case, and the list still offers something
    // when the service does not answer.
    QStringList merged = names;
    for (const QString& known : namesMatching(ComposeEnvironment::totalNames(), prefix))
        if (!merged.contains(known))
            merged.append(known);
    completionNames_ = merged;
    emit suggestionsApplied();
    complete();
}

QStringList HotkeyTextView::suggestionsFromService(const boost::shared_ptr<weibo::SinaWeibo>& client,
                                                   const QString& prefix)
{
    QStringList names;
    if (!client)
        return names;
    // A failed lookup only means no suggestions: typing is never interrupted by an alert.
    const auto suggestions =
        weibo::recordsOf<weibo::WBSuggestionAtUser>(client->searchSuggestionsAtUsers(prefix.toStdString(), 0));
    for (const auto& suggestion : suggestions.value)
        names.append(QString::fromStdString(suggestion->nickname));
    return names;
}

void HotkeyTextView::complete()
{
    const NameRange range = rangeForUserCompletion();
    int index = 0;
    const QStringList names =
        range.location == NameRange::kNotFound ? QStringList() : completionsForPartialWordRange(range, &index);
    if (names.isEmpty()) {
        completer_->popup()->hide();
        return;
    }
    completionModel_->setStringList(names);
    completer_->setCompletionPrefix(QString());
    QTextCursor at(document());
    at.setPosition(range.location);
    QRect rect = cursorRect(at);
    QAbstractItemView* popup = completer_->popup();
    rect.setWidth(std::max(120, popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width()));
    completer_->complete(rect);
    popup->setCurrentIndex(completionModel_->index(std::clamp(index, 0, int(names.size()) - 1)));
}

bool HotkeyTextView::isCompletionVisible() const
{
    return completer_->popup() && completer_->popup()->isVisible();
}

void HotkeyTextView::insertCompletion(const QString& name)
{
    const NameRange range = nameRangeAtCursor();
    if (range.location == NameRange::kNotFound)
        return;
    QTextCursor cursor = textCursor();
    const int end = cursor.selectionStart();
    cursor.setPosition(range.location);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.insertText(name);
    // A space ends the name, so the user types on in the next word; one that is already there is stepped over.
    if (document()->characterAt(cursor.position()) == u' ')
        cursor.movePosition(QTextCursor::NextCharacter);
    else
        cursor.insertText(QStringLiteral(" "));
    setTextCursor(cursor);
    completer_->popup()->hide();
}
