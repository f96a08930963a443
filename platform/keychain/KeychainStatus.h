#pragma once

#include <QtGlobal>

// Result codes of the item store. The codes the SDK and hosts match on keep
// the platform's numbers; the vault's own failures use the platform's codes
// for the nearest meaning so that a caller sees one family of statuses.
namespace kova::platform::KeychainStatus {

inline constexpr qint32 Success = 0;
inline constexpr qint32 Unimplemented = -4;
// The vault or a temporary file could not be read or written.
inline constexpr qint32 IO = -36;
inline constexpr qint32 Param = -50;
// No key for an existing vault: the key file is gone or unreadable. The
// vault is left as it is; it cannot be opened until the key is back.
inline constexpr qint32 NotAvailable = -25291;
// The key does not open the vault (another vault's key, a damaged key file),
// or the user could not be confirmed present for a protected item.
inline constexpr qint32 AuthFailed = -25293;
inline constexpr qint32 DuplicateItem = -25299;
inline constexpr qint32 ItemNotFound = -25300;
inline constexpr qint32 InteractionNotAllowed = -25308;
// The vault failed to authenticate or is not a vault: it is never rewritten.
inline constexpr qint32 Decode = -26275;

} // namespace kova::platform::KeychainStatus
