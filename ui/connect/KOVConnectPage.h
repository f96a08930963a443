#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace kova {

// The hosted connect page as the screen sees it: where it lives, the address
// the screen opens, and what each address the page navigates to means.
class KOVConnectPage {
public:
    static constexpr const char *Path = "/v3/connection";

    // Scheme, host and port of the page: KOVA_CONNECT_URL when it holds an
    // http or https address, else the build's https default.
    static QUrl baseURL();

    struct Parameters {
        QString appKey;                       // null: no started instance
        std::optional<QStringList> countries; // none: no countries known
        QString environment;                  // empty: production
        bool showLogo = true;
        QString bankID;                       // null: the page lists the banks
    };
    // The page's address with its seven items, names and values escaped
    // outside the unreserved set; a missing value is sent as the name alone.
    static QUrl initializationURL(const QUrl &base, const Parameters &parameters);

    // The URL's items by name: escapes decoded, "+" kept, a later item
    // replacing an earlier one, an item without a value removing the name.
    static QJsonObject queryItems(const QUrl &url);

    enum class Action { None, Link, Success, Error, Exit };
    // What the page says by navigating to `url`: its last path component,
    // compared exactly, and only on the page's own origin.
    static Action actionForURL(const QUrl &url, const QUrl &origin);
    static bool isSameOrigin(const QUrl &url, const QUrl &origin);
    static QString lastPathComponent(const QUrl &url);
};

} // namespace kova
