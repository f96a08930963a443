#include "core/store/KOVKeychain.h"

#include <QStringDecoder>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/keychain/ItemStore.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/SharedWebCredentials.h"

namespace kova {

using platform::ItemAttributes;
using platform::ItemClass;
using platform::ItemStore;
namespace KeychainStatus = platform::KeychainStatus;

namespace {

constexpr qint64 kConversionErrorCode = -67594;
constexpr qint64 kUnexpectedErrorCode = -99999;

const QString kKeyMissingMessage = QStringLiteral("the key must not to be nil");
const QString kServerMissingMessage = QStringLiteral(
    "the server property must not to be nil, should use 'keychainWithServer:protocolType:' initializer to "
    "instantiate keychain store");
const QString kStringToDataMessage = QStringLiteral("failed to convert string to data");
const QString kDataToStringMessage = QStringLiteral("failed to convert data to string");
const QString kUnexpectedMessage = QStringLiteral("Unexpected error has occurred.");
const QString kSecurityMessage = QStringLiteral("Security error has occurred.");
const QString kPolicyWithSyncWarning = QStringLiteral("Cannot specify both an authenticationPolicy and a synchronizable");

// The host's translation of one of our messages, from its main bundle's
// default table "Localizable".
QString hostText(const QString &english)
{
    const auto bundle = platform::Bundle::main();
    if (!bundle)
        return english;
    const QString text = bundle->localizedString(english, QString(), QStringLiteral("Localizable"));
    return text.isEmpty() ? english : text;
}

platform::Error makeError(qint64 code, const QString &description)
{
    return platform::Error::withDescription(KOVKeychainErrorDomain, code, description);
}

void logError(const QString &format, const platform::Error &error)
{
    platform::log(format.arg(QString::number(error.code), error.localizedDescription()), platform::logKeychain());
}

// The UTF-8 bytes of the text, or nothing when it holds a lone surrogate,
// which has no UTF-8 form.
std::optional<QByteArray> utf8Of(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return std::nullopt;
            ++i;
        } else if (c.isLowSurrogate()) {
            return std::nullopt;
        }
    }
    QByteArray bytes = text.toUtf8();
    if (bytes.isNull())
        bytes = QByteArray("", 0);
    return bytes;
}

// The text of UTF-8 bytes exactly as they are (a leading byte-order mark is
// kept), or nothing when they are not UTF-8.
std::optional<QString> textOf(const QByteArray &data)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    if (text.isNull())
        text = QStringLiteral("");
    return text;
}

// NSObject-style description texts: dictionaries as "{ key = value; }"
// blocks with sorted keys, lists as "( ... )", data as "<hex>".
QString describe(const QVariant &value, int indent);

QString describeText(const QString &text)
{
    bool plain = !text.isEmpty();
    for (const QChar c : text)
        plain = plain && c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'$');
    if (plain)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1String("\""), QLatin1String("\\\""))
        .replace(QLatin1String("\n"), QLatin1String("\\n"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString describeData(const QByteArray &data)
{
    QString out = QStringLiteral("<");
    for (qsizetype i = 0; i < data.size(); i += 4) {
        if (i > 0)
            out += QLatin1Char(' ');
        out += QString::fromLatin1(data.mid(i, 4).toHex());
    }
    return out + QLatin1Char('>');
}

QString describe(const QVariant &value, int indent)
{
    const QString pad(indent, QLatin1Char(' '));
    const QString inner(indent + 4, QLatin1Char(' '));
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QString out = QStringLiteral("{\n");
        for (auto it = map.begin(); it != map.end(); ++it)
            out += inner + describeText(it.key()) + QStringLiteral(" = ") + describe(it.value(), indent + 4)
                + QStringLiteral(";\n");
        return out + pad + QLatin1Char('}');
    }
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        QStringList parts;
        for (const QVariant &element : list)
            parts.append(inner + describe(element, indent + 4));
        return QStringLiteral("(\n") + parts.join(QStringLiteral(",\n")) + (parts.isEmpty() ? QString() : QStringLiteral("\n"))
            + pad + QLatin1Char(')');
    }
    case QMetaType::QByteArray:
        return describeData(value.toByteArray());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QString:
        return describeText(value.toString());
    default:
        return describeText(value.toString());
    }
}

