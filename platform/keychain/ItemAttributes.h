#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/keychain/AccessControl.h"

namespace kova::platform {

enum class ItemClass { GenericPassword = 1, InternetPassword = 2 };

// An item's synchronised flag; queries may also ask for either.
enum class Synchronizable { No, Yes, Any };

enum class MatchLimit { One, All };

// The values of the accessibility attribute: when an item may be read.
namespace ItemAccessibility {
inline const QString WhenUnlocked = QStringLiteral("WhenUnlocked");
inline const QString AfterFirstUnlock = QStringLiteral("AfterFirstUnlock");
inline const QString Always = QStringLiteral("Always");
inline const QString WhenPasscodeSetThisDeviceOnly = QStringLiteral("WhenPasscodeSetThisDeviceOnly");
inline const QString WhenUnlockedThisDeviceOnly = QStringLiteral("WhenUnlockedThisDeviceOnly");
inline const QString AfterFirstUnlockThisDeviceOnly = QStringLiteral("AfterFirstUnlockThisDeviceOnly");
inline const QString AlwaysThisDeviceOnly = QStringLiteral("AlwaysThisDeviceOnly");
bool isKnown(const QString &value);
} // namespace ItemAccessibility

// The values of an internet item's protocol attribute, in their customary
// order (FTP first, POP3S last).
namespace ItemProtocol {
const QStringList &all();
bool isKnown(const QString &value);
} // namespace ItemProtocol

// The values of an internet item's authentication-type attribute, in their
// customary order (NTLM first, Default last).
namespace ItemAuthenticationType {
const QStringList &all();
bool isKnown(const QString &value);
} // namespace ItemAuthenticationType

// The attributes of an item, and the query or change set of an item-store
// call: each entry is present only when set. An item's value travels in
// `valueData`; the query-only entries ask how to match and what to return.
struct ItemAttributes {
    std::optional<ItemClass> itemClass;
    std::optional<QString> account;
    std::optional<QString> service;      // generic passwords
    std::optional<QString> accessGroup;
    std::optional<QString> server;       // internet passwords: host
    std::optional<int> port;             // internet passwords
    std::optional<QString> protocol;     // internet passwords: one of ItemProtocol
    std::optional<QString> authenticationType; // internet passwords: one of ItemAuthenticationType
    std::optional<QString> accessibility; // one of ItemAccessibility
    std::optional<Synchronizable> synchronizable;
    std::shared_ptr<const AccessControl> accessControl;
    std::optional<QString> label;
    std::optional<QString> comment;
    std::optional<QByteArray> generic;   // generic passwords
    std::optional<QByteArray> valueData;

    // Query only.
    std::optional<MatchLimit> matchLimit;
    bool returnData = false;
    bool returnAttributes = false;
    // Fail with "interaction not allowed" rather than ask the user.
    bool noInteraction = false;
    // Shown to the user when an item asks for their presence.
    QString operationPrompt;

    bool operator==(const ItemAttributes &other) const;

    // The attributes that tell one stored item from another, in one canonical
    // encoding: an item of the same identity is a duplicate.
    QByteArray identity() const;
    bool needsUserPresence() const { return accessControl && accessControl->requiresUserPresence(); }

    // The stored form of an item's attributes (not its value), and back;
    // reading refuses anything that is not what writing makes.
    QCborMap toCbor() const;
    static std::optional<ItemAttributes> fromCbor(const QCborMap &map);

    // The attributes as a dictionary keyed by role, for diagnostics.
    QVariantMap dictionary() const;
};

} // namespace kova::platform
