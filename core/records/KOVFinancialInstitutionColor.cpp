#include "core/records/KOVFinancialInstitutionColor.h"

#include "core/records/KOVColorHex.h"
#include "platform/foundation/Json.h"

namespace kova {

namespace json = platform::json;

KOVFinancialInstitutionColor KOVFinancialInstitutionColor::initWithDictionary(const QJsonValue &dictionary)
{
    KOVFinancialInstitutionColor colors;
    const QJsonObject object = dictionary.toObject();
    colors.m_hexPrimaryColor = json::readText(object, QStringLiteral("primaryColor"));
    colors.m_primaryColor = colorWithHexString(colors.m_hexPrimaryColor);
    colors.m_hexSecondaryColor = json::readText(object, QStringLiteral("secondaryColor"));
    colors.m_secondaryColor = colorWithHexString(colors.m_hexSecondaryColor);
    return colors;
}

} // namespace kova
