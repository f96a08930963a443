#include "core/connections/KOVLogin.h"

#include <QJsonDocument>

#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

namespace {

QString plusAsBlank(QString text)
{
    return text.isNull() ? text : text.replace(QLatin1Char('+'), QLatin1Char(' '));
}

// Logo addresses arrive with blanks or "+" for spaces; both become "%20".
QString logoAddress(QString text)
{
    if (text.isNull())
        return text;
    return text.replace(QLatin1Char(' '), QLatin1String("%20")).replace(QLatin1Char('+'), QLatin1String("%20"));
}

std::optional<QJsonObject> colours(const QJsonValue &value)
{
    if (value.isObject())
        return value.toObject();
    if (value.isString()) {
        const QJsonDocument doc = QJsonDocument::fromJson(value.toString().toUtf8());
        if (doc.isObject())
            return doc.object();
    }
    return std::nullopt;
}

} // namespace

std::shared_ptr<KOVLogin> KOVLogin::initWithDictionary(const QJsonObject &d)
{
    auto login = std::make_shared<KOVLogin>();
    login->m_success = d.contains(QStringLiteral("success"));
    login->m_operationID = json::readIdentifier(d, QStringLiteral("operationID"));
    login->m_accessCode = json::readText(d, QStringLiteral("accessCode"));
    login->m_userSecret = json::readText(d, QStringLiteral("userSecret"));
    login->m_connectionID = json::readIdentifier(d, QStringLiteral("connectionID"));
    login->m_userID = json::readIdentifier(d, QStringLiteral("userID"));
    login->m_tokenID = json::readIdentifier(d, QStringLiteral("tokenID"));
    login->m_bankId = json::readIdentifier(d, QStringLiteral("bankId"));
    login->m_bankFullName = plusAsBlank(json::readText(d, QStringLiteral("fullName")));
    login->m_bankShortName = plusAsBlank(json::readText(d, QStringLiteral("name")));
    login->m_bankFullLogoPng = logoAddress(json::readText(d, QStringLiteral("fullLogoPng")));
    login->m_bankHalfLogoPng = logoAddress(json::readText(d, QStringLiteral("halfLogoPng")));
    login->m_bankMiniLogoPng = logoAddress(json::readText(d, QStringLiteral("miniLogoPng")));
    login->m_userInputs = json::readList(d, QStringLiteral("userInputs")).value_or(QJsonArray());
    if (const auto colour = colours(d.value(QStringLiteral("color")))) {
        login->m_primaryColor = json::readText(*colour, QStringLiteral("primaryColor"));
        login->m_secondaryColor = json::readText(*colour, QStringLiteral("secondaryColor"));
    }
    return login;
}

} // namespace kova
