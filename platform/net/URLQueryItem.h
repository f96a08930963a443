#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

namespace kova::platform {

// One query item; a null value is written as the bare name.
struct URLQueryItem {
    QString name;
    QString value;
    bool operator==(const URLQueryItem &) const = default;
};

inline QList<URLQueryItem> queryItems(const QUrl &url)
{
    QList<URLQueryItem> items;
    if (!url.hasQuery())
        return items;
    const QStringList parts = url.query(QUrl::FullyEncoded).split(QLatin1Char('&'));
    for (const QString &part : parts) {
        if (part.isEmpty())
            continue;
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        auto decode = [](const QString &s) { return QUrl::fromPercentEncoding(s.toUtf8()); };
        if (eq < 0)
            items.append({decode(part), QString()});
        else
            items.append({decode(part.left(eq)), decode(part.mid(eq + 1))});
    }
    return items;
}

// The items percent-encoded and joined with "&".
inline QString encodedQuery(const QList<URLQueryItem> &items)
{
    QStringList parts;
    for (const URLQueryItem &item : items) {
        const QString name = QString::fromUtf8(QUrl::toPercentEncoding(item.name));
        parts.append(item.value.isNull() ? name : name + QLatin1Char('=') + QString::fromUtf8(QUrl::toPercentEncoding(item.value)));
    }
    return parts.join(QLatin1Char('&'));
}

// Sets the URL's query to exactly these items, in order.
inline void setQueryItems(QUrl &url, const QList<URLQueryItem> &items)
{
    url.setQuery(items.isEmpty() ? QString() : encodedQuery(items), QUrl::StrictMode);
}

// Adds these items after the URL's own query, which stays byte for byte.
inline void appendQueryItems(QUrl &url, const QList<URLQueryItem> &items)
{
    if (items.isEmpty())
        return;
    const QString own = url.query(QUrl::FullyEncoded);
    url.setQuery(own.isEmpty() ? encodedQuery(items) : own + QLatin1Char('&') + encodedQuery(items), QUrl::StrictMode);
}

} // namespace kova::platform
