#include "core/store/KOVAppConfigs.h"

#include <QJsonArray>

#include "core/KOVAppConfigsModel.h"
#include "core/store/KOVStoreSave.h"
#include "platform/foundation/Json.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {

void KOVAppConfigs::storeAppConfigs(const KOVAppConfigsModel &model, const QString &appKey,
                                    platform::ManagedObjectContext &context)
{
    std::shared_ptr<KOVAppConfigs> configs = getConfigsForAppKey(appKey, context);
    if (!configs)
        configs = context.insertNewObject<KOVAppConfigs>();
    if (!configs)
        return;
    configs->setAppKey(appKey);
    configs->setServerURL(model.serverURL());
    configs->setColorScheme(model.colorScheme());
    configs->setMaxTransferAmount(model.maxTransferAmount());
    configs->setMinTransferAmount(model.minTransferAmount());
    configs->setCountries(platform::json::compact(QJsonArray::fromStringList(model.countries())));
    configs->setIsRemoteBeneficiarySet(model.isBenefSet());
    // The context given is the one holding the change, so it is the one saved.
    platform::Error ignored;
    saveContextStamping(context, &ignored);
}

std::shared_ptr<KOVAppConfigs> KOVAppConfigs::getConfigsForAppKey(const QString &appKey, platform::ManagedObjectContext &context)
{
    platform::FetchRequest request = fetchRequest();
    request.addTerm(QStringLiteral("appKey"), appKey);
    request.setFetchLimit(1);
    platform::Error error;
    const auto found = context.fetch<KOVAppConfigs>(request, &error);
    return found.isEmpty() ? nullptr : found.first();
}

QString KOVAppConfigs::appKey() const
{
    return text(QStringLiteral("appKey"));
}

void KOVAppConfigs::setAppKey(const QString &appKey)
{
    setText(QStringLiteral("appKey"), appKey);
}

QString KOVAppConfigs::serverURL() const
{
    return text(QStringLiteral("serverURL"));
}

void KOVAppConfigs::setServerURL(const QString &serverURL)
{
    setText(QStringLiteral("serverURL"), serverURL);
}

QByteArray KOVAppConfigs::countries() const
{
    return data(QStringLiteral("countries"));
}

void KOVAppConfigs::setCountries(const QByteArray &countries)
{
    setData(QStringLiteral("countries"), countries);
}

QString KOVAppConfigs::colorScheme() const
{
    return text(QStringLiteral("colorScheme"));
}

void KOVAppConfigs::setColorScheme(const QString &colorScheme)
{
    setText(QStringLiteral("colorScheme"), colorScheme);
}

std::optional<qint64> KOVAppConfigs::minTransferAmount() const
{
    return optionalInteger(QStringLiteral("minTransferAmount"));
}

void KOVAppConfigs::setMinTransferAmount(std::optional<qint64> amount)
{
    setOptionalInteger(QStringLiteral("minTransferAmount"), amount);
}

std::optional<qint64> KOVAppConfigs::maxTransferAmount() const
{
    return optionalInteger(QStringLiteral("maxTransferAmount"));
}

void KOVAppConfigs::setMaxTransferAmount(std::optional<qint64> amount)
{
    setOptionalInteger(QStringLiteral("maxTransferAmount"), amount);
}

std::optional<bool> KOVAppConfigs::isRemoteBeneficiarySet() const
{
    return optionalBool(QStringLiteral("isRemoteBeneficiarySet"));
}

void KOVAppConfigs::setIsRemoteBeneficiarySet(std::optional<bool> isSet)
{
    setOptionalBool(QStringLiteral("isRemoteBeneficiarySet"), isSet);
}

std::optional<QStringList> KOVAppConfigs::countriesStringArray() const
{
    const QByteArray stored = countries();
    if (stored.isEmpty())
        return std::nullopt;
    auto parsed = platform::json::parse(stored);
    const QJsonValue *value = std::get_if<QJsonValue>(&parsed);
    if (!value || !value->isArray())
        return std::nullopt;
    return platform::json::textsIn(value->toArray());
}

} // namespace kova
