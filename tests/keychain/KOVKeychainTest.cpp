#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <barrier>
#include <gtest/gtest.h>
#include <thread>

#include "core/store/KOVKeychain.h"
#include "platform/foundation/Bundle.h"
#include "platform/keychain/ItemStore.h"
#include "platform/keychain/Vault.h"
#include "tests/keychain/KeychainTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using platform::ItemAttributes;

namespace {

class KOVKeychainTest : public ::testing::Test {
protected:
    void SetUp() override { test::resetDataDirectory(); }

    // Every item in the default vault, raw, synchronised or not.
    static QList<ItemAttributes> storedItems(platform::ItemClass itemClass = platform::ItemClass::GenericPassword)
    {
        ItemAttributes query;
        query.itemClass = itemClass;
        query.synchronizable = platform::Synchronizable::Any;
        query.matchLimit = platform::MatchLimit::All;
        query.returnAttributes = true;
        query.returnData = true;
        QList<ItemAttributes> items;
        platform::ItemStore().copyMatching(query, &items);
        return items;
    }

    static void expectError(const platform::Error &error, qint64 code, const QString &description)
    {
        EXPECT_EQ(error.domain, KOVKeychainErrorDomain);
        EXPECT_EQ(error.code, code);
        EXPECT_EQ(error.userInfo, (QVariantMap{{platform::NSLocalizedDescriptionKey, description}}));
    }
};

TEST_F(KOVKeychainTest, StoresAreMadeWithTheirDefaults)
{
    const auto generic = KOVKeychain::keychain();
    EXPECT_EQ(generic->itemClass(), KOVKeychainItemClassGenericPassword);
    EXPECT_EQ(generic->service(), QStringLiteral("com.kova.sdk"));
    EXPECT_EQ(KOVKeychain::defaultService() + QStringLiteral(".security"), KOVKeychainErrorDomain);
    EXPECT_TRUE(generic->accessGroup().isNull());
    EXPECT_EQ(generic->accessibility(), KOVKeychainAccessibilityAfterFirstUnlock);
    EXPECT_EQ(generic->authenticationPolicy(), 0u);
    EXPECT_TRUE(generic->useAuthenticationUI());
    EXPECT_FALSE(generic->synchronizable());
    EXPECT_TRUE(generic->authenticationPrompt().isNull());
    EXPECT_EQ(KOVKeychain(QString()).service(), KOVKeychain::defaultService());
    EXPECT_EQ(KOVKeychain().service(), KOVKeychain::defaultService());
    EXPECT_EQ(KOVKeychain::keychainWithService(QStringLiteral("s"), QStringLiteral("g"))->accessGroup(),
              QStringLiteral("g"));

    const auto internet = KOVKeychain::keychainWithServer(QUrl(QStringLiteral("https://bank.example:8443/x")),
                                                          KOVKeychainProtocolTypeHTTPS);
    EXPECT_EQ(internet->itemClass(), KOVKeychainItemClassInternetPassword);
    EXPECT_EQ(internet->authenticationType(), KOVKeychainAuthenticationTypeDefault);
    EXPECT_TRUE(internet->service().isNull());
    EXPECT_EQ(internet->accessibility(), KOVKeychainAccessibilityAfterFirstUnlock);

    EXPECT_EQ(kAccessToken, QStringLiteral("kKOVAccessToken"));
    EXPECT_EQ(kAccessCode, QStringLiteral("kKOVAccessCode"));
    EXPECT_EQ(kUserSecret, QStringLiteral("kKOVUserSecret"));
    EXPECT_EQ(kConnectionID, QStringLiteral("kKOVConnectionID"));
    EXPECT_EQ(kConnectedBankID, QStringLiteral("kConnectedBankID"));
    EXPECT_EQ(kConnectedBankName, QStringLiteral("kConnectedBankName"));
    EXPECT_EQ(kConnectedBankLogoURL, QStringLiteral("kConnectedBankLogoURL"));
}

TEST_F(KOVKeychainTest, EnumerationsMapToPlatformValuesOnlyInRange)
{
    KOVKeychain store;
    const std::pair<qint64, QString> accessibility[] = {
        {0, QString()},
        {1, platform::ItemAccessibility::WhenUnlocked},
        {2, platform::ItemAccessibility::AfterFirstUnlock},
        {3, platform::ItemAccessibility::Always},
        {4, platform::ItemAccessibility::WhenPasscodeSetThisDeviceOnly},
        {5, platform::ItemAccessibility::WhenUnlockedThisDeviceOnly},
        {6, platform::ItemAccessibility::AfterFirstUnlockThisDeviceOnly},
        {7, platform::ItemAccessibility::AlwaysThisDeviceOnly},
        {8, QString()},
    };
    for (const auto &[value, expected] : accessibility) {
        store.setAccessibility(KOVKeychainAccessibility(value));
        EXPECT_EQ(store.accessibilityObject(), expected) << value;
    }
    const std::tuple<qint64, QString, qint64, QString> internet[] = {
        {1, QStringLiteral("FTP"), 1, QStringLiteral("NTLM")},
        {16, QStringLiteral("HTTPS"), 5, QStringLiteral("HTTPBasic")},
        {29, QStringLiteral("POP3S"), 8, QStringLiteral("Default")},
        {30, QString(), 9, QString()},
        {0, QString(), 0, QString()},
    };
    for (const auto &[protocol, protocolValue, type, typeValue] : internet) {
        KOVKeychain server(QUrl(QStringLiteral("https://h")), KOVKeychainProtocolType(protocol),
                           KOVKeychainAuthenticationType(type));
        EXPECT_EQ(server.protocolTypeObject(), protocolValue) << protocol;
        EXPECT_EQ(server.authenticationTypeObject(), typeValue) << type;
    }
    EXPECT_EQ(store.itemClassObject(), platform::ItemClass::GenericPassword);
}

TEST_F(KOVKeychainTest, BaseQueryNamesTheFamilyAndTheInteractionRules)
{
    KOVKeychain generic(QStringLiteral("svc"), QStringLiteral("group"));
    ItemAttributes query = generic.query();
    EXPECT_EQ(query.itemClass, platform::ItemClass::GenericPassword);
    EXPECT_EQ(query.synchronizable, platform::Synchronizable::Any);
    EXPECT_EQ(query.service, QStringLiteral("svc"));
    EXPECT_EQ(query.accessGroup, QStringLiteral("group"));
    EXPECT_FALSE(query.server);
    EXPECT_FALSE(query.noInteraction);
    generic.setUseAuthenticationUI(false);
    generic.setAuthenticationPrompt(QStringLiteral("Why"));
    query = generic.query();
    EXPECT_TRUE(query.noInteraction);
    EXPECT_EQ(query.operationPrompt, QStringLiteral("Why"));

    query = KOVKeychain(QUrl(QStringLiteral("https://bank.example:8443/p")), KOVKeychainProtocolTypeHTTPS).query();
    EXPECT_EQ(query.itemClass, platform::ItemClass::InternetPassword);
    EXPECT_EQ(query.server, QStringLiteral("bank.example"));
    EXPECT_EQ(query.port, 8443);
    EXPECT_EQ(query.protocol, QStringLiteral("HTTPS"));
    EXPECT_EQ(query.authenticationType, QStringLiteral("Default"));
    EXPECT_FALSE(query.service);
    query = KOVKeychain(QUrl(), KOVKeychainProtocolType(99), KOVKeychainAuthenticationType(0)).query();
    EXPECT_FALSE(query.server || query.port || query.protocol || query.authenticationType);
}

TEST_F(KOVKeychainTest, SdkSecretIsAGenericItemOfTheDefaultServiceReadableAfterFirstUnlock)
{
    const QString tokenID = QStringLiteral("t1"), userID = QStringLiteral("u1");
    platform::Error error;
    EXPECT_TRUE(KOVKeychain::keychain()->setString(QStringLiteral("s3cret"), tokenID + userID, &error));
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(QStringLiteral("t1u1")), QStringLiteral("s3cret"));

