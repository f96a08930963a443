#pragma once

#include <QByteArray>
#include <memory>
#include <optional>

namespace kova::platform {

// The keys a vault is sealed under, derived from its 256-bit master key: one
// for XChaCha20-Poly1305 seals, one for keyed BLAKE2b checks. The key bytes
// are wiped when the last holder lets go.
class VaultKeys {
public:
    static constexpr qsizetype kMasterKeyBytes = 32;

    // Prepares libsodium; false when it cannot run (no random source).
    static bool initializeSodium();
    // A fresh random master key.
    static QByteArray generateMasterKey();
    // Null unless the master key is exactly kMasterKeyBytes long.
    static std::shared_ptr<const VaultKeys> derive(const QByteArray &masterKey);

    VaultKeys();
    ~VaultKeys();
    VaultKeys(const VaultKeys &) = delete;
    VaultKeys &operator=(const VaultKeys &) = delete;

    // A random nonce followed by the sealed bytes.
    QByteArray seal(const QByteArray &plain, const QByteArray &associatedData) const;
    // The plain bytes, or nothing when the box does not authenticate against
    // the associated data.
    std::optional<QByteArray> open(const QByteArray &box, const QByteArray &associatedData) const;
    // A keyed check value of `size` bytes (16 to 64) over the data.
    QByteArray mac(const char *data, qsizetype length, int size) const;

    bool sameAs(const VaultKeys &other) const;

private:
    unsigned char m_sealKey[32];
    unsigned char m_macKey[32];
};

} // namespace kova::platform
