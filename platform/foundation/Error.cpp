#include "platform/foundation/Error.h"

#include <QStringList>

namespace kova::platform {

Error::Error(QString d, qint64 c, QVariantMap info) : domain(std::move(d)), code(c), userInfo(std::move(info)) {}

Error Error::withDescription(const QString &domain, qint64 code, const QString &description)
{
    return Error(domain, code, {{NSLocalizedDescriptionKey, description}});
}

bool Error::hasDescription() const
{
    return userInfo.contains(NSLocalizedDescriptionKey);
}

QString Error::localizedDescription() const
{
    if (hasDescription())
        return userInfo.value(NSLocalizedDescriptionKey).toString();
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(domain).arg(code);
}

namespace {

QString describeValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QStringList entries;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            entries.append(it.key() + QLatin1Char('=') + describeValue(it.value()));
        return QLatin1Char('{') + entries.join(QStringLiteral(", ")) + QLatin1Char('}');
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QStringList entries;
        for (const QVariant &element : value.toList())
            entries.append(describeValue(element));
        return QLatin1Char('(') + entries.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    case QMetaType::Bool:
        // Booleans are numbers on the platform.
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.isNull() ? QStringLiteral("<null>") : value.toString();
    }
}

} // namespace

QString Error::description() const
{
    QString text = QStringLiteral("Error Domain=%1 Code=%2 \"%3\"").arg(domain, QString::number(code), localizedDescription());
    if (!userInfo.isEmpty())
        text += QStringLiteral(" UserInfo=") + describeValue(userInfo);
    return text;
}

} // namespace kova::platform