ItemClass classFor(KOVKeychainItemClass itemClass)
{
    return itemClass == KOVKeychainItemClassInternetPassword ? ItemClass::InternetPassword : ItemClass::GenericPassword;
}

// Hands an error (already logged where it was made) to a caller that asked
// for it; false, for the writes that fail with it.
bool report(KOVKeychain::Error *out, const KOVKeychain::Error &made)
{
    if (out)
        *out = made;
    return false;
}

// A null key fails every keyed operation before anything else.
bool keyMissing(const QString &key, KOVKeychain::Error *error)
{
    if (!key.isNull())
        return false;
    report(error, KOVKeychain::argumentError(kKeyMissingMessage));
    return true;
}

// A text is written as its UTF-8 bytes; a null text removes the item.
template <typename Remove, typename Write>
bool writeText(const QString &value, KOVKeychain::Error *error, Remove remove, Write write)
{
    if (value.isNull())
        return remove();
    const std::optional<QByteArray> data = utf8Of(value);
    if (!data)
        return report(error, KOVKeychain::conversionError(kStringToDataMessage));
    return write(*data);
}

// The store the class operations work in: a null service is the default one.
std::shared_ptr<KOVKeychain> classStore(const QString &service, const QString &accessGroup)
{
    return KOVKeychain::keychainWithService(service.isNull() ? KOVKeychain::defaultService() : service, accessGroup);
}

} // namespace

// MARK: creation

KOVKeychain::KOVKeychain() : KOVKeychain(defaultService(), QString()) {}

KOVKeychain::KOVKeychain(const QString &service) : KOVKeychain(service, QString()) {}

KOVKeychain::KOVKeychain(const QString &service, const QString &accessGroup)
    : m_itemClass(KOVKeychainItemClassGenericPassword),
      m_service(service.isNull() ? defaultService() : service),
      m_accessGroup(accessGroup)
{
    commonInit();
}

KOVKeychain::KOVKeychain(const QUrl &server, KOVKeychainProtocolType protocolType)
    : KOVKeychain(server, protocolType, KOVKeychainAuthenticationTypeDefault)
{
}

KOVKeychain::KOVKeychain(const QUrl &server, KOVKeychainProtocolType protocolType,
                         KOVKeychainAuthenticationType authenticationType)
    : m_itemClass(KOVKeychainItemClassInternetPassword),
      m_server(server),
      m_protocolType(protocolType),
      m_authenticationType(authenticationType)
{
    commonInit();
}

void KOVKeychain::commonInit()
{
    m_accessibility = KOVKeychainAccessibilityAfterFirstUnlock;
    m_useAuthenticationUI = true;
}

std::shared_ptr<KOVKeychain> KOVKeychain::keychain()
{
    return keychainWithService(QString(), QString());
}

std::shared_ptr<KOVKeychain> KOVKeychain::keychainWithService(const QString &service)
{
    return keychainWithService(service, QString());
}

std::shared_ptr<KOVKeychain> KOVKeychain::keychainWithService(const QString &service, const QString &accessGroup)
{
    return std::make_shared<KOVKeychain>(service, accessGroup);
}

std::shared_ptr<KOVKeychain> KOVKeychain::keychainWithServer(const QUrl &server, KOVKeychainProtocolType protocolType)
{
    return keychainWithServer(server, protocolType, KOVKeychainAuthenticationTypeDefault);
}

std::shared_ptr<KOVKeychain> KOVKeychain::keychainWithServer(const QUrl &server, KOVKeychainProtocolType protocolType,
                                                             KOVKeychainAuthenticationType authenticationType)
{
    return std::make_shared<KOVKeychain>(server, protocolType, authenticationType);
}

QString KOVKeychain::defaultService()
{
    static const QString service = QStringLiteral("com.kova.sdk");
    return service;
}

// MARK: settings

void KOVKeychain::setAccessibility(KOVKeychainAccessibility accessibility)
{
    m_accessibility = accessibility;
}

