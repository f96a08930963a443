#include "ui/connect/KOVConnectPage.h"

#include <map>

#include "core/KOVConstants.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/net/QueryString.h"
#include "ui/look/ViewStyling.h"

#ifndef KOVA_DEFAULT_CONNECT_URL
#define KOVA_DEFAULT_CONNECT_URL "https://connect.kova.dev"
#endif

namespace kova {

namespace {

QUrl originOf(const QUrl &url)
{
    QUrl origin;
    origin.setScheme(url.scheme());
    origin.setHost(url.host());
    origin.setPort(url.port());
    return origin;
}

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
        && !url.host().isEmpty();
}

} // namespace

QUrl KOVConnectPage::baseURL()
{
    const QString configured = platform::ProcessInfo::environmentValue("KOVA_CONNECT_URL");
    if (!configured.isEmpty()) {
        const QUrl url(configured, QUrl::StrictMode);
        if (isWebAddress(url))
            return originOf(url);
        platform::log(QStringLiteral("[Kova] KOVA_CONNECT_URL is not an http or https address; using the default"), platform::logUI());
    }
    return originOf(QUrl(QStringLiteral(KOVA_DEFAULT_CONNECT_URL)));
}

QUrl KOVConnectPage::initializationURL(const QUrl &base, const Parameters &parameters)
{
    const QString countries =
        parameters.countries ? stringRepresentation(*parameters.countries) : QString();
    const QList<platform::URLQueryItem> items{
        {QStringLiteral("appKey"), parameters.appKey},
        {QStringLiteral("isMobile"), QStringLiteral("false")},
        {QStringLiteral("isWebview"), QStringLiteral("true")},
        {QStringLiteral("countries"), countries},
        {QStringLiteral("environment"),
         parameters.environment.isEmpty() ? KOVEnvironmentProduction : parameters.environment},
        {QStringLiteral("showLogo"), parameters.showLogo ? QStringLiteral("true") : QStringLiteral("false")},
        {QStringLiteral("bankID"), parameters.bankID},
    };
    QUrl url = originOf(base);
    url.setPath(QString::fromLatin1(Path));
    url.setQuery(QString::fromLatin1(platform::query::build(items)), QUrl::StrictMode);
    return url;
}

QJsonObject KOVConnectPage::queryItems(const QUrl &url)
{
    // Settled in a sorted map first and handed over in order: inserting
    // into the object as the items come costs a shift of everything after
    // each name, which a page could make quadratic with a long query.
    std::map<QString, QString> settled;
    for (platform::URLQueryItem &item : platform::query::parse(platform::query::encodedQuery(url))) {
        if (item.value.isNull())
            settled.erase(item.name);
        else
            settled.insert_or_assign(std::move(item.name), std::move(item.value));
    }
    QJsonObject items;
    for (auto &[name, value] : settled)
        items.insert(name, value);
    return items;
}

QString KOVConnectPage::lastPathComponent(const QUrl &url)
{
    QString path = url.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool KOVConnectPage::isSameOrigin(const QUrl &url, const QUrl &origin)
{
    const auto defaultPort = [](const QUrl &u) { return u.scheme() == QLatin1String("https") ? 443 : 80; };
    return isWebAddress(url) && url.scheme() == origin.scheme() && url.host() == origin.host()
        && url.port(defaultPort(url)) == origin.port(defaultPort(origin));
}

KOVConnectPage::Action KOVConnectPage::actionForURL(const QUrl &url, const QUrl &origin)
{
    if (!isSameOrigin(url, origin))
        return Action::None;
    const QString last = lastPathComponent(url);
    if (last == QLatin1String("link"))
        return Action::Link;
    if (last == QLatin1String("success"))
        return Action::Success;
    if (last == QLatin1String("error"))
        return Action::Error;
    if (last == QLatin1String("exit"))
        return Action::Exit;
    return Action::None;
}

} // namespace kova
