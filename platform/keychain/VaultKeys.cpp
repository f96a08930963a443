#include "platform/keychain/VaultKeys.h"

#include <sodium.h>

namespace kova::platform {
namespace {
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "KovaVlt1";
constexpr quint64 kSealSubkey = 1;
constexpr quint64 kMacSubkey = 2;
constexpr qsizetype kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr qsizetype kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;

static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == 32);
static_assert(crypto_kdf_KEYBYTES == VaultKeys::kMasterKeyBytes);

const unsigned char *bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}
} // namespace

bool VaultKeys::initializeSodium()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QByteArray VaultKeys::generateMasterKey()
{
    QByteArray key(kMasterKeyBytes, Qt::Uninitialized);
    crypto_kdf_keygen(reinterpret_cast<unsigned char *>(key.data()));
    return key;
}

std::shared_ptr<const VaultKeys> VaultKeys::derive(const QByteArray &masterKey)
{
    if (masterKey.size() != kMasterKeyBytes || !initializeSodium())
        return nullptr;
    auto keys = std::make_shared<VaultKeys>();
    crypto_kdf_derive_from_key(keys->m_sealKey, sizeof keys->m_sealKey, kSealSubkey, kKdfContext, bytes(masterKey));
    crypto_kdf_derive_from_key(keys->m_macKey, sizeof keys->m_macKey, kMacSubkey, kKdfContext, bytes(masterKey));
    return keys;
}

VaultKeys::VaultKeys()
{
    sodium_memzero(m_sealKey, sizeof m_sealKey);
    sodium_memzero(m_macKey, sizeof m_macKey);
}

VaultKeys::~VaultKeys()
{
    sodium_memzero(m_sealKey, sizeof m_sealKey);
    sodium_memzero(m_macKey, sizeof m_macKey);
}

QByteArray VaultKeys::seal(const QByteArray &plain, const QByteArray &associatedData) const
{
    QByteArray box(kNonceBytes + plain.size() + kTagBytes, Qt::Uninitialized);
    auto *out = reinterpret_cast<unsigned char *>(box.data());
    randombytes_buf(out, kNonceBytes);
    unsigned long long sealedLength = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(out + kNonceBytes, &sealedLength, bytes(plain),
                                               static_cast<unsigned long long>(plain.size()), bytes(associatedData),
                                               static_cast<unsigned long long>(associatedData.size()), nullptr, out,
                                               m_sealKey);
    return box;
}

std::optional<QByteArray> VaultKeys::open(const QByteArray &box, const QByteArray &associatedData) const
{
    if (box.size() < kNonceBytes + kTagBytes)
        return std::nullopt;
    // Never null, so an empty value reads back as an empty value.
    QByteArray plain(box.size() - kNonceBytes - kTagBytes, Qt::Uninitialized);
    unsigned long long plainLength = 0;
    const unsigned char *in = bytes(box);
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(plain.data()), &plainLength,
                                                   nullptr, in + kNonceBytes,
                                                   static_cast<unsigned long long>(box.size() - kNonceBytes),
                                                   bytes(associatedData),
                                                   static_cast<unsigned long long>(associatedData.size()), in,
                                                   m_sealKey)
        != 0)
        return std::nullopt;
    return plain;
}

QByteArray VaultKeys::mac(const char *data, qsizetype length, int size) const
{
    QByteArray out(size, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(out.data()), size_t(size),
                       reinterpret_cast<const unsigned char *>(data), static_cast<unsigned long long>(length), m_macKey,
                       sizeof m_macKey);
    return out;
}

bool VaultKeys::sameAs(const VaultKeys &other) const
{
    return sodium_memcmp(m_sealKey, other.m_sealKey, sizeof m_sealKey) == 0
        && sodium_memcmp(m_macKey, other.m_macKey, sizeof m_macKey) == 0;
}

} // namespace kova::platform
