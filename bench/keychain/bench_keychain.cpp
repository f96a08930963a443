// stringForKey and setString of the SDK's keychain store against a vault of
// 100, 1,000 and 10,000 items, each as a ratio to handling the same sealed
// values with libsodium directly, measured in the same run:
//   read:  stringForKey        vs opening one sealed value in memory
//   write: setString (update)  vs sealing one value in memory, and vs
//          sealing it and replacing a file of the vault's size atomically
//          (temporary file, fsync, rename) by hand
// Usage: bench_keychain [items [read]]
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sodium.h>
#include <unistd.h>

#include "core/store/KOVKeychain.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/keychain/Vault.h"
#include "platform/keychain/VaultItem.h"

using namespace kova;
using Clock = std::chrono::steady_clock;

namespace {

// Nanoseconds per call: the best of `rounds` runs of `calls` calls.
double timePerCall(int calls, int rounds, const std::function<void(int)> &call)
{
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i)
            call(i);
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / calls;
        best = std::min(best, ns);
    }
    return best;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString keyOf(int i)
{
    return QStringLiteral("token-%1-user-%2").arg(i, 6, 10, QLatin1Char('0')).arg(i * 7919 % 1000003);
}

QByteArray secretOf(int i, int generation)
{
    return QByteArrayLiteral("secret-") + QByteArray::number(generation) + '-' + QByteArray::number(i)
        + QByteArray(24, 'x');
}

// Fills the default vault with `count` SDK secrets in one write.
void fill(int count)
{
    const auto store = KOVKeychain::keychain();
    const auto vault = platform::Vault::standard();
    vault->write([&](platform::Vault::Items &items) {
        items.clear();
        for (int i = 0; i < count; ++i) {
            platform::ItemAttributes attributes = *store->attributesWithKey(keyOf(i), QByteArray(), nullptr);
            attributes.synchronizable = platform::Synchronizable::No;
            items.append(platform::VaultItem(attributes, secretOf(i, 0)));
        }
        return 0;
    });
}

struct RawSealed {
    QByteArray box;
    QByteArray associatedData;
};