    const QList<ItemAttributes> items = storedItems();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].account, QStringLiteral("t1u1"));
    EXPECT_EQ(items[0].service, QStringLiteral("com.kova.sdk"));
    EXPECT_FALSE(items[0].accessGroup);
    EXPECT_EQ(items[0].accessibility, platform::ItemAccessibility::AfterFirstUnlock);
    EXPECT_EQ(items[0].synchronizable, platform::Synchronizable::No);
    EXPECT_FALSE(items[0].accessControl);
    EXPECT_EQ(items[0].valueData, QByteArray("s3cret"));
}

TEST_F(KOVKeychainTest, ReadsWritesAndRemovals)
{
    const auto store = KOVKeychain::keychainWithService(QStringLiteral("svc"));
    platform::Error error;
    // Missing items read as null with no error.
    EXPECT_TRUE(store->stringForKey(QStringLiteral("k"), &error).isNull());
    EXPECT_TRUE(store->dataForKey(QStringLiteral("k"), &error).isNull());
    EXPECT_FALSE(store->contains(QStringLiteral("k")));
    EXPECT_EQ(error.code, 0);
    EXPECT_TRUE(error.domain.isEmpty());

    struct Step {
        const char *name;
        std::function<bool()> write;
        QString expected; // null: no item
    };
    const Step steps[] = {
        {"add", [&] { return store->setString(QStringLiteral("one"), QStringLiteral("k"), &error); }, QStringLiteral("one")},
        {"update", [&] { return store->setString(QStringLiteral("two"), QStringLiteral("k"), &error); }, QStringLiteral("two")},
        {"empty text is a value", [&] { return store->setString(QStringLiteral(""), QStringLiteral("k"), &error); },
         QStringLiteral("")},
        {"null text removes", [&] { return store->setString(QString(), QStringLiteral("k"), &error); }, QString()},
        {"removing nothing succeeds", [&] { return store->removeItemForKey(QStringLiteral("k"), &error); }, QString()},
        {"data", [&] { return store->setData(QByteArray("\xe2\x82\xac"), QStringLiteral("k"), &error); },
         QStringLiteral("\u20ac")},
        {"null data removes", [&] { return store->setData(QByteArray(), QStringLiteral("k"), &error); }, QString()},
        {"subscript write", [&] { store->setObject(QStringLiteral("three"), QStringLiteral("k")); return true; },
         QStringLiteral("three")},
        {"subscript null removes", [&] { store->setObject(QString(), QStringLiteral("k")); return true; }, QString()},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        EXPECT_TRUE(step.write());
        EXPECT_EQ(error.code, 0);
        const QString read = store->stringForKey(QStringLiteral("k"));
        EXPECT_EQ(read.isNull(), step.expected.isNull());
        EXPECT_EQ(read, step.expected);
        EXPECT_EQ(store->objectForKeyedSubscript(QStringLiteral("k")), step.expected);
        EXPECT_EQ(store->contains(QStringLiteral("k")), !step.expected.isNull());
        EXPECT_EQ(storedItems().size(), step.expected.isNull() ? 0 : 1);
    }
    ASSERT_TRUE(store->setData(QByteArray(""), QStringLiteral("empty")));
    EXPECT_FALSE(store->dataForKey(QStringLiteral("empty")).isNull());
    EXPECT_TRUE(store->dataForKey(QStringLiteral("empty")).isEmpty());
}

