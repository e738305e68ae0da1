#pragma once
// Which proxy a transfer takes, by the rules of libcurl's defaults: a proxy set in Plumet ("ProxyHost",
// "ProxyPort") wins; without one the environment's http_proxy (for http), https_proxy or HTTPS_PROXY (for
// https), else all_proxy or ALL_PROXY, unless no_proxy or NO_PROXY names the host; else straight to the server.
// The service client leaves that choice to libcurl; the pictures, which the toolkit's network access fetches,
// follow the same choice through installForNetworkAccess, and the preferences show it.
#include <QNetworkProxy>
#include <QProcessEnvironment>
#include <QString>
#include <QUrl>

namespace platform {

class UserDefaults;

struct ProxyChoice {
    enum class Source { Direct, Settings, Environment };
    Source source = Source::Direct;
    QString proxy;    // the proxy's address as given ("host:port", or a URL)
    QString variable; // the environment variable it came from

    static const QString kProxyHost; // "ProxyHost"
    static const QString kProxyPort; // "ProxyPort"

    // The choice for a transfer to `url`, with Plumet's own proxy `host` (empty: none) and `port`.
    static ProxyChoice forUrl(const QUrl& url, const QString& host, const QString& port,
                              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    // The same with Plumet's proxy from the settings.
    static ProxyChoice forUrl(const QUrl& url, const UserDefaults& defaults);

    // Whether a no_proxy list ("localhost, .example.com, 10.0.0.0/8, *") names the host.
    static bool noProxyNames(const QString& list, const QString& host);
    // The choice as the toolkit's network access takes it (NoProxy for Direct).
    QNetworkProxy networkProxy() const;
    // One line for the preferences.
    QString description() const;

    // From now on the toolkit's transfers choose their proxy by these rules, reading the settings each time.
    static void installForNetworkAccess(const UserDefaults& defaults);
};

} // namespace platform
