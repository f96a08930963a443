#include "platform/keychain/VaultItem.h"

#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/VaultItemData.h"
#include "platform/keychain/VaultKeys.h"

namespace kova::platform {

VaultItem::VaultItem() : d(new Data) {}

VaultItem::VaultItem(ItemAttributes attributes, QByteArray value) : d(new Data)
{
    d->attributes = std::move(attributes);
    d->attributes.valueData.reset();
    setValue(std::move(value));
}

VaultItem::VaultItem(const VaultItem &other) = default;
VaultItem &VaultItem::operator=(const VaultItem &other) = default;
VaultItem::~VaultItem() = default;

const ItemAttributes &VaultItem::attributes() const
{
    return d->attributes;
}

ItemAttributes &VaultItem::attributes()
{
    d->attributesSealed = false;
    return d->attributes;
}

qint32 VaultItem::value(QByteArray *out) const
{
    if (d->pendingValue) {
        *out = *d->pendingValue;
        return KeychainStatus::Success;
    }
    if (!d->keys)
        return KeychainStatus::Decode;
    std::optional<QByteArray> plain = d->keys->open(d->sealedValue, d->sealedIdentity);
    if (!plain)
        return KeychainStatus::Decode;
    *out = std::move(*plain);
    return KeychainStatus::Success;
}

void VaultItem::setValue(QByteArray value)
{
    // An empty value reads back as empty, never as no value at all.
    if (value.isNull())
        value = QByteArray("", 0);
    d->pendingValue = std::move(value);
}

} // namespace kova::platform
