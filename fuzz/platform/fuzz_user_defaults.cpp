// Arbitrary bytes as the settings file (where crash reports wait for their
// upload): every reader the SDK uses on it.

#include <cstddef>
#include <cstdint>

#include "fuzz/platform/FuzzFiles.h"
#include "platform/foundation/UserDefaults.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Each input leaves nothing behind: a file set aside as damaged would
    // otherwise pile up, one copy per input.
    QDir dir(kova::fuzz::scratchDirectory().filePath(QStringLiteral("defaults")));
    dir.removeRecursively();
    struct Cleanup {
        QDir &dir;
        ~Cleanup() { dir.removeRecursively(); }
    } cleanup{dir};
    const QString path = kova::fuzz::writeScratchFile(QStringLiteral("defaults/UserDefaults.ini"), bytes);
    kova::platform::UserDefaults defaults(path);
    volatile qsizetype sink = 0;
    for (const char *key : {"UnhandledExceptionName", "UnhandledExceptionReason", "UnhandledExceptionStacktrace",
                            "UnhandledExceptionUserDate", "UnhandledExceptionUtcDate", "General/x"}) {
        const QString name = QString::fromLatin1(key);
        sink = sink + defaults.string(name).size() + (defaults.boolean(name) ? 1 : 0) + (defaults.contains(name) ? 1 : 0);
        sink = sink + defaults.value(name).toStringList().size();
    }
    (void)sink;
    return 0;
}