void KOVKeychain::setAccessibility(KOVKeychainAccessibility accessibility, quint64 authenticationPolicy)
{
    m_accessibility = accessibility;
    m_authenticationPolicy = authenticationPolicy;
    if (m_synchronizable)
        platform::log(kPolicyWithSyncWarning, platform::logKeychain());
}

void KOVKeychain::setUseAuthenticationUI(bool useAuthenticationUI)
{
    m_useAuthenticationUI = useAuthenticationUI;
}

void KOVKeychain::setSynchronizable(bool synchronizable)
{
    m_synchronizable = synchronizable;
    if (m_authenticationPolicy != 0)
        platform::log(kPolicyWithSyncWarning, platform::logKeychain());
}

void KOVKeychain::setAuthenticationPrompt(const QString &authenticationPrompt)
{
    m_authenticationPrompt = authenticationPrompt;
}

// MARK: platform values

std::optional<ItemClass> KOVKeychain::itemClassObject() const
{
    switch (m_itemClass) {
    case KOVKeychainItemClassGenericPassword:
        return ItemClass::GenericPassword;
    case KOVKeychainItemClassInternetPassword:
        return ItemClass::InternetPassword;
    }
    return std::nullopt;
}

QString KOVKeychain::protocolTypeObject() const
{
    const QStringList &values = platform::ItemProtocol::all();
    return m_protocolType >= 1 && m_protocolType <= values.size() ? values.at(qsizetype(m_protocolType) - 1) : QString();
}

QString KOVKeychain::authenticationTypeObject() const
{
    const QStringList &values = platform::ItemAuthenticationType::all();
    return m_authenticationType >= 1 && m_authenticationType <= values.size()
        ? values.at(qsizetype(m_authenticationType) - 1)
        : QString();
}

QString KOVKeychain::accessibilityObject() const
{
    switch (m_accessibility) {
    case KOVKeychainAccessibilityWhenUnlocked:
        return platform::ItemAccessibility::WhenUnlocked;
    case KOVKeychainAccessibilityAfterFirstUnlock:
        return platform::ItemAccessibility::AfterFirstUnlock;
    case KOVKeychainAccessibilityAlways:
        return platform::ItemAccessibility::Always;
    case KOVKeychainAccessibilityWhenPasscodeSetThisDeviceOnly:
        return platform::ItemAccessibility::WhenPasscodeSetThisDeviceOnly;
    case KOVKeychainAccessibilityWhenUnlockedThisDeviceOnly:
        return platform::ItemAccessibility::WhenUnlockedThisDeviceOnly;
    case KOVKeychainAccessibilityAfterFirstUnlockThisDeviceOnly:
        return platform::ItemAccessibility::AfterFirstUnlockThisDeviceOnly;
    case KOVKeychainAccessibilityAlwaysThisDeviceOnly:
        return platform::ItemAccessibility::AlwaysThisDeviceOnly;
    }
    return QString();
}

// MARK: queries

ItemAttributes KOVKeychain::query() const
{
    ItemAttributes query;
    query.itemClass = itemClassObject();
    query.synchronizable = platform::Synchronizable::Any;
    if (m_itemClass == KOVKeychainItemClassInternetPassword) {
        if (!m_server.host().isEmpty())
            query.server = m_server.host();
        if (m_server.port() != -1)
            query.port = m_server.port();
        if (const QString protocol = protocolTypeObject(); !protocol.isNull())
            query.protocol = protocol;
        if (const QString type = authenticationTypeObject(); !type.isNull())
            query.authenticationType = type;
    } else {
        query.service = m_service;
        if (!m_accessGroup.isNull())
            query.accessGroup = m_accessGroup;
    }
    if (!m_authenticationPrompt.isNull())
        query.operationPrompt = m_authenticationPrompt;
    if (!m_useAuthenticationUI)
        query.noInteraction = true;
    return query;
}

std::optional<ItemAttributes> KOVKeychain::attributesWithKey(const QString &key, const QByteArray &value,
                                                             Error *error) const
{
    Error made;
    return buildAttributes(key, value, error, &made);
}

