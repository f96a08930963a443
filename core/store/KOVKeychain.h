#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

#include "core/store/KOVKeychainConstants.h"
#include "platform/foundation/Error.h"
#include "platform/keychain/ItemAttributes.h"

namespace kova {

// A store of password items in the keychain: either the generic-password
// items of one service (and optionally one access group), or the
// internet-password items of one server, protocol and authentication type.
// An item is found by its key and holds a value (bytes or UTF-8 text).
//
// Failures reach the caller through the optional error out-parameter (domain
// KOVKeychainErrorDomain, or the platform's own error where one is passed
// on) and a false or null result; every error is also written to the log.
// Operations run synchronously on the calling thread.
class KOVKeychain {
public:
    using Error = platform::Error;
    using SharedWebCredentialCompletion =
        std::function<void(QList<QVariantMap> credentials, std::optional<platform::Error> error)>;
    using SharedPasswordCompletion =
        std::function<void(QString account, QString password, std::optional<platform::Error> error)>;
    using SharedPasswordForAccountCompletion =
        std::function<void(QString password, std::optional<platform::Error> error)>;
    using SetSharedPasswordCompletion = std::function<void(std::optional<platform::Error> error)>;

    // Generic stores; a null service is the default service.
    KOVKeychain();
    explicit KOVKeychain(const QString &service);
    KOVKeychain(const QString &service, const QString &accessGroup);
    // Internet stores; the authentication type defaults to Default.
    KOVKeychain(const QUrl &server, KOVKeychainProtocolType protocolType);
    KOVKeychain(const QUrl &server, KOVKeychainProtocolType protocolType,
                KOVKeychainAuthenticationType authenticationType);

    static std::shared_ptr<KOVKeychain> keychain();
    static std::shared_ptr<KOVKeychain> keychainWithService(const QString &service);
    static std::shared_ptr<KOVKeychain> keychainWithService(const QString &service, const QString &accessGroup);
    static std::shared_ptr<KOVKeychain> keychainWithServer(const QUrl &server, KOVKeychainProtocolType protocolType);
    static std::shared_ptr<KOVKeychain> keychainWithServer(const QUrl &server, KOVKeychainProtocolType protocolType,
                                                           KOVKeychainAuthenticationType authenticationType);

    static QString defaultService();

    KOVKeychainItemClass itemClass() const { return m_itemClass; }
    QString service() const { return m_service; }
    QString accessGroup() const { return m_accessGroup; }
    QUrl server() const { return m_server; }
    KOVKeychainProtocolType protocolType() const { return m_protocolType; }
    KOVKeychainAuthenticationType authenticationType() const { return m_authenticationType; }

    KOVKeychainAccessibility accessibility() const { return m_accessibility; }
    void setAccessibility(KOVKeychainAccessibility accessibility);
    // Bits of platform::AccessControl::Flag.
    quint64 authenticationPolicy() const { return m_authenticationPolicy; }
    void setAccessibility(KOVKeychainAccessibility accessibility, quint64 authenticationPolicy);
    bool useAuthenticationUI() const { return m_useAuthenticationUI; }
    void setUseAuthenticationUI(bool useAuthenticationUI);
    bool synchronizable() const { return m_synchronizable; }
    void setSynchronizable(bool synchronizable);
    QString authenticationPrompt() const { return m_authenticationPrompt; }
    void setAuthenticationPrompt(const QString &authenticationPrompt);

    QStringList allKeys() const;
    QList<QVariantMap> allItems() const;

    bool contains(const QString &key) const;

    // Null when there is no such item (no error) or on failure.
    QString stringForKey(const QString &key, Error *error = nullptr) const;
    QByteArray dataForKey(const QString &key, Error *error = nullptr) const;

    // Adds or updates the item; a null value removes it.
    bool setString(const QString &value, const QString &key, Error *error = nullptr);
    bool setString(const QString &value, const QString &key, const QByteArray &genericAttribute,
                   Error *error = nullptr);
    bool setString(const QString &value, const QString &key, const QString &label, const QString &comment,
                   Error *error = nullptr);
    bool setString(const QString &value, const QString &key, const QByteArray &genericAttribute, const QString &label,
                   const QString &comment, Error *error = nullptr);
    bool setData(const QByteArray &value, const QString &key, Error *error = nullptr);
    bool setData(const QByteArray &value, const QString &key, const QByteArray &genericAttribute,
                 Error *error = nullptr);
    bool setData(const QByteArray &value, const QString &key, const QString &label, const QString &comment,
                 Error *error = nullptr);
    bool setData(const QByteArray &value, const QString &key, const QByteArray &genericAttribute, const QString &label,
                 const QString &comment, Error *error = nullptr);

    // Removing an item that is not there succeeds.
    bool removeItemForKey(const QString &key, Error *error = nullptr);
    bool removeAllItems();
    bool removeAllItemsWithError(Error *error);

    // Subscript access: reads the string; writing null removes.
    QString objectForKeyedSubscript(const QString &key) const;
    void setObject(const QString &object, const QString &key);

    // The raw attributes and values of the store's items; empty when there
    // are none, null on failure.
    std::optional<QList<platform::ItemAttributes>> items() const;

