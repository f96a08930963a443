#include "core/api/MFAParameter.h"

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

std::shared_ptr<MFAParameter> MFAParameter::initWithDictionary(const QJsonValue &value)
{
    if (!value.isObject())
        return nullptr;
    const QJsonObject object = value.toObject();
    auto parameter = std::make_shared<MFAParameter>();
    parameter->setIdentifier(json::readText(object, QStringLiteral("id")));
    parameter->m_query = json::readText(object, QStringLiteral("query"));
    // Some banks send the index as text: it still tells the prompts apart.
    parameter->m_index = json::readIntegerValue(object.value(QStringLiteral("index"))).value_or(0);
    return parameter;
}

void MFAParameter::setIdentifier(const QString &identifier)
{
    m_identifier = identifier;
    m_hint = hintForIdentifier(identifier);
}

QString MFAParameter::hintForIdentifier(const QString &identifier)
{
    if (identifier.isNull())
        return QString();
    if (identifier == QLatin1String("otp"))
        return identifier.toUpper();
    QString hint = identifier.toLower();
    bool atWordStart = true;
    for (QChar &c : hint) {
        if (c.isSpace()) {
            atWordStart = true;
        } else if (atWordStart) {
            c = c.toUpper();
            atWordStart = false;
        }
    }
    return hint;
}

QJsonObject MFAParameter::toDictionary() const
{
    return QJsonObject{
        {QStringLiteral("id"), json::textOrNull(m_identifier)},
        {QStringLiteral("answer"), json::textOrNull(m_answer)},
        {QStringLiteral("index"), m_index},
    };
}

} // namespace kova