TEST_F(KOVKeychainTest, WritingAnExistingKeyReplacesItsValueAndSettingsInPlace)
{
    KOVKeychain store(QStringLiteral("svc"));
    ASSERT_TRUE(store.setString(QStringLiteral("v1"), QStringLiteral("k"), QByteArray("gen1"), QStringLiteral("label1"),
                                QStringLiteral("comment1")));
    store.setAccessibility(KOVKeychainAccessibilityWhenUnlockedThisDeviceOnly);
    store.setSynchronizable(true);
    ASSERT_TRUE(store.setString(QStringLiteral("v2"), QStringLiteral("k"), QStringLiteral("label2"), QStringLiteral("comment2")));

    QList<ItemAttributes> items = storedItems();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].account, QStringLiteral("k"));
    EXPECT_EQ(items[0].valueData, QByteArray("v2"));
    EXPECT_EQ(items[0].accessibility, platform::ItemAccessibility::WhenUnlockedThisDeviceOnly);
    EXPECT_EQ(items[0].synchronizable, platform::Synchronizable::Yes);
    EXPECT_EQ(items[0].label, QStringLiteral("label2"));
    EXPECT_EQ(items[0].comment, QStringLiteral("comment2"));
    EXPECT_EQ(items[0].generic, QByteArray("gen1")); // not given this time, so kept

    // The synchronised item is still this store's: queries match either kind.
    EXPECT_EQ(store.stringForKey(QStringLiteral("k")), QStringLiteral("v2"));
    ASSERT_TRUE(store.setData(QByteArray("v3"), QStringLiteral("k"), QByteArray("gen3")));
    items = storedItems();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].generic, QByteArray("gen3"));
    EXPECT_EQ(items[0].valueData, QByteArray("v3"));
}

