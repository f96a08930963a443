#include "platform/keychain/ItemAttributes.h"

#include <QCborArray>
#include <QCborValue>

namespace kova::platform {

namespace ItemAccessibility {
bool isKnown(const QString &value)
{
    static const QStringList known = {WhenUnlocked, AfterFirstUnlock, Always, WhenPasscodeSetThisDeviceOnly,
                                      WhenUnlockedThisDeviceOnly, AfterFirstUnlockThisDeviceOnly, AlwaysThisDeviceOnly};
    return known.contains(value);
}
} // namespace ItemAccessibility

namespace ItemProtocol {
const QStringList &all()
{
    static const QStringList values = {
        QStringLiteral("FTP"),     QStringLiteral("FTPAccount"), QStringLiteral("HTTP"),       QStringLiteral("IRC"),
        QStringLiteral("NNTP"),    QStringLiteral("POP3"),       QStringLiteral("SMTP"),       QStringLiteral("SOCKS"),
        QStringLiteral("IMAP"),    QStringLiteral("LDAP"),       QStringLiteral("AppleTalk"),  QStringLiteral("AFP"),
        QStringLiteral("Telnet"),  QStringLiteral("SSH"),        QStringLiteral("FTPS"),       QStringLiteral("HTTPS"),
        QStringLiteral("HTTPProxy"), QStringLiteral("HTTPSProxy"), QStringLiteral("FTPProxy"), QStringLiteral("SMB"),
        QStringLiteral("RTSP"),    QStringLiteral("RTSPProxy"),  QStringLiteral("DAAP"),       QStringLiteral("EPPC"),
        QStringLiteral("NNTPS"),   QStringLiteral("LDAPS"),      QStringLiteral("TelnetS"),    QStringLiteral("IRCS"),
        QStringLiteral("POP3S"),
    };
    return values;
}
bool isKnown(const QString &value) { return all().contains(value); }
} // namespace ItemProtocol

namespace ItemAuthenticationType {
const QStringList &all()
{
    static const QStringList values = {
        QStringLiteral("NTLM"),      QStringLiteral("MSN"),        QStringLiteral("DPA"),      QStringLiteral("RPA"),
        QStringLiteral("HTTPBasic"), QStringLiteral("HTTPDigest"), QStringLiteral("HTMLForm"), QStringLiteral("Default"),
    };
    return values;
}
bool isKnown(const QString &value) { return all().contains(value); }
} // namespace ItemAuthenticationType

namespace {
const QString kClass = QStringLiteral("class");
const QString kAccount = QStringLiteral("account");
const QString kService = QStringLiteral("service");
const QString kAccessGroup = QStringLiteral("accessGroup");
const QString kServer = QStringLiteral("server");
const QString kPort = QStringLiteral("port");
const QString kProtocol = QStringLiteral("protocol");
const QString kAuthenticationType = QStringLiteral("authenticationType");
const QString kAccessibility = QStringLiteral("accessibility");
const QString kSynchronizable = QStringLiteral("synchronizable");
const QString kAccessControl = QStringLiteral("accessControl");
const QString kFlags = QStringLiteral("flags");
const QString kLabel = QStringLiteral("label");
const QString kComment = QStringLiteral("comment");
const QString kGeneric = QStringLiteral("generic");

bool readText(const QCborMap &map, const QString &key, std::optional<QString> *out)
{
    const QCborValue value = map.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isString())
        return false;
    *out = value.toString();
    return true;
}
} // namespace

bool ItemAttributes::operator==(const ItemAttributes &o) const
{
    const bool sameControl = accessControl == o.accessControl
        || (accessControl && o.accessControl && *accessControl == *o.accessControl);
    return sameControl && itemClass == o.itemClass && account == o.account && service == o.service
        && accessGroup == o.accessGroup && server == o.server && port == o.port && protocol == o.protocol
        && authenticationType == o.authenticationType && accessibility == o.accessibility
        && synchronizable == o.synchronizable && label == o.label && comment == o.comment && generic == o.generic
        && valueData == o.valueData && matchLimit == o.matchLimit && returnData == o.returnData
        && returnAttributes == o.returnAttributes && noInteraction == o.noInteraction
        && operationPrompt == o.operationPrompt;
}

QByteArray ItemAttributes::identity() const
{
    // An absent text attribute and an empty one name the same item, as does
    // an absent port and port 0.
    QCborArray parts;
    parts.append(itemClass ? int(*itemClass) : 0);
    parts.append(account.value_or(QString()));
    parts.append(accessGroup.value_or(QString()));
    parts.append(synchronizable == Synchronizable::Yes);
    if (itemClass == ItemClass::InternetPassword) {
        parts.append(server.value_or(QString()));
        parts.append(port.value_or(0));
        parts.append(protocol.value_or(QString()));
        parts.append(authenticationType.value_or(QString()));
    } else {
        parts.append(service.value_or(QString()));
    }
    return parts.toCborValue().toCbor();
}

