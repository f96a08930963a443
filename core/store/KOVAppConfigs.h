#pragma once

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <optional>

#include "core/store/KOVSignature.h"

namespace kova::platform {
class ManagedObjectContext;
}

namespace kova {

class KOVAppConfigsModel;

// The cached app configuration, one record per app key.
class KOVAppConfigs : public KOVSignature {
public:
    static QString entityName() { return QStringLiteral("KOVAppConfigs"); }
    static platform::FetchRequest fetchRequest() { return platform::FetchRequest(entityName()); }

    // Updates the app key's record in place (or inserts it) and saves the
    // context with stamping; a failed save is ignored and the record stays
    // pending for the next save.
    static void storeAppConfigs(const KOVAppConfigsModel &model, const QString &appKey,
                                platform::ManagedObjectContext &context);
    // Null when none is stored or the fetch fails.
    static std::shared_ptr<KOVAppConfigs> getConfigsForAppKey(const QString &appKey, platform::ManagedObjectContext &context);

    QString appKey() const;
    void setAppKey(const QString &appKey);
    QString serverURL() const;
    void setServerURL(const QString &serverURL);
    // Compact JSON of the country-code list.
    QByteArray countries() const;
    void setCountries(const QByteArray &countries);
    QString colorScheme() const;
    void setColorScheme(const QString &colorScheme);
    std::optional<qint64> minTransferAmount() const;
    void setMinTransferAmount(std::optional<qint64> amount);
    std::optional<qint64> maxTransferAmount() const;
    void setMaxTransferAmount(std::optional<qint64> amount);
    std::optional<bool> isRemoteBeneficiarySet() const;
    void setIsRemoteBeneficiarySet(std::optional<bool> isSet);

    // The stored country codes (an empty list included); null when nothing
    // is stored or it is not a JSON list. Elements that are not text are
    // skipped.
    std::optional<QStringList> countriesStringArray() const;
};

} // namespace kova