std::optional<ItemAttributes> KOVKeychain::buildAttributes(const QString &key, const QByteArray &value, Error *error,
                                                           Error *made) const
{
    ItemAttributes attributes;
    if (!key.isNull()) {
        attributes = query();
        attributes.account = key;
    }
    attributes.valueData = value;

    const QString accessibility = accessibilityObject();
    if (!accessibility.isNull() && m_authenticationPolicy != 0) {
        Error platformError;
        auto control = platform::AccessControl::create(accessibility, m_authenticationPolicy, &platformError);
        if (!control && !platformError.domain.isEmpty()) {
            logError(QStringLiteral("error: [%1] %2"), platformError);
            if (error) {
                *error = platformError;
                *made = platformError;
                return std::nullopt;
            }
        }
        if (!control) {
            *made = unexpectedError(kUnexpectedMessage);
            if (error)
                *error = *made;
            return std::nullopt;
        }
        attributes.accessControl = control;
    } else if (!accessibility.isNull()) {
        attributes.accessibility = accessibility;
    }
    attributes.synchronizable = m_synchronizable ? platform::Synchronizable::Yes : platform::Synchronizable::No;
    return attributes;
}

// MARK: reading

bool KOVKeychain::contains(const QString &key) const
{
    if (key.isNull())
        return false;
    ItemAttributes query = this->query();
    query.account = key;
    const qint32 status = ItemStore().copyMatching(query);
    return status == KeychainStatus::Success || status == KeychainStatus::InteractionNotAllowed;
}

QString KOVKeychain::stringForKey(const QString &key, Error *error) const
{
    const QByteArray data = dataForKey(key, error);
    if (data.isNull())
        return QString();
    const std::optional<QString> text = textOf(data);
    if (!text) {
        report(error, conversionError(kDataToStringMessage));
        return QString();
    }
    return *text;
}

QByteArray KOVKeychain::dataForKey(const QString &key, Error *error) const
{
    if (keyMissing(key, error))
        return QByteArray();
    ItemAttributes query = this->query();
    query.matchLimit = platform::MatchLimit::One;
    query.returnData = true;
    query.account = key;
    QByteArray data;
    const qint32 status = ItemStore().copyValue(query, &data);
    if (status == KeychainStatus::ItemNotFound)
        return QByteArray();
    if (status != KeychainStatus::Success) {
        report(error, securityError(status));
        return QByteArray();
    }
    if (data.isNull())
        data = QByteArray("", 0);
    return data;
}

// MARK: writing

bool KOVKeychain::setString(const QString &value, const QString &key, Error *error)
{
    return setString(value, key, QByteArray(), QString(), QString(), error);
}

bool KOVKeychain::setString(const QString &value, const QString &key, const QByteArray &genericAttribute, Error *error)
{
    return setString(value, key, genericAttribute, QString(), QString(), error);
}

bool KOVKeychain::setString(const QString &value, const QString &key, const QString &label, const QString &comment,
                            Error *error)
{
    return setString(value, key, QByteArray(), label, comment, error);
}

bool KOVKeychain::setString(const QString &value, const QString &key, const QByteArray &genericAttribute,
                            const QString &label, const QString &comment, Error *error)
{
    return writeText(
        value, error, [&] { return removeItemForKey(key, error); },
        [&](const QByteArray &data) { return setData(data, key, genericAttribute, label, comment, error); });
}

bool KOVKeychain::setData(const QByteArray &value, const QString &key, Error *error)
{
    return setData(value, key, QByteArray(), QString(), QString(), error);
}

bool KOVKeychain::setData(const QByteArray &value, const QString &key, const QByteArray &genericAttribute, Error *error)
{
    return setData(value, key, genericAttribute, QString(), QString(), error);
}

bool KOVKeychain::setData(const QByteArray &value, const QString &key, const QString &label, const QString &comment,
                          Error *error)
{
    return setData(value, key, QByteArray(), label, comment, error);
}

