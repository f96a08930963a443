#include "core/records/KOVResult.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

bool replyCarriesSuccess(const QJsonObject &reply)
{
    return reply.contains(QStringLiteral("success"));
}

std::shared_ptr<KOVResult> KOVResult::initWithDictionary(const QJsonValue &dictionary)
{
    auto result = std::make_shared<KOVResult>();
    result->setDictionaryRepresentation(dictionary.toObject());
    if (!dictionary.isObject())
        return result;
    const QJsonObject object = dictionary.toObject();
    result->m_operationID = json::readText(object, QStringLiteral("operationID"));
    result->m_status = json::readText(object, QStringLiteral("status"));
    result->m_success = replyCarriesSuccess(object);
    result->m_message = json::readText(object, QStringLiteral("msg"));
    result->m_referenceNumber = json::readText(object, QStringLiteral("reference"));
    return result;
}

} // namespace kova
