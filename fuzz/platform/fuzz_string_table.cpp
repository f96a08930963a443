// Arbitrary bytes as a string table of a bundle: looked up by key, with and
// without a default, and listed.

#include <cstddef>
#include <cstdint>

#include "fuzz/platform/FuzzFiles.h"
#include "platform/foundation/Bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using kova::platform::Bundle;
    static const bool languages = (Bundle::setPreferredLanguages({QStringLiteral("en")}), true);
    (void)languages;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    kova::fuzz::writeScratchFile(QStringLiteral("bundle/en.lproj/Fuzz.json"), bytes);
    // A new bundle each time: tables are cached per bundle.
    Bundle bundle(kova::fuzz::scratchDirectory().filePath(QStringLiteral("bundle")));
    volatile qsizetype sink = 0;
    for (const QString &key : bundle.keysInTable(QStringLiteral("Fuzz")))
        sink = sink + bundle.localizedString(key, QString(), QStringLiteral("Fuzz")).size();
    sink = sink + bundle.localizedString(QStringLiteral("Missing"), QStringLiteral("fallback"), QStringLiteral("Fuzz")).size();
    (void)sink;
    return 0;
}