bool KOVKeychain::setData(const QByteArray &value, const QString &key, const QByteArray &genericAttribute,
                          const QString &label, const QString &comment, Error *error)
{
    if (keyMissing(key, error))
        return false;
    if (value.isNull())
        return removeItemForKey(key, error);

    auto addOptionals = [&](ItemAttributes &attributes) {
        if (!genericAttribute.isNull())
            attributes.generic = genericAttribute;
        if (!label.isNull())
            attributes.label = label;
        if (!comment.isNull())
            attributes.comment = comment;
    };
    auto attributesFailed = [&](const Error &made) {
        platform::log(QStringLiteral("error: [%1] %2").arg(QString::number(made.code), kUnexpectedMessage), platform::logKeychain());
        return report(error, made);
    };
    auto securityFailure = [&](qint32 status) { return report(error, securityError(status)); };

    // Whether the item is there is decided inside the write that adds or
    // updates it: two writers of one key at once must not both find it
    // missing, and the second then fail as a duplicate.
    ItemAttributes match = query();
    match.account = key;
    Error made;
    std::optional<ItemAttributes> attributes = buildAttributes(key, value, error, &made);
    if (!attributes)
        return attributesFailed(made);
    addOptionals(*attributes);
    std::optional<ItemAttributes> changes = buildAttributes(QString(), value, error, &made);
    if (!changes)
        return attributesFailed(made);
    addOptionals(*changes);
    const qint32 status = ItemStore().set(match, *attributes, *changes);
    return status == KeychainStatus::Success || securityFailure(status);
}

// MARK: removing

bool KOVKeychain::removeItemForKey(const QString &key, Error *error)
{
    if (keyMissing(key, error))
        return false;
    ItemAttributes query = this->query();
    query.account = key;
    const qint32 status = ItemStore().remove(query);
    return status == KeychainStatus::Success || status == KeychainStatus::ItemNotFound
        || report(error, securityError(status));
}

bool KOVKeychain::removeAllItems()
{
    return removeAllItemsWithError(nullptr);
}

bool KOVKeychain::removeAllItemsWithError(Error *error)
{
    const qint32 status = ItemStore().remove(query());
    return status == KeychainStatus::Success || status == KeychainStatus::ItemNotFound
        || report(error, securityError(status));
}

// MARK: subscripts

QString KOVKeychain::objectForKeyedSubscript(const QString &key) const
{
    return stringForKey(key);
}

void KOVKeychain::setObject(const QString &object, const QString &key)
{
    if (object.isNull())
        removeItemForKey(key);
    else
        setString(object, key);
}

// MARK: listing

std::optional<QList<ItemAttributes>> KOVKeychain::items() const
{
    ItemAttributes query = this->query();
    query.matchLimit = platform::MatchLimit::All;
    query.returnAttributes = true;
    query.returnData = true;
    QList<ItemAttributes> result;
    const qint32 status = ItemStore().copyMatching(query, &result);
    if (status == KeychainStatus::ItemNotFound)
        return QList<ItemAttributes>();
    if (status != KeychainStatus::Success)
        return std::nullopt;
    return result;
}

QList<QVariantMap> KOVKeychain::allItems() const
{
    return prettify(itemClassObject(), items().value_or(QList<ItemAttributes>()));
}

QStringList KOVKeychain::allKeys() const
{
    QStringList keys;
    for (const QVariantMap &item : allItems())
        if (item.contains(QStringLiteral("key")))
            keys.append(item.value(QStringLiteral("key")).toString());
    return keys;
}

std::optional<QList<QVariantMap>> KOVKeychain::allKeysWithItemClass(KOVKeychainItemClass itemClass)
{
    ItemAttributes query;
    query.itemClass = classFor(itemClass);
    query.matchLimit = platform::MatchLimit::All;
    query.returnAttributes = true;
    QList<ItemAttributes> result;
    const qint32 status = ItemStore().copyMatching(query, &result);
    if (status == KeychainStatus::ItemNotFound)
        return QList<QVariantMap>();
    if (status != KeychainStatus::Success)
        return std::nullopt;
    const bool internet = *query.itemClass == ItemClass::InternetPassword;
    const QString place = internet ? QStringLiteral("server") : QStringLiteral("service");
    QList<QVariantMap> keys;
    for (const QVariantMap &item : prettify(query.itemClass, result))
        keys.append({{place, item.value(place, QString()).toString()},
                     {QStringLiteral("key"), item.value(QStringLiteral("key"), QString()).toString()}});
    return keys;
}

