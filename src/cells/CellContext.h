#pragma once

#include "cells/Appearance.h"
#include "cells/HotTextScanner.h"

#include <QSet>
#include <QString>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// What every cell data object needs from the application besides its list: the signed-in account, the
// appearance objects, the emotion and emoji pictures, the pool of names for completion and the short-address
// information page. The main window (with the application delegate) implements it and installs it; tests
// install stand-ins.
class CellContext {
public:
    virtual ~CellContext() = default;

    // The signed-in user's id (0 when no one is signed in). Any thread: cells made by a background fetch ask it.
    virtual uint64_t selfUserId() const = 0;
    // Main thread, like everything below.
    virtual const Appearance& appearance() const = 0;
    virtual const HotTextResources& hotTextResources() const = 0;
    // A name seen at the head of a status: the pool of names for completion (`totalNames`).
    virtual void addTotalName(const QString& name) = 0;
    // The short-address information page for one path ("/mblog/sinaurl_info.php?url=<path>").
    virtual QUrl shortURLInfoURL(const QString& path) const = 0;

    // The installed context; when none is installed, a standard context with no account, the appearance of the
    // standard settings and no emotions. Never null.
    static CellContext& current();
    // Installs `context` (the caller keeps it and uninstalls it, with nullptr, before destroying it).
    static void setCurrent(CellContext* context);
};

// A context holding its values: what the application fills in, and what tests use.
class StandardCellContext : public CellContext {
public:
    // `appearance` is shared, not owned; none makes one from the standard settings on first use.
    explicit StandardCellContext(Appearance* appearance = nullptr);
    ~StandardCellContext() override;

    uint64_t selfUserId() const override { return selfUserId_.load(); }
    void setSelfUserId(uint64_t id) { selfUserId_.store(id); }

    const Appearance& appearance() const override;
    void setAppearance(Appearance* appearance) { appearance_ = appearance; }

    const HotTextResources& hotTextResources() const override { return resources_; }
    HotTextResources& mutableHotTextResources() { return resources_; }

    void addTotalName(const QString& name) override;
    QSet<QString> totalNames() const;

    // The address of the web pages (the "WebHost" setting when none is set).
    QUrl shortURLInfoURL(const QString& path) const override;
    void setWebHost(const QString& host) { webHost_ = host; }

private:
    std::atomic<uint64_t> selfUserId_{0};
    Appearance* appearance_;
    mutable std::unique_ptr<Appearance> ownAppearance_;
    HotTextResources resources_;
    mutable std::mutex namesMutex_; // guards totalNames_
    QSet<QString> totalNames_;
    QString webHost_;
};