TEST_F(KOVKeychainTest, ItemNeedingAuthenticationCountsAsExistingAndIsUpdated)
{
    // Written with a presence policy, then found through "interaction not
    // allowed": contains is YES and a write takes the update road, which
    // succeeds only when the user may be asked and confirms.
    struct Case {
        const char *name;
        bool useAuthenticationUI;
        std::optional<bool> presence;
        bool written;
        qint64 code;
        QString valueAfter;
    };
    const Case cases[] = {
        {"no authentication UI", false, true, false, -25308, QStringLiteral("first")},
        {"user confirms", true, true, true, 0, QStringLiteral("second")},
        {"user declines", true, false, false, -25293, QStringLiteral("first")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::resetDataDirectory();
        KOVKeychain store(QStringLiteral("svc"));
        store.setAccessibility(KOVKeychainAccessibilityWhenUnlocked, platform::AccessControl::UserPresence);
        store.setAuthenticationPrompt(QStringLiteral("Confirm it is you"));
        ASSERT_TRUE(store.setString(QStringLiteral("first"), QStringLiteral("k")));
        QList<ItemAttributes> added;
        {
            test::PresenceCheckScope confirm([](const QString &) { return true; });
            added = storedItems();
        }
        ASSERT_EQ(added.size(), 1);
        ASSERT_TRUE(added[0].accessControl);
        EXPECT_EQ(added[0].accessControl->flags(), platform::AccessControl::UserPresence);
        EXPECT_EQ(added[0].accessibility, platform::ItemAccessibility::WhenUnlocked);

        store.setUseAuthenticationUI(c.useAuthenticationUI);
        EXPECT_TRUE(store.contains(QStringLiteral("k")));

        QStringList prompts;
        {
            test::PresenceCheckScope scope([&, answer = *c.presence](const QString &prompt) {
                prompts.append(prompt);
                return answer;
            });
            test::LogCapture log;
            platform::Error error;
            EXPECT_EQ(store.setString(QStringLiteral("second"), QStringLiteral("k"), &error), c.written);
            EXPECT_EQ(error.code, c.code);
            if (c.code != 0) {
                expectError(error, c.code, QStringLiteral("Security error has occurred."));
                EXPECT_TRUE(log.contains(QStringLiteral("OSStatus error: [%1] Security error has occurred.").arg(c.code)));
            }
        }
        EXPECT_EQ(prompts, c.useAuthenticationUI ? QStringList{QStringLiteral("Confirm it is you")} : QStringList());
        test::PresenceCheckScope confirm([](const QString &) { return true; });
        const QList<ItemAttributes> after = storedItems();
        ASSERT_EQ(after.size(), 1);
        EXPECT_EQ(after[0].valueData, c.valueAfter.toUtf8());
    }
}

TEST_F(KOVKeychainTest, NullKeyIsAnArgumentErrorEverywhereAndChangesNothing)
{
    ASSERT_TRUE(KOVKeychain::keychain()->setString(QStringLiteral("keep"), QStringLiteral("k")));
    const auto store = KOVKeychain::keychain();
    const QString null;
    struct Case {
        const char *name;
        std::function<bool(platform::Error *)> call; // true when the result says failure
    };
    const Case cases[] = {
        {"instance string write", [&](platform::Error *e) { return !store->setString(QStringLiteral("v"), null, e); }},
        {"instance data write", [&](platform::Error *e) { return !store->setData(QByteArray("v"), null, e); }},
        {"instance null data write", [&](platform::Error *e) { return !store->setData(QByteArray(), null, e); }},
        {"instance removal", [&](platform::Error *e) { return !store->removeItemForKey(null, e); }},
        {"instance string read", [&](platform::Error *e) { return store->stringForKey(null, e).isNull(); }},
        {"instance data read", [&](platform::Error *e) { return store->dataForKey(null, e).isNull(); }},
        {"class string read", [&](platform::Error *e) { return KOVKeychain::Class::stringForKey(null, e).isNull(); }},
        {"class data read", [&](platform::Error *e) { return KOVKeychain::Class::dataForKey(null, e).isNull(); }},
        {"class string write",
         [&](platform::Error *e) { return !KOVKeychain::Class::setString(QStringLiteral("v"), null, e); }},
        {"class null string write", [&](platform::Error *e) { return !KOVKeychain::Class::setString(null, null, e); }},
        {"class data write", [&](platform::Error *e) { return !KOVKeychain::Class::setData(QByteArray("v"), null, e); }},
        {"class removal", [&](platform::Error *e) { return !KOVKeychain::Class::removeItemForKey(null, QStringLiteral("s"), e); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::LogCapture log;
        platform::Error error;
        EXPECT_TRUE(c.call(&error));
        expectError(error, KOVKeychainErrorInvalidArguments, QStringLiteral("the key must not to be nil"));
        EXPECT_EQ(log.lines(), QStringList{QStringLiteral("error: [1] the key must not to be nil")});
        EXPECT_TRUE(c.call(nullptr)); // the same result with no out-parameter
    }
    EXPECT_FALSE(store->contains(null));
    const QList<ItemAttributes> items = storedItems();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].valueData, QByteArray("keep"));
}

TEST_F(KOVKeychainTest, ConversionFailuresAreReported)
{
    const auto store = KOVKeychain::keychain();
    ASSERT_TRUE(store->setData(QByteArray("\xff\xfe\x00", 3), QStringLiteral("binary")));
    test::LogCapture log;
    platform::Error error;
    EXPECT_TRUE(store->stringForKey(QStringLiteral("binary"), &error).isNull());
    expectError(error, -67594, QStringLiteral("failed to convert data to string"));
    EXPECT_TRUE(log.contains(QStringLiteral("error: [-67594] failed to convert data to string")));

    const QString loneSurrogate(QChar(0xd800));
    error = {};
    EXPECT_FALSE(store->setString(loneSurrogate, QStringLiteral("text"), &error));
    expectError(error, -67594, QStringLiteral("failed to convert string to data"));
    error = {};
    EXPECT_FALSE(KOVKeychain::Class::setString(loneSurrogate, QStringLiteral("text"), &error));
    EXPECT_EQ(error.code, -67594);
    EXPECT_FALSE(store->contains(QStringLiteral("text")));

    // A byte-order mark is part of the text, both ways.
    ASSERT_TRUE(store->setString(QStringLiteral("\ufeffbom"), QStringLiteral("bom")));
    EXPECT_EQ(store->dataForKey(QStringLiteral("bom")), QByteArray("\xef\xbb\xbf" "bom"));
    EXPECT_EQ(store->stringForKey(QStringLiteral("bom")), QStringLiteral("\ufeffbom"));
}

TEST_F(KOVKeychainTest, AccessControlThatCannotBeMadeFailsTheWrite)
{
    KOVKeychain store;
    store.setAccessibility(KOVKeychainAccessibilityWhenUnlocked, 1ull << 40);
    {
        test::LogCapture log;
        platform::Error error;
        EXPECT_FALSE(store.setString(QStringLiteral("v"), QStringLiteral("k"), &error));
        EXPECT_EQ(error.domain, platform::NSOSStatusErrorDomain); // the platform's own error, passed on
        EXPECT_EQ(error.code, -50);
        ASSERT_EQ(log.lines().size(), 2);
        EXPECT_EQ(log.lines()[0], QStringLiteral("error: [-50] ") + error.localizedDescription());
        EXPECT_EQ(log.lines()[1], QStringLiteral("error: [-50] Unexpected error has occurred."));
    }
    {
        test::LogCapture log;
        EXPECT_FALSE(store.setString(QStringLiteral("v"), QStringLiteral("k")));
        EXPECT_EQ(log.lines().mid(1), (QStringList{QStringLiteral("error: [-99999] Unexpected error has occurred."),
                                                   QStringLiteral("error: [-99999] Unexpected error has occurred.")}));
    }
    platform::Error error;
    EXPECT_FALSE(store.attributesWithKey(QStringLiteral("k"), QByteArray("v"), &error));
    EXPECT_EQ(error.code, -50);
    EXPECT_FALSE(store.contains(QStringLiteral("k")));
    // Out of range, the accessibility is left out and the policy unused.
    store.setAccessibility(KOVKeychainAccessibility(0), platform::AccessControl::UserPresence);
    const auto attributes = store.attributesWithKey(QStringLiteral("k"), QByteArray("v"), nullptr);
    ASSERT_TRUE(attributes);
    EXPECT_FALSE(attributes->accessibility || attributes->accessControl);
    EXPECT_EQ(attributes->synchronizable, platform::Synchronizable::No);
}

TEST_F(KOVKeychainTest, ServicesKeepTheirOwnItems)
{
    ASSERT_TRUE(KOVKeychain::Class::setString(QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("one")));
    ASSERT_TRUE(KOVKeychain::Class::setString(QStringLiteral("b"), QStringLiteral("k"), QStringLiteral("two")));
    ASSERT_TRUE(KOVKeychain::Class::setString(QStringLiteral("c"), QStringLiteral("k"), QByteArray("gen")));
    ASSERT_TRUE(KOVKeychain::Class::setString(QStringLiteral("d"), QStringLiteral("k"), QStringLiteral("two"),
                                              QStringLiteral("group")));
    EXPECT_EQ(KOVKeychain::Class::stringForKey(QStringLiteral("k"), QStringLiteral("one")), QStringLiteral("a"));
    EXPECT_EQ(KOVKeychain::Class::stringForKey(QStringLiteral("k"), QStringLiteral("two")), QStringLiteral("b"));
    EXPECT_EQ(KOVKeychain::Class::stringForKey(QStringLiteral("k"), QStringLiteral("two"), QStringLiteral("group")),
              QStringLiteral("d"));
    EXPECT_EQ(KOVKeychain::Class::stringForKey(QStringLiteral("k")), QStringLiteral("c"));
    EXPECT_EQ(KOVKeychain::keychain()->stringForKey(QStringLiteral("k")), QStringLiteral("c"));

    EXPECT_TRUE(KOVKeychain::keychainWithService(QStringLiteral("two"))->removeAllItems());
    EXPECT_TRUE(KOVKeychain::Class::stringForKey(QStringLiteral("k"), QStringLiteral("two")).isNull());
    EXPECT_EQ(KOVKeychain::Class::stringForKey(QStringLiteral("k"), QStringLiteral("one")), QStringLiteral("a"));
    EXPECT_TRUE(KOVKeychain::Class::removeAllItemsForService(QStringLiteral("one")));
    EXPECT_TRUE(KOVKeychain::Class::removeAllItemsForService(QStringLiteral("one"))); // nothing left is fine
    EXPECT_TRUE(KOVKeychain::Class::removeItemForKey(QStringLiteral("k")));
    EXPECT_TRUE(storedItems().isEmpty());
}

TEST_F(KOVKeychainTest, DescriptionsListReadableItems)
{
    KOVKeychain store(QStringLiteral("svc"));
    EXPECT_EQ(store.description(), QStringLiteral("()"));
    EXPECT_EQ(store.debugDescription(), QStringLiteral("(\n)"));
    ASSERT_TRUE(store.setString(QStringLiteral("v1"), QStringLiteral("k1")));
    ASSERT_TRUE(store.setData(QByteArray("\x01\xff", 2), QStringLiteral("k2")));

    const QString first = QStringLiteral("{\n    accessibility = AfterFirstUnlock;\n    class = GenericPassword;\n"
                                         "    key = k1;\n    service = svc;\n    synchronizable = 0;\n    value = v1;\n}");
    const QString second = QStringLiteral("{\n    accessibility = AfterFirstUnlock;\n    class = GenericPassword;\n"
                                          "    key = k2;\n    service = svc;\n    synchronizable = 0;\n    value = <01ff>;\n}");
    EXPECT_EQ(store.description(), QStringLiteral("(\n    ") + first + QStringLiteral("    ") + second + QStringLiteral(")"));
    EXPECT_EQ(store.allKeys(), (QStringList{QStringLiteral("k1"), QStringLiteral("k2")}));
    const QList<QVariantMap> all = store.allItems();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[1].value(QStringLiteral("value")), QVariant(QByteArray("\x01\xff", 2)));
    EXPECT_TRUE(store.debugDescription().startsWith(
        QStringLiteral("(\n    {\n        accessibility = AfterFirstUnlock;\n        account = k1;\n")));
}