QCborMap ItemAttributes::toCbor() const
{
    QCborMap map;
    if (itemClass)
        map.insert(kClass, int(*itemClass));
    auto text = [&map](const QString &key, const std::optional<QString> &value) {
        if (value)
            map.insert(key, *value);
    };
    text(kAccount, account);
    text(kService, service);
    text(kAccessGroup, accessGroup);
    text(kServer, server);
    if (port)
        map.insert(kPort, *port);
    text(kProtocol, protocol);
    text(kAuthenticationType, authenticationType);
    text(kAccessibility, accessibility);
    if (synchronizable)
        map.insert(kSynchronizable, *synchronizable == Synchronizable::Yes);
    if (accessControl) {
        QCborMap control;
        control.insert(kAccessibility, accessControl->accessibility());
        control.insert(kFlags, qint64(accessControl->flags()));
        map.insert(kAccessControl, control);
    }
    text(kLabel, label);
    text(kComment, comment);
    if (generic)
        map.insert(kGeneric, *generic);
    return map;
}

std::optional<ItemAttributes> ItemAttributes::fromCbor(const QCborMap &map)
{
    static const QStringList known = {kClass, kAccount, kService, kAccessGroup, kServer, kPort, kProtocol,
                                      kAuthenticationType, kAccessibility, kSynchronizable, kAccessControl,
                                      kLabel, kComment, kGeneric};
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        if (!it.key().isString() || !known.contains(it.key().toString()))
            return std::nullopt;

    ItemAttributes a;
    const QCborValue cls = map.value(kClass);
    if (!cls.isInteger() || (cls.toInteger() != 1 && cls.toInteger() != 2))
        return std::nullopt;
    a.itemClass = ItemClass(cls.toInteger());
    if (!readText(map, kAccount, &a.account) || !readText(map, kService, &a.service)
        || !readText(map, kAccessGroup, &a.accessGroup) || !readText(map, kServer, &a.server)
        || !readText(map, kProtocol, &a.protocol) || !readText(map, kAuthenticationType, &a.authenticationType)
        || !readText(map, kAccessibility, &a.accessibility) || !readText(map, kLabel, &a.label)
        || !readText(map, kComment, &a.comment))
        return std::nullopt;
    if (a.protocol && !ItemProtocol::isKnown(*a.protocol))
        return std::nullopt;
    if (a.authenticationType && !ItemAuthenticationType::isKnown(*a.authenticationType))
        return std::nullopt;
    if (a.accessibility && !ItemAccessibility::isKnown(*a.accessibility))
        return std::nullopt;
    if (const QCborValue port = map.value(kPort); !port.isUndefined()) {
        if (!port.isInteger() || port.toInteger() < 0 || port.toInteger() > 65535)
            return std::nullopt;
        a.port = int(port.toInteger());
    }
    if (const QCborValue sync = map.value(kSynchronizable); !sync.isUndefined()) {
        if (!sync.isBool())
            return std::nullopt;
        a.synchronizable = sync.toBool() ? Synchronizable::Yes : Synchronizable::No;
    }
    if (const QCborValue control = map.value(kAccessControl); !control.isUndefined()) {
        if (!control.isMap())
            return std::nullopt;
        const QCborMap c = control.toMap();
        const QCborValue accessibility = c.value(kAccessibility);
        const QCborValue flags = c.value(kFlags);
        if (c.size() != 2 || !accessibility.isString() || !flags.isInteger() || flags.toInteger() < 0)
            return std::nullopt;
        a.accessControl = AccessControl::create(accessibility.toString(), quint64(flags.toInteger()), nullptr);
        if (!a.accessControl)
            return std::nullopt;
    }
    if (const QCborValue generic = map.value(kGeneric); !generic.isUndefined()) {
        if (!generic.isByteArray())
            return std::nullopt;
        a.generic = generic.toByteArray();
    }
    return a;
}

QVariantMap ItemAttributes::dictionary() const
{
    QVariantMap map;
    if (itemClass)
        map.insert(kClass, *itemClass == ItemClass::GenericPassword ? QStringLiteral("GenericPassword")
                                                                    : QStringLiteral("InternetPassword"));
    auto text = [&map](const QString &key, const std::optional<QString> &value) {
        if (value)
            map.insert(key, *value);
    };
    text(kAccount, account);
    text(kService, service);
    text(kAccessGroup, accessGroup);
    text(kServer, server);
    if (port)
        map.insert(kPort, *port);
    text(kProtocol, protocol);
    text(kAuthenticationType, authenticationType);
    text(kAccessibility, accessibility);
    if (synchronizable)
        map.insert(kSynchronizable, *synchronizable == Synchronizable::Any
                                        ? QVariant(QStringLiteral("any"))
                                        : QVariant(*synchronizable == Synchronizable::Yes));
    if (accessControl)
        map.insert(kAccessControl, QVariantMap{{kAccessibility, accessControl->accessibility()},
                                               {kFlags, accessControl->flags()}});
    text(kLabel, label);
    text(kComment, comment);
    if (generic)
        map.insert(kGeneric, *generic);
    if (valueData)
        map.insert(QStringLiteral("valueData"), *valueData);
    return map;
}

} // namespace kova::platform