std::optional<QList<QVariantMap>> KOVKeychain::allItemsWithItemClass(KOVKeychainItemClass itemClass)
{
    ItemAttributes query;
    query.itemClass = classFor(itemClass);
    query.matchLimit = platform::MatchLimit::All;
    query.returnAttributes = true;
    query.returnData = true;
    QList<ItemAttributes> result;
    const qint32 status = ItemStore().copyMatching(query, &result);
    if (status == KeychainStatus::ItemNotFound)
        return QList<QVariantMap>();
    if (status != KeychainStatus::Success)
        return std::nullopt;
    return prettify(query.itemClass, result);
}

QList<QVariantMap> KOVKeychain::prettify(std::optional<ItemClass> itemClass, const QList<ItemAttributes> &items)
{
    QList<QVariantMap> out;
    out.reserve(items.size());
    for (const ItemAttributes &item : items) {
        QVariantMap map;
        auto put = [&map](const QString &key, const std::optional<QString> &value) {
            if (value)
                map.insert(key, *value);
        };
        if (itemClass == ItemClass::GenericPassword) {
            map.insert(QStringLiteral("class"), QStringLiteral("GenericPassword"));
            put(QStringLiteral("service"), item.service);
            put(QStringLiteral("accessGroup"), item.accessGroup);
        } else if (itemClass == ItemClass::InternetPassword) {
            map.insert(QStringLiteral("class"), QStringLiteral("InternetPassword"));
            put(QStringLiteral("server"), item.server);
            put(QStringLiteral("protocol"), item.protocol);
            put(QStringLiteral("authenticationType"), item.authenticationType);
        }
        put(QStringLiteral("key"), item.account);
        if (item.valueData) {
            if (const std::optional<QString> text = textOf(*item.valueData))
                map.insert(QStringLiteral("value"), *text);
            else
                map.insert(QStringLiteral("value"), *item.valueData);
        }
        put(QStringLiteral("accessibility"), item.accessibility);
        if (item.synchronizable)
            map.insert(QStringLiteral("synchronizable"), *item.synchronizable == platform::Synchronizable::Yes);
        out.append(map);
    }
    return out;
}

// MARK: texts

QString KOVKeychain::description() const
{
    const QList<QVariantMap> items = allItems();
    if (items.isEmpty())
        return QStringLiteral("()");
    QString text = QStringLiteral("(\n");
    for (const QVariantMap &item : items)
        text += QStringLiteral("    %1").arg(describe(item, 0));
    return text + QLatin1Char(')');
}

QString KOVKeychain::debugDescription() const
{
    const std::optional<QList<ItemAttributes>> raw = items();
    if (!raw)
        return QStringLiteral("(null)");
    QVariantList list;
    for (const ItemAttributes &item : *raw)
        list.append(item.dictionary());
    return describe(list, 0);
}

// MARK: shared web credentials

void KOVKeychain::requestSharedWebCredentialWithCompletion(SharedWebCredentialCompletion completion)
{
    requestSharedWebCredentialForDomain(QString(), QString(), std::move(completion));
}

void KOVKeychain::requestSharedWebCredentialForDomain(const QString &domain, const QString &account,
                                                      SharedWebCredentialCompletion completion)
{
    namespace Shared = platform::SharedWebCredentials;
    Shared::request(domain, account,
                    [completion = std::move(completion)](QList<QVariantMap> credentials,
                                                         std::optional<platform::Error> error) {
                        if (error && error->code != KeychainStatus::ItemNotFound)
                            logError(QStringLiteral("error: [%1] %2"), *error);
                        QList<QVariantMap> found;
                        for (const QVariantMap &credential : credentials) {
                            QVariantMap entry;
                            for (const QString &key : {Shared::ServerKey, Shared::AccountKey, Shared::PasswordKey})
                                if (credential.contains(key))
                                    entry.insert(key, credential.value(key));
                            found.append(entry);
                        }
                        if (completion)
                            completion(found, error);
                    });
}