TEST_F(KOVKeychainTest, ClassListingsSpanServicesAndServers)
{
    ASSERT_TRUE(KOVKeychain::Class::setString(QStringLiteral("a"), QStringLiteral("k1"), QStringLiteral("one")));
    ASSERT_TRUE(KOVKeychain::Class::setString(QStringLiteral("b"), QStringLiteral("k2")));
    KOVKeychain bank(QUrl(QStringLiteral("https://bank.example")), KOVKeychainProtocolTypeHTTPS);
    ASSERT_TRUE(bank.setString(QStringLiteral("pw"), QStringLiteral("me")));
    KOVKeychain hostless(QUrl(QStringLiteral("file:///nowhere")), KOVKeychainProtocolTypeFTP);
    ASSERT_TRUE(hostless.setString(QStringLiteral("pw2"), QStringLiteral("anon")));

    const auto genericKeys = KOVKeychain::allKeysWithItemClass(KOVKeychainItemClassGenericPassword);
    ASSERT_TRUE(genericKeys);
    EXPECT_EQ(*genericKeys, (QList<QVariantMap>{
                                {{"service", QStringLiteral("one")}, {"key", QStringLiteral("k1")}},
                                {{"service", QStringLiteral("com.kova.sdk")}, {"key", QStringLiteral("k2")}},
                            }));
    EXPECT_EQ(KOVKeychain::allKeysWithItemClass(KOVKeychainItemClass(7)), genericKeys);
    const auto internetKeys = KOVKeychain::allKeysWithItemClass(KOVKeychainItemClassInternetPassword);
    ASSERT_TRUE(internetKeys);
    EXPECT_EQ(*internetKeys, (QList<QVariantMap>{
                                 {{"server", QStringLiteral("bank.example")}, {"key", QStringLiteral("me")}},
                                 {{"server", QStringLiteral("")}, {"key", QStringLiteral("anon")}},
                             }));

    const auto internetItems = KOVKeychain::allItemsWithItemClass(KOVKeychainItemClassInternetPassword);
    ASSERT_TRUE(internetItems && internetItems->size() == 2);
    EXPECT_EQ(internetItems->at(0), (QVariantMap{{"class", QStringLiteral("InternetPassword")},
                                                 {"server", QStringLiteral("bank.example")},
                                                 {"protocol", QStringLiteral("HTTPS")},
                                                 {"authenticationType", QStringLiteral("Default")},
                                                 {"key", QStringLiteral("me")},
                                                 {"value", QStringLiteral("pw")},
                                                 {"accessibility", QStringLiteral("AfterFirstUnlock")},
                                                 {"synchronizable", false}}));
    EXPECT_EQ(bank.allKeys(), QStringList{QStringLiteral("me")});
    EXPECT_EQ(KOVKeychain::allItemsWithItemClass(KOVKeychainItemClassGenericPassword)->size(), 2);
}

