#pragma once
// The desktop's keyring as the token store uses it: one text item per key under the service "Plumet", written,
// read and removed asynchronously. Every answer comes later from the event loop, never inside the call.
#include <QString>

#include <functional>

class KeyringBackend {
public:
    enum class Result {
        Ok,
        NotFound,  // the keyring answered: no such item
        NoKeyring, // there is no keyring on this desktop at all
        Failed,    // a keyring is there but did not do it: its prompt was dismissed, it is locked, it broke
    };
    using Done = std::function<void(Result result, const QString& text)>;

    virtual ~KeyringBackend() = default;
    virtual void write(const QString& key, const QString& text, Done done) = 0;
    virtual void read(const QString& key, Done done) = 0;
    virtual void remove(const QString& key, Done done) = 0;

    // The desktop's keyring through QtKeychain (the Secret Service, or KWallet on KDE).
    static KeyringBackend* makeDesktopKeyring(const QString& service);
};
