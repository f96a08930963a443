#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace kova::sandbox {

// The fixed test data the app server answers with: one customer of a bank,
// the same for every login, so that every run sees the same values.
class SandboxData {
public:
    static QJsonObject identity();
    static QJsonArray accounts();
    static std::optional<QJsonObject> account(const QString &accountID);
    static QJsonObject accountsMetadata(const QString &bankId);
    // Empty for an account or card the customer does not hold.
    static QJsonArray accountTransactions(const QString &accountID);
    static QJsonArray cardTransactions(const QString &cardID);
    static QJsonArray cards();
    static QJsonArray beneficiaries();
    static QJsonArray wireBeneficiaries();

    // How long a new beneficiary waits before it may receive money.
    static QJsonObject beneficiaryCoolDownPeriod();

    static QString bankName(const QString &bankId);
    static QJsonObject bankColors();
    // A small PNG served for every bank logo.
    static QByteArray logoPng();
};

} // namespace kova::sandbox
