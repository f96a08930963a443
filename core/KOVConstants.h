#pragma once

#include <QString>

// Exported names of the SDK: operation names, error domain and codes,
// environments and the version.
namespace kova {

// Operation names, sent as "action" = "/" + name.
inline const QString KOVEndPointExchangeToken = QStringLiteral("auth/ExchangeToken");
inline const QString KOVEndPointGetIdentity = QStringLiteral("data/identity/get");
inline const QString KOVEndPointGetAccounts = QStringLiteral("data/accounts/get");
inline const QString KOVEndPointGetAccountMetadata = QStringLiteral("metadata/accounts/get");
inline const QString KOVEndPointGetTransactions = QStringLiteral("data/transactions/get");
inline const QString KOVEndPointGetBeneficiaries = QStringLiteral("payment/beneficiaries/get");
inline const QString KOVEndPointGetWireBeneficiaries = QStringLiteral("wire/beneficiaries/get");
inline const QString KOVEndPointCreateWireBeneficiaries = QStringLiteral("/wire/beneficiaries/create");
inline const QString KOVEndPointCreateWireTransferToExistingBeneficiary = QStringLiteral("/wire/transfer/create");
inline const QString KOVEndPointCreateBeneficiary = QStringLiteral("payment/beneficiaries/create");
inline const QString KOVEndPointCreateTransferToExistingBeneficiary = QStringLiteral("payment/transfer/create");
inline const QString KOVEndPointCreateTransfer = QStringLiteral("payment/transfer/autoflow");
inline const QString KOVEndPointCreateWireTransfer = QStringLiteral("wire/transfer/autoflow");
inline const QString KOVEndPointResumeJob = QStringLiteral("job/resume");
inline const QString KOVEndPointDelinkUser = QStringLiteral("users/DelinkUser");
inline const QString KOVEndPointGetCards = QStringLiteral("data/cards/get");
inline const QString KOVEndPointGetCardTransactions = QStringLiteral("data/transaction/get");

inline const QString KOVErrorDomain = QStringLiteral("com.kova.sdk");

// Codes of KOVErrorDomain. There is no 2003.
enum KOVErrorCode : qint64 {
    KOVErrorConfigsFetchFailed = 0,
    KOVErrorMissingClientUserID = 1001,
    KOVErrorFailedToExchangeToken = 1002,
    KOVErrorUserCancelled = 1003,
    KOVErrorCredentialsUnavailable = 1004,
    KOVErrorInvalidAmount = 1005,
    KOVErrorPaymentFlowUnavailable = 1006,
    // The SDK's data model or string table cannot be read: the start fails.
    KOVErrorResourcesUnavailable = 1007,
    KOVErrorInvalidCredentials = 2000,
    KOVErrorUserDelinked = 2001,
    KOVErrorServer = 2002,
    KOVErrorUserAlreadyLoggedIn = 2004,
    KOVErrorInsufficientFunds = 2005,
    KOVErrorBeneficiaryNotActivated = 2006,
    KOVErrorSessionExpired = 2007,
    KOVErrorAccountLocked = 2008,
    KOVErrorBeneficiaryCoolDownPeriod = 2009,
    KOVErrorInsufficientBalance = 2010,
    KOVErrorSessionInvalidated = 2011,
    KOVErrorBeneficiaryMissing = 2012,
};

// The userInfo key under which an error made from a reply carries the whole reply.
inline const QString KOVErrorInfoKey = QStringLiteral("info");

// The longest reply bodies the SDK reads into memory: the service's configs
// and logs calls, and the host app's server. A longer reply fails with
// "NSURLErrorDomain" -1103.
inline constexpr qint64 KOVMaxServiceReplyBytes = 4ll * 1024 * 1024;
inline constexpr qint64 KOVMaxAppServerReplyBytes = 32ll * 1024 * 1024;
// The network trace prints at most this much of a body.
inline constexpr qint64 KOVMaxTracedBodyBytes = 16ll * 1024;

inline const QString KOVEnvironmentProduction = QStringLiteral("production");
inline const QString KOVEnvironmentSandbox = QStringLiteral("sandbox");

inline const QString KovaVersionString = QStringLiteral(KOVA_SDK_VERSION_STRING);
inline constexpr double KovaVersionNumber = KOVA_SDK_VERSION_NUMBER;

} // namespace kova
