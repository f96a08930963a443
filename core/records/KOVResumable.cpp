#include "core/records/KOVResumable.h"

#include <QJsonArray>

#include "core/records/KOVResult.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

namespace {

quint64 statusForText(const QString &text)
{
    if (text == QLatin1String("done"))
        return KOVResumable::StatusDone;
    if (text == QLatin1String("initialized"))
        return KOVResumable::StatusInitialized;
    if (text == QLatin1String("user_input_required"))
        return KOVResumable::StatusUserInputRequired;
    if (text == QLatin1String("error"))
        return KOVResumable::StatusError;
    return KOVResumable::StatusUnknown;
}

} // namespace

std::shared_ptr<KOVResumable> KOVResumable::initWithDictionary(const QJsonValue &reply)
{
    auto resumable = std::make_shared<KOVResumable>();
    if (!reply.isObject())
        return resumable;
    const QJsonObject object = reply.toObject();
    resumable->m_operationID = json::readText(object, QStringLiteral("operationID"));
    resumable->m_status = statusForText(json::readText(object, QStringLiteral("status")));
    resumable->m_success = replyCarriesSuccess(object);
    resumable->m_hlAPIStep = json::readText(object, QStringLiteral("hlAPIStep"));
    if (const std::optional<QJsonArray> prompts = json::readList(object, QStringLiteral("userInputs"))) {
        QList<std::shared_ptr<MFAParameter>> parameters;
        for (const QJsonValue &prompt : *prompts) {
            // Elements that are not prompt objects cannot be answered; skip them.
            if (std::shared_ptr<MFAParameter> parameter = MFAParameter::initWithDictionary(prompt))
                parameters.append(std::move(parameter));
        }
        resumable->m_userInputs = std::move(parameters);
    }
    return resumable;
}

std::optional<QJsonObject> KOVResumable::dictionary() const
{
    if (m_operationID.isNull())
        return std::nullopt;
    QJsonObject keys;
    keys.insert(QStringLiteral("operationID"), m_operationID);
    if (m_userInputs) {
        QJsonArray answers;
        for (const std::shared_ptr<MFAParameter> &parameter : *m_userInputs) {
            if (parameter)
                answers.append(parameter->toDictionary());
        }
        keys.insert(QStringLiteral("userInputs"), answers);
    }
    keys.insert(QStringLiteral("hlAPIStep"),
                json::textOrNull(m_hlAPIStep));
    return keys;
}

} // namespace kova
