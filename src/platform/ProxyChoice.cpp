#include "platform/ProxyChoice.h"

#include "platform/UserDefaults.h"

#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QRegularExpression>

namespace platform {

const QString ProxyChoice::kProxyHost = QStringLiteral("ProxyHost");
const QString ProxyChoice::kProxyPort = QStringLiteral("ProxyPort");

namespace {

// The first of the variables that is set and not empty, with its name.
std::pair<QString, QString> firstSet(const QProcessEnvironment& environment, const QStringList& names)
{
    for (const QString& name : names) {
        const QString value = environment.value(name).trimmed();
        if (!value.isEmpty())
            return {name, value};
    }
    return {};
}

class SettingsProxyFactory : public QNetworkProxyFactory {
public:
    explicit SettingsProxyFactory(const UserDefaults& defaults)
        : defaults_(defaults)
    {
    }
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return {ProxyChoice::forUrl(query.url(), defaults_).networkProxy()};
    }

private:
    const UserDefaults& defaults_;
};

} // namespace

bool ProxyChoice::noProxyNames(const QString& list, const QString& hostName)
{
    QString host = hostName.toLower();
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (host.endsWith(u'.'))
        host.chop(1);
    const QHostAddress address(host);
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (QString entry : list.toLower().split(separators, Qt::SkipEmptyParts)) {
        if (entry == QLatin1String("*"))
            return true;
        if (!address.isNull()) {
            // An address, or a range of them in CIDR notation.
            const QString range = entry.contains(u'/') ? entry
                                  : entry + (entry.contains(u':') ? QStringLiteral("/128") : QStringLiteral("/32"));
            const auto subnet = QHostAddress::parseSubnet(range);
            if (!subnet.first.isNull() && address.isInSubnet(subnet))
                return true;
            continue;
        }
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        if (entry.endsWith(u'.'))
            entry.chop(1);
        if (!entry.isEmpty() && (host == entry || host.endsWith(u'.' + entry)))
            return true;
    }
    return false;
}

ProxyChoice ProxyChoice::forUrl(const QUrl& url, const QString& host, const QString& port,
                                const QProcessEnvironment& environment)
{
    ProxyChoice choice;
    // no_proxy sends a host straight to it, whichever proxy would be taken otherwise (as libcurl does).
    const QString noProxy = firstSet(environment, {QStringLiteral("no_proxy"), QStringLiteral("NO_PROXY")}).second;
    if (!noProxy.isEmpty() && noProxyNames(noProxy, url.host()))
        return choice;
    if (!host.trimmed().isEmpty()) {
        choice.source = Source::Settings;
        choice.proxy = port.trimmed().isEmpty() ? host.trimmed() : host.trimmed() + u':' + port.trimmed();
        return choice;
    }
    const QString scheme = url.scheme().toLower();
    // Only the lower-case form for http: a CGI program's HTTP_PROXY comes from a request header.
    QStringList names;
    if (scheme == QLatin1String("http"))
        names << QStringLiteral("http_proxy");
    else if (!scheme.isEmpty())
        names << scheme + QStringLiteral("_proxy") << scheme.toUpper() + QStringLiteral("_PROXY");
    names << QStringLiteral("all_proxy") << QStringLiteral("ALL_PROXY");
    const auto [variable, value] = firstSet(environment, names);
    if (!value.isEmpty()) {
        choice.source = Source::Environment;
        choice.proxy = value;
        choice.variable = variable;
    }
    return choice;
}

ProxyChoice ProxyChoice::forUrl(const QUrl& url, const UserDefaults& defaults)
{
    return forUrl(url, defaults.stringForKey(kProxyHost), defaults.stringForKey(kProxyPort));
}

QNetworkProxy ProxyChoice::networkProxy() const
{
    if (source == Source::Direct)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QUrl url(proxy.contains(QLatin1String("://")) ? proxy : QStringLiteral("http://") + proxy);
    const auto type = url.scheme().toLower().startsWith(QLatin1String("socks")) ? QNetworkProxy::Socks5Proxy
                                                                              : QNetworkProxy::HttpProxy;
    // libcurl's default proxy port.
    return QNetworkProxy(type, url.host(), quint16(url.port(1080)), url.userName(), url.password());
}

QString ProxyChoice::description() const
{
    switch (source) {
    case Source::Settings:
        return QStringLiteral("正在使用设置中的代理 %1").arg(proxy);
    case Source::Environment:
        return QStringLiteral("正在使用环境变量 %1 中的代理 %2").arg(variable, proxy);
    case Source::Direct:
        break;
    }
    return QStringLiteral("不使用代理，直接连接服务");
}

void ProxyChoice::installForNetworkAccess(const UserDefaults& defaults)
{
    QNetworkProxyFactory::setApplicationProxyFactory(new SettingsProxyFactory(defaults));
}

} // namespace platform