TEST_F(KOVKeychainTest, PolicyAndSynchronisationWarnButBothStay)
{
    KOVKeychain store;
    test::LogCapture log;
    store.setAccessibility(KOVKeychainAccessibilityWhenUnlocked, platform::AccessControl::UserPresence);
    EXPECT_TRUE(log.lines().isEmpty());
    store.setSynchronizable(true);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("Cannot specify both an authenticationPolicy and a synchronizable")});
    store.setAccessibility(KOVKeychainAccessibilityAlways, platform::AccessControl::DevicePasscode);
    EXPECT_EQ(log.lines().size(), 2);
    EXPECT_TRUE(store.synchronizable());
    EXPECT_EQ(store.authenticationPolicy(), platform::AccessControl::DevicePasscode);
    EXPECT_EQ(store.accessibility(), KOVKeychainAccessibilityAlways);

    // The platform refuses a policy on a synchronised item.
    platform::Error error;
    EXPECT_FALSE(store.setString(QStringLiteral("v"), QStringLiteral("k"), &error));
    EXPECT_EQ(error.code, -50);
    EXPECT_EQ(error.domain, KOVKeychainErrorDomain);
}

TEST_F(KOVKeychainTest, SharedPasswordsNeedAServerAndAreUnavailableHere)
{
    const auto generic = KOVKeychain::keychain();
    const QString serverMessage = QStringLiteral(
        "the server property must not to be nil, should use 'keychainWithServer:protocolType:' initializer to "
        "instantiate keychain store");
    int calls = 0;
    generic->sharedPasswordWithCompletion([&](QString account, QString password, std::optional<platform::Error> error) {
        ++calls;
        EXPECT_TRUE(account.isNull() && password.isNull());
        ASSERT_TRUE(error);
        expectError(*error, 1, serverMessage);
    });
    generic->sharedPasswordForAccount(QStringLiteral("me"), [&](QString password, std::optional<platform::Error> error) {
        ++calls;
        EXPECT_TRUE(password.isNull());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, 1);
    });
    generic->setSharedPassword(QStringLiteral("pw"), QStringLiteral("me"), [&](std::optional<platform::Error> error) {
        ++calls;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, 1);
    });
    generic->removeSharedPasswordForAccount(QStringLiteral("me"), [&](std::optional<platform::Error> error) {
        ++calls;
        EXPECT_EQ(error.value_or(platform::Error()).code, 1);
    });
    EXPECT_EQ(calls, 4); // at once, on the caller's thread

    const auto bank = KOVKeychain::keychainWithServer(QUrl(QStringLiteral("https://bank.example")),
                                                      KOVKeychainProtocolTypeHTTPS);
    test::LogCapture log;
    std::optional<platform::Error> passwordError, setError;
    QList<QVariantMap> credentials = {QVariantMap{}};
    bool answered = false, requested = false;
    bank->sharedPasswordWithCompletion([&](QString account, QString password, std::optional<platform::Error> error) {
        EXPECT_TRUE(account.isNull() && password.isNull());
        passwordError = error;
        answered = true;
    });
    bank->setSharedPassword(QStringLiteral("pw"), QStringLiteral("me"), [&](std::optional<platform::Error> error) {
        setError = error;
    });
    KOVKeychain::requestSharedWebCredentialWithCompletion([&](QList<QVariantMap> found, std::optional<platform::Error>) {
        credentials = found;
        requested = true;
    });
    EXPECT_FALSE(answered);
    ASSERT_TRUE(test::waitUntil([&] { return answered && setError && requested; }));
    EXPECT_EQ(passwordError.value_or(platform::Error()).code, -4);
    EXPECT_EQ(setError->code, -4);
    EXPECT_EQ(setError->domain, platform::NSOSStatusErrorDomain);
    EXPECT_TRUE(credentials.isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("error: [-4] ") + setError->localizedDescription()));
    EXPECT_EQ(KOVKeychain::generatePassword().size(), 15);
}