void KOVKeychain::sharedPasswordWithCompletion(SharedPasswordCompletion completion) const
{
    const QString host = m_server.host();
    if (host.isEmpty()) {
        const Error argument = argumentError(kServerMissingMessage);
        if (completion)
            completion(QString(), QString(), argument);
        return;
    }
    requestSharedWebCredentialForDomain(
        host, QString(),
        [completion = std::move(completion)](QList<QVariantMap> credentials, std::optional<platform::Error> error) {
            if (!completion)
                return;
            if (credentials.isEmpty()) {
                completion(QString(), QString(), error);
                return;
            }
            const QVariantMap &first = credentials.first();
            completion(first.value(QStringLiteral("account")).toString(),
                       first.value(QStringLiteral("password")).toString(), error);
        });
}

void KOVKeychain::sharedPasswordForAccount(const QString &account, SharedPasswordForAccountCompletion completion) const
{
    const QString host = m_server.host();
    if (host.isEmpty()) {
        const Error argument = argumentError(kServerMissingMessage);
        if (completion)
            completion(QString(), argument);
        return;
    }
    requestSharedWebCredentialForDomain(
        host, account,
        [completion = std::move(completion)](QList<QVariantMap> credentials, std::optional<platform::Error> error) {
            if (!completion)
                return;
            if (credentials.isEmpty()) {
                completion(QString(), error);
                return;
            }
            completion(credentials.first().value(QStringLiteral("password")).toString(), error);
        });
}

void KOVKeychain::setSharedPassword(const QString &password, const QString &account,
                                    SetSharedPasswordCompletion completion) const
{
    const QString host = m_server.host();
    if (host.isEmpty()) {
        const Error argument = argumentError(kServerMissingMessage);
        if (completion)
            completion(argument);
        return;
    }
    platform::SharedWebCredentials::add(host, account, password,
                                        [completion = std::move(completion)](std::optional<platform::Error> error) {
                                            if (completion)
                                                completion(error);
                                        });
}

void KOVKeychain::removeSharedPasswordForAccount(const QString &account, SetSharedPasswordCompletion completion) const
{
    setSharedPassword(QString(), account, std::move(completion));
}

QString KOVKeychain::generatePassword()
{
    return platform::SharedWebCredentials::createPassword();
}

// MARK: errors

KOVKeychain::Error KOVKeychain::argumentError(const QString &message)
{
    const Error error = makeError(KOVKeychainErrorInvalidArguments, hostText(message));
    logError(QStringLiteral("error: [%1] %2"), error);
    return error;
}

KOVKeychain::Error KOVKeychain::conversionError(const QString &message)
{
    const Error error = makeError(kConversionErrorCode, hostText(message));
    logError(QStringLiteral("error: [%1] %2"), error);
    return error;
}

KOVKeychain::Error KOVKeychain::securityError(qint64 status)
{
    const Error error = makeError(status, kSecurityMessage);
    logError(QStringLiteral("OSStatus error: [%1] %2"), error);
    return error;
}

KOVKeychain::Error KOVKeychain::unexpectedError(const QString &message)
{
    const Error error = makeError(kUnexpectedErrorCode, hostText(message));
    logError(QStringLiteral("error: [%1] %2"), error);
    return error;
}

// MARK: class operations

QString KOVKeychain::Class::stringForKey(const QString &key, Error *error)
{
    return stringForKey(key, QString(), QString(), error);
}

QString KOVKeychain::Class::stringForKey(const QString &key, const QString &service, Error *error)
{
    return stringForKey(key, service, QString(), error);
}

QString KOVKeychain::Class::stringForKey(const QString &key, const QString &service, const QString &accessGroup,
                                         Error *error)
{
    if (keyMissing(key, error))
        return QString();
    return classStore(service, accessGroup)->stringForKey(key, error);
}

bool KOVKeychain::Class::setString(const QString &value, const QString &key, Error *error)
{
    return setString(value, key, QString(), QString(), QByteArray(), error);
}

bool KOVKeychain::Class::setString(const QString &value, const QString &key, const QByteArray &genericAttribute,
                                   Error *error)
{
    return setString(value, key, QString(), QString(), genericAttribute, error);
}

