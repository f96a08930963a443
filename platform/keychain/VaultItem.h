#pragma once

#include <QByteArray>
#include <memory>
#include <optional>

#include "platform/keychain/ItemAttributes.h"

namespace kova::platform {

class VaultKeys;

// One item of a vault: its attributes, free to read and change, and its value,
// kept sealed in memory until a caller asks for it. The vault re-seals what
// changed when it writes.
class VaultItem {
public:
    VaultItem() = default;
    VaultItem(ItemAttributes attributes, QByteArray value);

    // Everything but the value (`attributes.valueData` is not used).
    ItemAttributes attributes;

    // Opens the value; KeychainStatus::Decode when its seal does not
    // authenticate against the item's identity.
    qint32 value(QByteArray *out) const;
    void setValue(QByteArray value);

private:
    friend class Vault;

    // A value set since the last write, not sealed yet.
    std::optional<QByteArray> m_pendingValue;
    // The value as stored: sealed under m_keys with m_sealedIdentity as its
    // associated data.
    QByteArray m_sealedValue;
    QByteArray m_sealedIdentity;
    // The attributes as stored, and what they were when sealed.
    QByteArray m_sealedAttributes;
    std::optional<ItemAttributes> m_attributesAtSeal;
    std::shared_ptr<const VaultKeys> m_keys;
};

} // namespace kova::platform