bool replaceFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray temp = QFile::encodeName(path + QStringLiteral(".tmp"));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    return ok && ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (sodium_init() < 0)
        return 1;
    QTemporaryDir dir(QDir::current().filePath(QStringLiteral("bench_keychain-XXXXXX")));
    platform::ProcessInfo::setDataDirectoryOverride(dir.path());

    unsigned char key[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
    crypto_aead_xchacha20poly1305_ietf_keygen(key);
    std::mt19937 random(42);

    std::printf("keychain: stringForKey / setString with N items in the vault, as ratios to libsodium alone\n");
    std::printf("%8s %12s %12s %8s | %12s %12s %12s %8s %8s\n", "items", "read ns", "raw open ns", "read x",
                "write us", "raw seal us", "raw file us", "write x", "x file");
    QList<int> counts = {100, 1000, 10000};
    if (argc > 1)
        counts = {QByteArray(argv[1]).toInt()};
    for (const int count : counts) {
        fill(count);
        const auto store = KOVKeychain::keychain();
        const qint64 vaultBytes = QFileInfo(platform::Vault::defaultPath()).size();

        std::vector<RawSealed> raw(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            const QByteArray plain = secretOf(i, 0);
            RawSealed &sealed = raw[size_t(i)];
            sealed.associatedData = keyOf(i).toUtf8() + QByteArrayLiteral("com.kova.sdk");
            sealed.box.resize(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES + plain.size()
                              + crypto_aead_xchacha20poly1305_ietf_ABYTES);
            auto *out = reinterpret_cast<unsigned char *>(sealed.box.data());
            randombytes_buf(out, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
            crypto_aead_xchacha20poly1305_ietf_encrypt(
                out + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, nullptr,
                reinterpret_cast<const unsigned char *>(plain.constData()), plain.size(),
                reinterpret_cast<const unsigned char *>(sealed.associatedData.constData()),
                sealed.associatedData.size(), nullptr, out, key);
        }
        std::vector<QString> keys;
        for (int i = 0; i < count; ++i)
            keys.push_back(keyOf(i));
        std::vector<int> order(20000);
        for (int &index : order)
            index = int(random() % unsigned(count));

        qsizetype checksum = 0;
        const double readNs = timePerCall(int(order.size()), 3, [&](int i) {
            checksum += store->stringForKey(keys[size_t(order[size_t(i)])]).size();
        });
        const double rawOpenNs = timePerCall(int(order.size()), 3, [&](int i) {
            const RawSealed &sealed = raw[size_t(order[size_t(i)])];
            QByteArray plain(sealed.box.size() - crypto_aead_xchacha20poly1305_ietf_NPUBBYTES
                                 - crypto_aead_xchacha20poly1305_ietf_ABYTES,
                             Qt::Uninitialized);
            const auto *in = reinterpret_cast<const unsigned char *>(sealed.box.constData());
            const int opened = crypto_aead_xchacha20poly1305_ietf_decrypt(
                reinterpret_cast<unsigned char *>(plain.data()), nullptr, nullptr,
                in + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES,
                sealed.box.size() - crypto_aead_xchacha20poly1305_ietf_NPUBBYTES,
                reinterpret_cast<const unsigned char *>(sealed.associatedData.constData()),
                sealed.associatedData.size(), in, key);
            checksum += opened == 0 ? plain.size() : -1;
        });

        if (argc > 2 && QByteArray(argv[2]) == "read") {
            std::printf("%8d %12.0f %12.0f %7.2fx\n", count, readNs, rawOpenNs, readNs / rawOpenNs);
            continue;
        }
        // Writes hit the disk, whose speed drifts: the store and the raw file
        // take turns, and each figure is the median of its turns.
        const int writes = count >= 10000 ? 31 : 101;
        const QString rawPath = dir.filePath(QStringLiteral("raw.bin"));
        QByteArray rawFile(vaultBytes, '\0');
        std::vector<double> storeTimes, sealTimes, fileTimes;
        int generation = 1;
        auto sealInto = [&](const QByteArray &plain, unsigned char *out) {
            randombytes_buf(out, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
            crypto_aead_xchacha20poly1305_ietf_encrypt(out + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, nullptr,
                                                       reinterpret_cast<const unsigned char *>(plain.constData()),
                                                       plain.size(), nullptr, 0, nullptr, out, key);
        };
        for (int i = 0; i < writes; ++i) {
            const int item = order[size_t(i)];
            storeTimes.push_back(timePerCall(1, 1, [&](int) {
                platform::Error error;
                if (!store->setString(QString::fromLatin1(secretOf(item, generation++)), keys[size_t(item)], &error))
                    std::fprintf(stderr, "write failed: %lld\n", static_cast<long long>(error.code));
            }));
            sealTimes.push_back(timePerCall(100, 1, [&](int) {
                const QByteArray plain = secretOf(item, generation);
                QByteArray box(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES + plain.size()
                                   + crypto_aead_xchacha20poly1305_ietf_ABYTES,
                               Qt::Uninitialized);
                sealInto(plain, reinterpret_cast<unsigned char *>(box.data()));
                checksum += box.size();
            }));
            fileTimes.push_back(timePerCall(1, 1, [&](int) {
                sealInto(secretOf(item, generation), reinterpret_cast<unsigned char *>(rawFile.data()));
                if (!replaceFile(rawPath, rawFile))
                    std::fprintf(stderr, "raw file write failed\n");
            }));
        }
        const double writeNs = median(storeTimes);
        const double rawSealNs = median(sealTimes);
        const double rawFileNs = median(fileTimes);

        std::printf("%8d %12.0f %12.0f %7.2fx | %12.1f %12.2f %12.1f %7.0fx %7.2fx\n", count, readNs, rawOpenNs,
                    readNs / rawOpenNs, writeNs / 1000, rawSealNs / 1000, rawFileNs / 1000, writeNs / rawSealNs,
                    writeNs / rawFileNs);
        std::fflush(stdout);
        if (checksum == 42)
            std::printf("\n");
    }
    return 0;
}
