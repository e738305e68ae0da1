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
    // now the running instance; false when the other one took the request (this process should end).
    bool claim(int timeoutMs = 2000);

    QString serverName() const { return name_; }

signals:
    // Another launch asked the running instance to show itself.
    void reopenRequested();

private:
    void accept();

    QString name_;
    QLocalServer* server_ = nullptr;
};
