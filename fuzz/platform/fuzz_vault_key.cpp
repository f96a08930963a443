// Arbitrary bytes as the key file beside a vault (with or without a vault
// sealed under another key, with a mode open to others or not), read and
// written through the vault's own calls. The right key must open the vault;
// any other must leave the vault's bytes on disk as they were, in place or
// moved aside, never lost.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <sys/stat.h>

#include "fuzz/platform/FuzzFiles.h"
#include "platform/foundation/Log.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"

namespace {

using namespace kova::platform;

struct Template {
    QByteArray vault;
    QByteArray key;
};

ItemAttributes itemNamed(const QString &account)
{
    ItemAttributes attributes;
    attributes.itemClass = ItemClass::GenericPassword;
    attributes.account = account;
    attributes.service = QStringLiteral("fuzz");
    return attributes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A vault of one item under the key "kkk…k", made once.
const Template &templateVault()
{
    static const Template made = [] {
        const QString path = kova::fuzz::scratchDirectory().filePath(QStringLiteral("template/items.vault"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray key(32, 'k');
        {
            Vault vault(path, key);
            const qint32 status = vault.write([](Vault::Items &items) {
                items.append(VaultItem(itemNamed(QStringLiteral("kept")), QByteArrayLiteral("secret")));
                return KeychainStatus::Success;
            });
            if (status != KeychainStatus::Success)
                __builtin_trap();
        }
        return Template{readFile(path), key};
    }();
    return made;
}

// Whether a file in the folder holds exactly these bytes.
bool someFileHolds(const QString &folder, const QByteArray &bytes)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden);
    while (it.hasNext())
        if (readFile(it.next()) == bytes)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool quiet = (setLogSink([](const QString &) {}), true);
    (void)quiet;
    if (size == 0)
        return 0;
    const Template &made = templateVault();
    const std::uint8_t flags = data[0];
    const QByteArray keyBytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const bool withVault = flags & 1;
    const bool openToOthers = flags & 2;

    QTemporaryDir home;
    if (!home.isValid())
        return 0;
    const QString path = QDir(home.path()).filePath(QStringLiteral("items.vault"));
    if (withVault) {
        QFile vaultFile(path);
        if (vaultFile.open(QIODevice::WriteOnly))
            vaultFile.write(made.vault);
    }
    {
        QFile keyFile(path + QStringLiteral(".key"));
        if (keyFile.open(QIODevice::WriteOnly))
            keyFile.write(keyBytes);
    }
    ::chmod(QFile::encodeName(path + QStringLiteral(".key")).constData(), openToOthers ? 0644 : 0600);

    {
        Vault vault(path);
        QByteArray value;
        qint32 found = KeychainStatus::ItemNotFound;
        const qint32 read = vault.read([&](const Vault::Items &items, const Vault::AccountIndex &) {
            for (const VaultItem &item : items)
                if (item.attributes().account == QStringLiteral("kept"))
                    found = item.value(&value);
            return KeychainStatus::Success;
        });
        if (withVault && keyBytes == made.key
            && (read != KeychainStatus::Success || found != KeychainStatus::Success || value != "secret"))
            __builtin_trap(); // the right key opens its vault
        const qint32 written = vault.write([](Vault::Items &items) {
            items.append(VaultItem(itemNamed(QStringLiteral("added")), QByteArrayLiteral("more")));
            return KeychainStatus::Success;
        });
        bool added = false;
        vault.read([&](const Vault::Items &items, const Vault::AccountIndex &) {
            for (const VaultItem &item : items)
                added = added || item.attributes().account == QStringLiteral("added");
            return KeychainStatus::Success;
        });
        if (written == KeychainStatus::Success && !added)
            __builtin_trap(); // a write reported done is there to read
    }
    if (withVault && keyBytes != made.key && !someFileHolds(home.path(), made.vault))
        __builtin_trap(); // a vault another key cannot open is never lost
    home.remove();
    return 0;
}
