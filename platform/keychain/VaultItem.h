#pragma once

#include <QByteArray>
#include <QSharedDataPointer>
#include <memory>
#include <optional>

#include "platform/keychain/ItemAttributes.h"

namespace kova::platform {

class VaultKeys;

// One item of a vault: its attributes and its value, kept sealed in memory
// until a caller asks for it. Copies share their data until one of them is
// changed, so a vault's item list is cheap to copy; the vault re-seals what
// changed when it writes.
class VaultItem {
public:
    VaultItem();
    // A new item; `attributes.valueData` is not used.
    VaultItem(ItemAttributes attributes, QByteArray value);
    VaultItem(const VaultItem &other);
    VaultItem &operator=(const VaultItem &other);
    ~VaultItem();

    const ItemAttributes &attributes() const;
    // For changing the attributes; the item is sealed afresh on the next write.
    ItemAttributes &attributes();

    // Opens the value; KeychainStatus::Decode when its seal does not
    // authenticate against the item's identity.
    qint32 value(QByteArray *out) const;
    void setValue(QByteArray value);

private:
    friend class Vault;
    struct Data;
    QSharedDataPointer<Data> d;
};

} // namespace kova::platform
