#include "platform/keychain/VaultItem.h"

#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/VaultKeys.h"

namespace kova::platform {

VaultItem::VaultItem(ItemAttributes a, QByteArray value) : attributes(std::move(a))
{
    attributes.valueData.reset();
    setValue(std::move(value));
}

qint32 VaultItem::value(QByteArray *out) const
{
    if (m_pendingValue) {
        *out = *m_pendingValue;
        return KeychainStatus::Success;
    }
    if (!m_keys)
        return KeychainStatus::Decode;
    std::optional<QByteArray> plain = m_keys->open(m_sealedValue, m_sealedIdentity);
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
    m_pendingValue = std::move(value);
}

} // namespace kova::platform
