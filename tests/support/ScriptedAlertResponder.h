#pragma once
// A responder for tests: answers from queues of prepared answers and records every request.
#include "platform/AlertResponder.h"

#include <deque>
#include <mutex>
#include <vector>

namespace platform {

class ScriptedAlertResponder : public AlertResponder {
public:
    // Installs itself as the current responder for its lifetime.
    ScriptedAlertResponder();
    ~ScriptedAlertResponder() override;

    // Answers used in order; when a queue is empty the default answer is given: the last button of an alert
    // (its "确定"), cancel for the panels.
    void queueAlertAnswer(int code);
    void queueOpenAnswer(const QStringList& files);
    void queueSaveAnswer(const QString& file);
    void queueFontAnswer(const std::optional<QFont>& font);

    std::vector<AlertRequest> alerts() const;
    std::vector<OpenPanelRequest> openPanels() const;
    std::vector<SavePanelRequest> savePanels() const;
    std::vector<FontPanelRequest> fontPanels() const;
    void clear();

    int runAlert(const AlertRequest& request) override;
    QStringList runOpenPanel(const OpenPanelRequest& request) override;
    QString runSavePanel(const SavePanelRequest& request) override;
    std::optional<QFont> runFontPanel(const FontPanelRequest& request) override;

private:
    mutable std::mutex mutex_; // guards every member below
    AlertResponder* previous_ = nullptr;
    std::deque<int> alertAnswers_;
    std::deque<QStringList> openAnswers_;
    std::deque<QString> saveAnswers_;
    std::deque<std::optional<QFont>> fontAnswers_;
    std::vector<AlertRequest> alerts_;
    std::vector<OpenPanelRequest> openPanels_;
    std::vector<SavePanelRequest> savePanels_;
    std::vector<FontPanelRequest> fontPanels_;
};

} // namespace platform
