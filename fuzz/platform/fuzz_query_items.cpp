// Arbitrary text as an address: its query items read, written back and read
// again must give the same items.

#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/net/URLQueryItem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QUrl url(text);
    const QList<kova::platform::URLQueryItem> items = kova::platform::queryItems(url);
    QUrl rebuilt(QStringLiteral("https://host.example/path"));
    kova::platform::setQueryItems(rebuilt, items);
    if (kova::platform::queryItems(rebuilt) != items)
        std::abort(); // a round trip must not change what the host sent
    return 0;
}
