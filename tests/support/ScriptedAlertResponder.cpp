#include "ScriptedAlertResponder.h"

namespace platform {

ScriptedAlertResponder::ScriptedAlertResponder()
    : previous_(AlertResponder::current())
{
    AlertResponder::setCurrent(this);
}

ScriptedAlertResponder::~ScriptedAlertResponder()
{
    if (AlertResponder::current() == this)
        AlertResponder::setCurrent(previous_);
}

void ScriptedAlertResponder::queueAlertAnswer(int code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    alertAnswers_.push_back(code);
}

void ScriptedAlertResponder::queueOpenAnswer(const QStringList& files)
{
    std::lock_guard<std::mutex> lock(mutex_);
    openAnswers_.push_back(files);
}

void ScriptedAlertResponder::queueSaveAnswer(const QString& file)
{
    std::lock_guard<std::mutex> lock(mutex_);
    saveAnswers_.push_back(file);
}

void ScriptedAlertResponder::queueFontAnswer(const std::optional<QFont>& font)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fontAnswers_.push_back(font);
}

std::vector<AlertRequest> ScriptedAlertResponder::alerts() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return alerts_;
}

std::vector<OpenPanelRequest> ScriptedAlertResponder::openPanels() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return openPanels_;
}

std::vector<SavePanelRequest> ScriptedAlertResponder::savePanels() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return savePanels_;
}

std::vector<FontPanelRequest> ScriptedAlertResponder::fontPanels() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fontPanels_;
}

void ScriptedAlertResponder::clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    alerts_.clear();
    openPanels_.clear();
    savePanels_.clear();
    fontPanels_.clear();
}

int ScriptedAlertResponder::runAlert(const AlertRequest& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    alerts_.push_back(request);
    if (!alertAnswers_.empty()) {
        const int code = alertAnswers_.front();
        alertAnswers_.pop_front();
        return code;
    }
    const int buttons = static_cast<int>(request.buttons.size());
    return kFirstButton + (buttons > 0 ? buttons - 1 : 0);
}

QStringList ScriptedAlertResponder::runOpenPanel(const OpenPanelRequest& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    openPanels_.push_back(request);
    if (openAnswers_.empty())
        return {};
    QStringList answer = openAnswers_.front();
    openAnswers_.pop_front();
    return answer;
}

QString ScriptedAlertResponder::runSavePanel(const SavePanelRequest& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    savePanels_.push_back(request);
    if (saveAnswers_.empty())
        return {};
    QString answer = saveAnswers_.front();
    saveAnswers_.pop_front();
    return answer;
}

std::optional<QFont> ScriptedAlertResponder::runFontPanel(const FontPanelRequest& request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fontPanels_.push_back(request);
    if (fontAnswers_.empty())
        return std::nullopt;
    std::optional<QFont> answer = fontAnswers_.front();
    fontAnswers_.pop_front();
    return answer;
}

} // namespace platform
