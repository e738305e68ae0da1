#pragma once
// One running Plumet per settings file: a later launch hands a "reopen" to the running one and ends, so the
// account's windows are never made twice.
#include <QObject>
#include <QString>

class QLocalServer;

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // The channel of the program whose settings live in settingsFile.
    explicit InstanceChannel(const QString& settingsFile, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Becomes the running instance, or, when another one answers, asks it to reopen. True when this process is
    // now the running instance; false when the other one took the request (this process should end). A running
    // instance that is quitting answers so, and the launch waits for it to be gone (up to quitWaitMs) and then
    // starts on its own instead of reviving it.
    bool claim(int timeoutMs = 2000, int quitWaitMs = 10000);

    // From now on a later launch is told that this instance is quitting.
    void setQuitting() { quitting_ = true; }

    QString serverName() const { return name_; }

signals:
    // Another launch asked the running instance to show itself.
    void reopenRequested();

private:
    void accept();

    QString name_;
    QLocalServer* server_ = nullptr;
    bool quitting_ = false;
};
