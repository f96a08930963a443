#pragma once

#include <QByteArray>
#include <QSharedData>
#include <memory>
#include <optional>

#include "platform/keychain/ItemAttributes.h"
#include "platform/keychain/VaultItem.h"

namespace kova::platform {

// What a VaultItem shares between its copies; only the vault looks inside.
struct VaultItem::Data : QSharedData {
    ItemAttributes attributes;
    // A value set since the last write, not sealed yet.
    std::optional<QByteArray> pendingValue;
    // The value as stored: sealed under `keys` with `sealedIdentity` as its
    // associated data.
    QByteArray sealedValue;
    QByteArray sealedIdentity;
    // The attributes as stored; stale once the attributes were handed out
    // for changing.
    QByteArray sealedAttributes;
    bool attributesSealed = false;
    std::shared_ptr<const VaultKeys> keys;
};

} // namespace kova::platform