bool KOVKeychain::Class::setString(const QString &value, const QString &key, const QString &service, Error *error)
{
    return setString(value, key, service, QString(), QByteArray(), error);
}

bool KOVKeychain::Class::setString(const QString &value, const QString &key, const QString &service,
                                   const QByteArray &genericAttribute, Error *error)
{
    return setString(value, key, service, QString(), genericAttribute, error);
}

bool KOVKeychain::Class::setString(const QString &value, const QString &key, const QString &service,
                                   const QString &accessGroup, Error *error)
{
    return setString(value, key, service, accessGroup, QByteArray(), error);
}

bool KOVKeychain::Class::setString(const QString &value, const QString &key, const QString &service,
                                   const QString &accessGroup, const QByteArray &genericAttribute, Error *error)
{
    // The value is looked at first: a null one removes, whatever the key.
    return writeText(
        value, error, [&] { return removeItemForKey(key, service, accessGroup, error); },
        [&](const QByteArray &data) { return setData(data, key, service, accessGroup, genericAttribute, error); });
}

QByteArray KOVKeychain::Class::dataForKey(const QString &key, Error *error)
{
    return dataForKey(key, QString(), QString(), error);
}

QByteArray KOVKeychain::Class::dataForKey(const QString &key, const QString &service, Error *error)
{
    return dataForKey(key, service, QString(), error);
}

QByteArray KOVKeychain::Class::dataForKey(const QString &key, const QString &service, const QString &accessGroup,
                                          Error *error)
{
    if (keyMissing(key, error))
        return QByteArray();
    return classStore(service, accessGroup)->dataForKey(key, error);
}

bool KOVKeychain::Class::setData(const QByteArray &value, const QString &key, Error *error)
{
    return setData(value, key, QString(), QString(), QByteArray(), error);
}

bool KOVKeychain::Class::setData(const QByteArray &value, const QString &key, const QByteArray &genericAttribute,
                                 Error *error)
{
    return setData(value, key, QString(), QString(), genericAttribute, error);
}

bool KOVKeychain::Class::setData(const QByteArray &value, const QString &key, const QString &service, Error *error)
{
    return setData(value, key, service, QString(), QByteArray(), error);
}

bool KOVKeychain::Class::setData(const QByteArray &value, const QString &key, const QString &service,
                                 const QByteArray &genericAttribute, Error *error)
{
    return setData(value, key, service, QString(), genericAttribute, error);
}

bool KOVKeychain::Class::setData(const QByteArray &value, const QString &key, const QString &service,
                                 const QString &accessGroup, Error *error)
{
    return setData(value, key, service, accessGroup, QByteArray(), error);
}

bool KOVKeychain::Class::setData(const QByteArray &value, const QString &key, const QString &service,
                                 const QString &accessGroup, const QByteArray &genericAttribute, Error *error)
{
    if (keyMissing(key, error))
        return false;
    return classStore(service, accessGroup)->setData(value, key, genericAttribute, QString(), QString(), error);
}

bool KOVKeychain::Class::removeItemForKey(const QString &key, Error *error)
{
    return removeItemForKey(key, QString(), QString(), error);
}

bool KOVKeychain::Class::removeItemForKey(const QString &key, const QString &service, Error *error)
{
    return removeItemForKey(key, service, QString(), error);
}

bool KOVKeychain::Class::removeItemForKey(const QString &key, const QString &service, const QString &accessGroup,
                                          Error *error)
{
    if (keyMissing(key, error))
        return false;
    return classStore(service, accessGroup)->removeItemForKey(key, error);
}

bool KOVKeychain::Class::removeAllItems()
{
    return removeAllItemsForService(QString(), QString(), nullptr);
}

bool KOVKeychain::Class::removeAllItemsWithError(Error *error)
{
    return removeAllItemsForService(QString(), QString(), error);
}

bool KOVKeychain::Class::removeAllItemsForService(const QString &service, Error *error)
{
    return removeAllItemsForService(service, QString(), error);
}

bool KOVKeychain::Class::removeAllItemsForService(const QString &service, const QString &accessGroup, Error *error)
{
    return classStore(service, accessGroup)->removeAllItemsWithError(error);
}

} // namespace kova
