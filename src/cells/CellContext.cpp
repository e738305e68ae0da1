#include "cells/CellContext.h"

#include "cells/CellListController.h"
#include "platform/UserDefaults.h"

#include <QUrlQuery>

namespace {

// The installed context is swapped by the application at start and by tests, both on the main thread; cells
// of background fetches only read it.
std::atomic<CellContext*> installedContext{nullptr};

} // namespace

CellContext& CellContext::current()
{
    if (CellContext* context = installedContext.load())
        return *context;
    static StandardCellContext fallback;
    return fallback;
}

void CellContext::setCurrent(CellContext* context)
{
    installedContext.store(context);
}

StandardCellContext::StandardCellContext(Appearance* appearance)
    : appearance_(appearance)
{
    resources_.setTopicPageAddress(
        platform::UserDefaults::standard().stringForKey(QStringLiteral("WebHost")) + QStringLiteral("/k/"));
    if (resources_.topicPageAddress() == QLatin1String("/k/"))
        resources_.setTopicPageAddress(HotTextResources::defaultTopicPageAddress());
}

StandardCellContext::~StandardCellContext() = default;

const Appearance& StandardCellContext::appearance() const
{
    if (appearance_)
        return *appearance_;
    if (!ownAppearance_)
        ownAppearance_ = std::make_unique<Appearance>();
    return *ownAppearance_;
}

void StandardCellContext::addTotalName(const QString& name)
{
    if (name.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(namesMutex_);
    totalNames_.insert(name);
}

QSet<QString> StandardCellContext::totalNames() const
{
    std::lock_guard<std::mutex> lock(namesMutex_);
    return totalNames_;
}

QUrl StandardCellContext::shortURLInfoURL(const QString& path) const
{
    QString host = webHost_;
    if (host.isEmpty())
        host = platform::UserDefaults::standard().stringForKey(QStringLiteral("WebHost"));
    if (host.isEmpty())
        host = QStringLiteral("http://127.0.0.1:8470");
    QUrl url(host + QStringLiteral("/mblog/sinaurl_info.php"));
    QUrlQuery query;
    // Paths hold only letters, digits and "_-/", nothing that needs escaping.
    query.addQueryItem(QStringLiteral("url"), path);
    url.setQuery(query);
    return url;
}

CellListController::~CellListController() = default;
