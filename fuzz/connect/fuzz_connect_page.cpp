// Addresses the connect page navigates to, as the web engine hands them over:
// the origin check, the dispatch on the last path component, the query items
// and the login read from them must take any text without crashing, and
// items written by the address builder must read back unchanged.
#include <QUrl>
#include <cstdint>
#include <cstdlib>

#include "core/connections/KOVLogin.h"
#include "platform/net/QueryString.h"
#include "ui/connect/KOVConnectPage.h"

using namespace kova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QUrl origin(QStringLiteral("http://127.0.0.1:4000"));

    const QUrl url = QUrl::fromEncoded("http://127.0.0.1:4000/v3/connection/" + input);
    const KOVConnectPage::Action action = KOVConnectPage::actionForURL(url, origin);
    const QJsonObject items = KOVConnectPage::queryItems(url);
    if (action == KOVConnectPage::Action::Success)
        (void)KOVLogin::initWithDictionary(items);
    (void)KOVConnectPage::lastPathComponent(QUrl::fromEncoded(input));
    (void)platform::query::parse(input);

    // Whatever the text, names and values survive the builder and the parser.
    QList<platform::URLQueryItem> written;
    for (const QByteArray &piece : input.split('\n')) {
        const qsizetype tab = piece.indexOf('\t');
        if (tab < 0)
            written.append({QString::fromUtf8(piece), QString()});
        else
            written.append({QString::fromUtf8(piece.first(tab)), QString::fromUtf8(piece.sliced(tab + 1))});
    }
    // One nameless, valueless item is written as nothing at all.
    if (written.size() == 1 && written[0].name.isEmpty() && written[0].value.isNull())
        return 0;
    const QByteArray built = platform::query::build(written);
    if (platform::query::parse(built) != written)
        std::abort();
    // Through the URL class too, unless every escape is "%25": such a text
    // cannot be told from one the URL class repaired (see encodedQuery).
    QByteArray others = built;
    others.replace("%25", "");
    if (others.contains('%') || !built.contains("%25")) {
        QUrl page = origin;
        page.setPath(QStringLiteral("/v3/connection/success"));
        page.setQuery(QString::fromLatin1(built), QUrl::StrictMode);
        if (platform::query::parse(platform::query::encodedQuery(page)) != written)
            std::abort();
    }
    return 0;
}
