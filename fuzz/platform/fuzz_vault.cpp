// Arbitrary bytes as a vault file (read under a fixed key) and as the
// encoding of one item's attributes.

#include <QCborMap>
#include <QCborValue>
#include <cstddef>
#include <cstdint>

#include "fuzz/platform/FuzzFiles.h"
#include "platform/foundation/Log.h"
#include "platform/keychain/ItemAttributes.h"
#include "platform/keychain/Vault.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool quiet = (kova::platform::setLogSink([](const QString &) {}), true);
    (void)quiet;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    QCborParserError parseError;
    const QCborValue cbor = QCborValue::fromCbor(bytes, &parseError);
    if (parseError.error == QCborError::NoError && cbor.isMap()) {
        if (const auto attributes = kova::platform::ItemAttributes::fromCbor(cbor.toMap()))
            (void)attributes->identity();
    }

    QDir dir(kova::fuzz::scratchDirectory().filePath(QStringLiteral("vault")));
    dir.removeRecursively(); // a damaged vault is moved aside: start clean
    const QString path = kova::fuzz::writeScratchFile(QStringLiteral("vault/items.vault"), bytes);
    kova::platform::Vault vault(path, QByteArray(32, 'k'));
    vault.read([](const kova::platform::Vault::Items &items, const kova::platform::Vault::AccountIndex &) {
        return qint32(items.size() >= 0 ? 0 : 1);
    });
    return 0;
}
