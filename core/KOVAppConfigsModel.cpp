#include "core/KOVAppConfigsModel.h"

#include "platform/foundation/Json.h"

namespace kova {

std::shared_ptr<KOVAppConfigsModel> KOVAppConfigsModel::initWithDictionary(const QJsonObject &dictionary)
{
    namespace json = platform::json;
    // Only country codes count: an element of another type is skipped.
    const QStringList countries = json::textsIn(json::readList(dictionary, QStringLiteral("countries")).value_or(QJsonArray()));
    const QString serverURL = json::readText(dictionary, QStringLiteral("serverURL"));
    if (countries.isEmpty() || serverURL.isNull())
        return nullptr;
    auto model = std::make_shared<KOVAppConfigsModel>();
    model->m_colorScheme = json::readText(dictionary, QStringLiteral("colorScheme"));
    model->m_countries = countries;
    model->m_isBenefSet = json::readBool(dictionary, QStringLiteral("isBenefsSet")).value_or(false);
    model->m_maxTransferAmount = json::readInt64(dictionary, QStringLiteral("maxTransferAmount")).value_or(0);
    model->m_minTransferAmount = json::readInt64(dictionary, QStringLiteral("minTransferAmount")).value_or(0);
    model->m_serverURL = serverURL;
    return model;
}

} // namespace kova