// Two imports of one login write its secret at once: each set finds the key
// missing or there inside its own write, never one after the other's check.
TEST_F(KOVKeychainTest, WritersOfOneKeyAtOnceAllSucceedAndOneValueStays)
{
    constexpr int kWriters = 4;
    constexpr int kKeys = 12;
    std::barrier start(kWriters);
    std::vector<std::thread> writers;
    std::vector<QStringList> failures(kWriters);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            const auto keychain = KOVKeychain::keychain();
            for (int k = 0; k < kKeys; ++k) {
                start.arrive_and_wait();
                platform::Error error;
                if (!keychain->setString(QStringLiteral("value %1").arg(w), QStringLiteral("key-%1").arg(k), &error))
                    failures[w].append(QStringLiteral("key-%1: %2").arg(k).arg(error.code));
            }
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    for (int w = 0; w < kWriters; ++w)
        EXPECT_TRUE(failures[w].isEmpty()) << w << ": " << failures[w].join(", ").toStdString();
    const QList<ItemAttributes> items = storedItems();
    EXPECT_EQ(items.size(), kKeys) << "one item per key";
    for (int k = 0; k < kKeys; ++k)
        EXPECT_TRUE(KOVKeychain::keychain()->stringForKey(QStringLiteral("key-%1").arg(k)).startsWith("value "));
}

