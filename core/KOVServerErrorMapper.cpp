#include "core/KOVServerErrorMapper.h"

#include <QHash>

#include "core/KOVConstants.h"

namespace kova {

qint64 KOVServerErrorMapper::mapErrorType(const QJsonValue &type)
{
    static const QHash<QString, qint64> table{
        {QStringLiteral("INVALID_CREDENTIALS"), KOVErrorInvalidCredentials},
        {QStringLiteral("USER_DELINKED"), KOVErrorUserDelinked},
        {QStringLiteral("USER_ALREADY_LOGGED_IN"), KOVErrorUserAlreadyLoggedIn},
        {QStringLiteral("INSUFFICIENT_FUNDS"), KOVErrorInsufficientFunds},
        {QStringLiteral("BENEFICIARY_NOT_ACTIVATED"), KOVErrorBeneficiaryNotActivated},
        {QStringLiteral("SESSION_EXPIRED"), KOVErrorSessionExpired},
        {QStringLiteral("ACCOUNT_LOCKED"), KOVErrorAccountLocked},
        {QStringLiteral("BENEFICIARY_COOL_DOWN_PERIOD"), KOVErrorBeneficiaryCoolDownPeriod},
        {QStringLiteral("INSUFFICIENT_BALANCE"), KOVErrorInsufficientBalance},
        {QStringLiteral("SESSION_INVALIDATED"), KOVErrorSessionInvalidated},
    };
    if (!type.isString())
        return KOVErrorServer;
    return table.value(type.toString(), KOVErrorServer);
}

} // namespace kova
