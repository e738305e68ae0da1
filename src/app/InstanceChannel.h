#pragma once
// One running Plumet per settings file: a later launch hands a "reopen" to the running one and ends, so the
// account's windows are never made twice.
#include <QObject>
#include <QString>

class QLocalServer;

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // What claim found.
    enum class Claim {
        Running,    // this process is now the running instance
        HandedOver, // the running instance answered and shows itself: this process ends
        Unanswered, // an instance holds the name but neither answered nor went away within the wait
    };

    // The channel of the program whose settings live in settingsFile.
    explicit InstanceChannel(const QString& settingsFile, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Becomes the running instance, or hands a reopen to the one that runs. Only the running instance's "ok"
    // ends this launch: an answer of "quitting", no answer within answerMs or a connection closed without an
    // answer is an instance on its way out, and the launch waits until its name is free (at most waitMs) and
    // then runs on its own instead of reviving it.
    Claim claim(int answerMs = 2000, int waitMs = 20000);

    // From now on a later launch is told that this instance is quitting.
    void setQuitting() { quitting_ = true; }

    QString serverName() const { return name_; }

signals:
    // Another launch asked the running instance to show itself.
    void reopenRequested();
    // Another launch was told that this instance is quitting.
    void laterLaunchTurnedAway();

private:
    void accept();
    // Becomes the server of the name; nameTaken tells a name in use from a channel that cannot be made.
    bool listen(bool& nameTaken);

    QString name_;
    QLocalServer* server_ = nullptr;
    bool quitting_ = false;
};