TEST_F(KOVKeychainTest, DamagedVaultReadsAsEmptyAndTheStoreWorksAgain)
{
    const auto store = KOVKeychain::keychain();
    ASSERT_TRUE(store->setString(QStringLiteral("s3cret"), QStringLiteral("t1u1")));
    const QString path = platform::Vault::defaultPath();
    QByteArray bytes = test::fileBytes(path);
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x20);
    ASSERT_TRUE(QFile::remove(path)); // a new file, as another process would leave it
    ASSERT_TRUE(test::writeFileBytes(path, bytes));
    test::waitOutRecentReads();

    // The secret that was in it is missing (no error), as for a connection
    // whose secret is gone; the damaged file is kept aside.
    platform::Error error;
    EXPECT_TRUE(store->stringForKey(QStringLiteral("t1u1"), &error).isNull());
    EXPECT_TRUE(error.domain.isEmpty());
    const QFileInfo vaultInfo(path);
    const QStringList aside =
        vaultInfo.dir().entryList({vaultInfo.fileName() + QStringLiteral(".damaged-*")}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::fileBytes(vaultInfo.dir().filePath(aside[0])), bytes);

    EXPECT_TRUE(store->setString(QStringLiteral("new"), QStringLiteral("t2u2"), &error));
    EXPECT_EQ(store->stringForKey(QStringLiteral("t2u2")), QStringLiteral("new"));
    EXPECT_EQ(store->allKeys(), QStringList{QStringLiteral("t2u2")});
}

TEST_F(KOVKeychainTest, HostTranslatesMessagesThroughItsMainBundle)
{
    const QString dir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zz-KOVTEST.lproj"));
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(test::writeFileBytes(dir + QStringLiteral("/Localizable.json"),
                                     "{\"the key must not to be nil\": \"la clef manque\"}"));
    platform::Bundle::setPreferredLanguages({QStringLiteral("zz-KOVTEST")});
    platform::Error missingKey, conversion;
    KOVKeychain::Class::stringForKey(QString(), &missingKey);
    KOVKeychain::keychain()->setString(QString(QChar(0xdc00)), QStringLiteral("k"), &conversion);
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
    QDir(dir).removeRecursively();
    EXPECT_EQ(missingKey.localizedDescription(), QStringLiteral("la clef manque"));
    EXPECT_EQ(conversion.localizedDescription(), QStringLiteral("failed to convert string to data"));
}

} // namespace
