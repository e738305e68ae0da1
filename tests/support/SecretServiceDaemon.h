#pragma once
// A real Secret Service for the tests: gnome-keyring-daemon (secrets component only) on the test's private session
// bus, with a login keyring of its own that it creates and unlocks with a password read from its standard input,
// so nothing ever prompts. Its keyrings and control socket live in a temporary folder: the desktop's keyring and
// any other daemon on the machine are never touched. Needs the private bus (PrivateSessionBus) first.
#include "ChildProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <string>
#include <vector>

class PrivateSessionBus;

class SecretServiceDaemon {
public:
    // Starts the daemon and waits until it owns org.freedesktop.secrets on the bus. Without a login keyring it has
    // no default keyring, as on a desktop that never made one: storing an item then needs a prompt ("choose a
    // password for the new keyring").
    explicit SecretServiceDaemon(const PrivateSessionBus& bus, bool loginKeyring = true);
    // Stops it; the bus then has no Secret Service.
    ~SecretServiceDaemon();
    bool isRunning() const { return running_; }
    QString error() const { return error_; }

    // What `secret-tool lookup` finds for these attributes, through libsecret's own tool rather than the code under
    // test (none when nothing matches).
    QString lookup(const QStringList& attributes) const;

private:
    std::vector<std::string> environment() const;

    const PrivateSessionBus& bus_;
    QTemporaryDir dir_;
    testsupport::ChildProcess daemon_;
    bool running_ = false;
    QString error_;
};