    // Shared web credentials of the store's server host.
    void sharedPasswordWithCompletion(SharedPasswordCompletion completion) const;
    void sharedPasswordForAccount(const QString &account, SharedPasswordForAccountCompletion completion) const;
    void setSharedPassword(const QString &password, const QString &account,
                           SetSharedPasswordCompletion completion) const;
    void removeSharedPasswordForAccount(const QString &account, SetSharedPasswordCompletion completion) const;

    QString description() const;
    QString debugDescription() const;

    // The base query of every operation, the attributes of a write (no key:
    // the changes of an update), and the platform values of the settings.
    platform::ItemAttributes query() const;
    std::optional<platform::ItemAttributes> attributesWithKey(const QString &key, const QByteArray &value,
                                                              Error *error) const;
    std::optional<platform::ItemClass> itemClassObject() const;
    QString protocolTypeObject() const;
    QString authenticationTypeObject() const;
    QString accessibilityObject() const;

    // Every item of a class (2 internet, anything else generic) the app can
    // reach; null on failure. The keys come as {"service" or "server", "key"}.
    static std::optional<QList<QVariantMap>> allKeysWithItemClass(KOVKeychainItemClass itemClass);
    static std::optional<QList<QVariantMap>> allItemsWithItemClass(KOVKeychainItemClass itemClass);
    // Readable descriptions of raw items.
    static QList<QVariantMap> prettify(std::optional<platform::ItemClass> itemClass,
                                       const QList<platform::ItemAttributes> &items);

    static void requestSharedWebCredentialWithCompletion(SharedWebCredentialCompletion completion);
    static void requestSharedWebCredentialForDomain(const QString &domain, const QString &account,
                                                    SharedWebCredentialCompletion completion);
    static QString generatePassword();

    // The store's errors; each is logged as it is made.
    static Error argumentError(const QString &message);
    static Error conversionError(const QString &message);
    static Error securityError(qint64 status);
    static Error unexpectedError(const QString &message);

    // The class operations that read, write or remove in a store made on the
    // fly for a service (null: the default service) and access group. A null
    // key fails with KOVKeychainErrorInvalidArguments before anything else.
    struct Class {
        static QString stringForKey(const QString &key, Error *error = nullptr);
        static QString stringForKey(const QString &key, const QString &service, Error *error = nullptr);
        static QString stringForKey(const QString &key, const QString &service, const QString &accessGroup,
                                    Error *error = nullptr);

        static bool setString(const QString &value, const QString &key, Error *error = nullptr);
        static bool setString(const QString &value, const QString &key, const QByteArray &genericAttribute,
                              Error *error = nullptr);
        static bool setString(const QString &value, const QString &key, const QString &service,
                              Error *error = nullptr);
        static bool setString(const QString &value, const QString &key, const QString &service,
                              const QByteArray &genericAttribute, Error *error = nullptr);
        static bool setString(const QString &value, const QString &key, const QString &service,
                              const QString &accessGroup, Error *error = nullptr);
        static bool setString(const QString &value, const QString &key, const QString &service,
                              const QString &accessGroup, const QByteArray &genericAttribute, Error *error = nullptr);

        static QByteArray dataForKey(const QString &key, Error *error = nullptr);
        static QByteArray dataForKey(const QString &key, const QString &service, Error *error = nullptr);
        static QByteArray dataForKey(const QString &key, const QString &service, const QString &accessGroup,
                                     Error *error = nullptr);

        static bool setData(const QByteArray &value, const QString &key, Error *error = nullptr);
        static bool setData(const QByteArray &value, const QString &key, const QByteArray &genericAttribute,
                            Error *error = nullptr);
        static bool setData(const QByteArray &value, const QString &key, const QString &service,
                            Error *error = nullptr);
        static bool setData(const QByteArray &value, const QString &key, const QString &service,
                            const QByteArray &genericAttribute, Error *error = nullptr);
        static bool setData(const QByteArray &value, const QString &key, const QString &service,
                            const QString &accessGroup, Error *error = nullptr);
        static bool setData(const QByteArray &value, const QString &key, const QString &service,
                            const QString &accessGroup, const QByteArray &genericAttribute, Error *error = nullptr);

        static bool removeItemForKey(const QString &key, Error *error = nullptr);
        static bool removeItemForKey(const QString &key, const QString &service, Error *error = nullptr);
        static bool removeItemForKey(const QString &key, const QString &service, const QString &accessGroup,
                                     Error *error = nullptr);

        static bool removeAllItems();
        static bool removeAllItemsWithError(Error *error);
        static bool removeAllItemsForService(const QString &service, Error *error = nullptr);
        static bool removeAllItemsForService(const QString &service, const QString &accessGroup,
                                             Error *error = nullptr);
    };

private:
    void commonInit();
    std::optional<platform::ItemAttributes> buildAttributes(const QString &key, const QByteArray &value,
                                                            Error *error, Error *made) const;

    KOVKeychainItemClass m_itemClass = KOVKeychainItemClassGenericPassword;
    QString m_service;
    QString m_accessGroup;
    QUrl m_server;
    KOVKeychainProtocolType m_protocolType = KOVKeychainProtocolType(0);
    KOVKeychainAuthenticationType m_authenticationType = KOVKeychainAuthenticationType(0);
    KOVKeychainAccessibility m_accessibility = KOVKeychainAccessibilityAfterFirstUnlock;
    quint64 m_authenticationPolicy = 0;
    bool m_useAuthenticationUI = true;
    bool m_synchronizable = false;
    QString m_authenticationPrompt;
};

} // namespace kova
