#pragma once

#include <QString>

namespace kova {

// The keychain's default service (KOVKeychain::defaultService()) followed by ".security".
inline const QString KOVKeychainErrorDomain = QStringLiteral("com.kova.sdk.security");

enum KOVKeychainErrorCode : qint64 {
    KOVKeychainErrorInvalidArguments = 1,
};

// Any other value stands for no class.
enum KOVKeychainItemClass : qint64 {
    KOVKeychainItemClassGenericPassword = 1,
    KOVKeychainItemClassInternetPassword = 2,
};

// Values outside 1..7 stand for no accessibility: items are written without one.
enum KOVKeychainAccessibility : qint64 {
    KOVKeychainAccessibilityWhenUnlocked = 1,
    KOVKeychainAccessibilityAfterFirstUnlock = 2,
    KOVKeychainAccessibilityAlways = 3,
    KOVKeychainAccessibilityWhenPasscodeSetThisDeviceOnly = 4,
    KOVKeychainAccessibilityWhenUnlockedThisDeviceOnly = 5,
    KOVKeychainAccessibilityAfterFirstUnlockThisDeviceOnly = 6,
    KOVKeychainAccessibilityAlwaysThisDeviceOnly = 7,
};

// Values outside 1..29 stand for no protocol.
enum KOVKeychainProtocolType : qint64 {
    KOVKeychainProtocolTypeFTP = 1,
    KOVKeychainProtocolTypeFTPAccount,
    KOVKeychainProtocolTypeHTTP,
    KOVKeychainProtocolTypeIRC,
    KOVKeychainProtocolTypeNNTP,
    KOVKeychainProtocolTypePOP3,
    KOVKeychainProtocolTypeSMTP,
    KOVKeychainProtocolTypeSOCKS,
    KOVKeychainProtocolTypeIMAP,
    KOVKeychainProtocolTypeLDAP,
    KOVKeychainProtocolTypeAppleTalk,
    KOVKeychainProtocolTypeAFP,
    KOVKeychainProtocolTypeTelnet,
    KOVKeychainProtocolTypeSSH,
    KOVKeychainProtocolTypeFTPS,
    KOVKeychainProtocolTypeHTTPS,
    KOVKeychainProtocolTypeHTTPProxy,
    KOVKeychainProtocolTypeHTTPSProxy,
    KOVKeychainProtocolTypeFTPProxy,
    KOVKeychainProtocolTypeSMB,
    KOVKeychainProtocolTypeRTSP,
    KOVKeychainProtocolTypeRTSPProxy,
    KOVKeychainProtocolTypeDAAP,
    KOVKeychainProtocolTypeEPPC,
    KOVKeychainProtocolTypeNNTPS,
    KOVKeychainProtocolTypeLDAPS,
    KOVKeychainProtocolTypeTelnetS,
    KOVKeychainProtocolTypeIRCS,
    KOVKeychainProtocolTypePOP3S,
};

// Values outside 1..8 stand for no authentication type.
enum KOVKeychainAuthenticationType : qint64 {
    KOVKeychainAuthenticationTypeNTLM = 1,
    KOVKeychainAuthenticationTypeMSN,
    KOVKeychainAuthenticationTypeDPA,
    KOVKeychainAuthenticationTypeRPA,
    KOVKeychainAuthenticationTypeHTTPBasic,
    KOVKeychainAuthenticationTypeHTTPDigest,
    KOVKeychainAuthenticationTypeHTMLForm,
    KOVKeychainAuthenticationTypeDefault,
};

// Exported key names; nothing in the SDK reads them.
inline const QString kAccessToken = QStringLiteral("kKOVAccessToken");
inline const QString kAccessCode = QStringLiteral("kKOVAccessCode");
inline const QString kUserSecret = QStringLiteral("kKOVUserSecret");
inline const QString kConnectionID = QStringLiteral("kKOVConnectionID");
inline const QString kConnectedBankID = QStringLiteral("kConnectedBankID");
inline const QString kConnectedBankName = QStringLiteral("kConnectedBankName");
inline const QString kConnectedBankLogoURL = QStringLiteral("kConnectedBankLogoURL");

} // namespace kova
