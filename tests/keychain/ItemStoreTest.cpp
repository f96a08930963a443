#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/dispatch/MainQueue.h"
#include "platform/keychain/AccessControl.h"
#include "platform/keychain/ItemStore.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/SharedWebCredentials.h"
#include "tests/keychain/KeychainTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using namespace kova::platform;
namespace Status = KeychainStatus;

namespace {

class ItemStoreTest : public ::testing::Test {
protected:
    ItemStoreTest() : m_store(std::make_shared<Vault>(m_dir.filePath(QStringLiteral("store.vault")))) {}

    qint32 add(ItemAttributes item, const QByteArray &value = "v")
    {
        item.valueData = value;
        return m_store.add(item);
    }

    QList<ItemAttributes> find(ItemAttributes query, qint32 *status)
    {
        QList<ItemAttributes> result;
        *status = m_store.copyMatching(query, &result);
        return result;
    }

    static ItemAttributes internetItem(const QString &server, const QString &account)
    {
        ItemAttributes item;
        item.itemClass = ItemClass::InternetPassword;
        item.server = server;
        item.account = account;
        item.protocol = QStringLiteral("HTTPS");
        item.authenticationType = QStringLiteral("Default");
        return item;
    }

    static std::shared_ptr<const AccessControl> presencePolicy()
    {
        return AccessControl::create(ItemAccessibility::AfterFirstUnlock, AccessControl::UserPresence, nullptr);
    }

    QTemporaryDir m_dir;
    ItemStore m_store;
};

TEST_F(ItemStoreTest, BadParametersAreRefused)
{
    struct Case {
        const char *name;
        std::function<qint32(ItemStore &)> call;
    };
    const auto generic = test::genericItem(QStringLiteral("svc"), QStringLiteral("acct"));
    const Case cases[] = {
        {"add without class", [&](ItemStore &s) { ItemAttributes a = generic; a.itemClass.reset(); return s.add(a); }},
        {"server on a generic item", [&](ItemStore &s) { ItemAttributes a = generic; a.server = "h"; return s.add(a); }},
        {"service on an internet item",
         [&](ItemStore &s) { ItemAttributes a = internetItem("h", "a"); a.service = "svc"; return s.add(a); }},
        {"add with either synchronised state",
         [&](ItemStore &s) { ItemAttributes a = generic; a.synchronizable = Synchronizable::Any; return s.add(a); }},
        {"unknown accessibility", [&](ItemStore &s) { ItemAttributes a = generic; a.accessibility = "Never"; return s.add(a); }},
        {"unknown protocol",
         [&](ItemStore &s) { ItemAttributes a = internetItem("h", "a"); a.protocol = "gopher"; return s.add(a); }},
        {"policy on a synchronised item",
         [&](ItemStore &s) {
             ItemAttributes a = generic;
             a.accessControl = presencePolicy();
             a.synchronizable = Synchronizable::Yes;
             return s.add(a);
         }},
        {"query by value",
         [&](ItemStore &s) { ItemAttributes q = generic; q.valueData = "v"; return s.copyMatching(q); }},
        {"query without class", [&](ItemStore &s) { ItemAttributes q = generic; q.itemClass.reset(); return s.remove(q); }},
        {"update that changes the class",
         [&](ItemStore &s) { ItemAttributes c; c.itemClass = ItemClass::InternetPassword; return s.update(generic, c); }},
        {"update that changes nothing", [&](ItemStore &s) { return s.update(generic, ItemAttributes()); }},
    };
    ASSERT_EQ(add(generic), Status::Success);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(m_store), Status::Param);
    }
    qint32 status = 0;
    ItemAttributes query = generic;
    query.returnData = true;
    EXPECT_EQ(find(query, &status).first().valueData, QByteArray("v"));
}

TEST_F(ItemStoreTest, IdentityDecidesDuplicatesAndMatching)
{
    const auto item = test::genericItem(QStringLiteral("svc"), QStringLiteral("acct"));
    ASSERT_EQ(add(item), Status::Success);
    EXPECT_EQ(add(item), Status::DuplicateItem);
    ItemAttributes labelled = item;
    labelled.label = QStringLiteral("another label is no other item");
    EXPECT_EQ(add(labelled), Status::DuplicateItem);

    struct Case {
        const char *name;
        ItemAttributes other;
    };
    ItemAttributes otherService = test::genericItem(QStringLiteral("svc2"), QStringLiteral("acct"));
    ItemAttributes otherGroup = item;
    otherGroup.accessGroup = QStringLiteral("group");
    ItemAttributes synced = item;
    synced.synchronizable = Synchronizable::Yes;
    ItemAttributes otherPort = internetItem(QStringLiteral("host"), QStringLiteral("acct"));
    otherPort.port = 8443;
    for (const Case &c : {Case{"service", otherService}, Case{"access group", otherGroup},
                          Case{"synchronised flag", synced}, Case{"internet item", internetItem("host", "acct")},
                          Case{"port", otherPort}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(add(c.other, c.name), Status::Success);
    }

    // A query without a synchronised entry sees local items only.
    qint32 status = 0;
    ItemAttributes query = item;
    query.matchLimit = MatchLimit::All;
    query.returnAttributes = true;
    EXPECT_EQ(find(query, &status).size(), 2); // with and without an access group
    query.synchronizable = Synchronizable::Any;
    EXPECT_EQ(find(query, &status).size(), 3);
    query.synchronizable = Synchronizable::Yes;
    const QList<ItemAttributes> syncedOnly = find(query, &status);
    ASSERT_EQ(syncedOnly.size(), 1);
    EXPECT_EQ(syncedOnly.first().synchronizable, Synchronizable::Yes);

    // MatchLimit::One (the default) answers the first in order of adding.
    ItemAttributes byAccount;
    byAccount.itemClass = ItemClass::GenericPassword;
    byAccount.account = QStringLiteral("acct");
    byAccount.returnAttributes = true;
    const QList<ItemAttributes> first = find(byAccount, &status);
    ASSERT_EQ(status, Status::Success);
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(first.first().service, QStringLiteral("svc"));
    EXPECT_FALSE(first.first().accessGroup);
}

TEST_F(ItemStoreTest, StoredAttributesHaveDefaultsAndUpdatesReplaceThem)
{
    ItemAttributes item = test::genericItem(QStringLiteral("svc"), QStringLiteral("acct"));
    item.label = QStringLiteral("label");
    ASSERT_EQ(add(item, "old"), Status::Success);

    ItemAttributes query = item;
    query.label.reset();
    query.returnAttributes = true;
    query.returnData = true;
    qint32 status = 0;
    ItemAttributes stored = find(query, &status).value(0);
    EXPECT_EQ(stored.accessibility, ItemAccessibility::WhenUnlocked);
    EXPECT_EQ(stored.synchronizable, Synchronizable::No);
    EXPECT_EQ(stored.label, QStringLiteral("label"));
    EXPECT_EQ(stored.valueData, QByteArray("old"));

    ItemAttributes changes;
    changes.valueData = QByteArray("new");
    changes.accessibility = ItemAccessibility::Always;
    changes.comment = QStringLiteral("comment");
    ASSERT_EQ(m_store.update(query, changes), Status::Success);
    stored = find(query, &status).value(0);
    EXPECT_EQ(stored.valueData, QByteArray("new"));
    EXPECT_EQ(stored.accessibility, ItemAccessibility::Always);
    EXPECT_EQ(stored.label, QStringLiteral("label"));
    EXPECT_EQ(stored.comment, QStringLiteral("comment"));

    // Renaming onto another item's identity is a duplicate and changes nothing.
    ASSERT_EQ(add(test::genericItem(QStringLiteral("svc"), QStringLiteral("other"))), Status::Success);
    ItemAttributes rename;
    rename.account = QStringLiteral("other");
    EXPECT_EQ(m_store.update(query, rename), Status::DuplicateItem);
    EXPECT_EQ(find(query, &status).value(0).valueData, QByteArray("new"));
    // A rename to a free account keeps the value, now bound to the new identity.
    rename.account = QStringLiteral("renamed");
    EXPECT_EQ(m_store.update(query, rename), Status::Success);
    ItemAttributes renamed = query;
    renamed.account = QStringLiteral("renamed");
    EXPECT_EQ(find(renamed, &status).value(0).valueData, QByteArray("new"));
    EXPECT_EQ(find(query, &status).size(), 0);
    EXPECT_EQ(status, Status::ItemNotFound);
    EXPECT_EQ(m_store.update(query, rename), Status::ItemNotFound);
    EXPECT_EQ(m_store.remove(query), Status::ItemNotFound);
}

TEST_F(ItemStoreTest, ProtectedItemsNeedPresenceUnlessInteractionIsForbidden)
{
    ItemAttributes item = test::genericItem(QStringLiteral("svc"), QStringLiteral("guarded"));
    item.accessControl = presencePolicy();
    ASSERT_EQ(add(item, "secret"), Status::Success);

    ItemAttributes exists = test::genericItem(QStringLiteral("svc"), QStringLiteral("guarded"));
    ItemAttributes read = exists;
    read.returnData = true;
    read.operationPrompt = QStringLiteral("Unlock your secret");
    ItemAttributes quiet = read;
    quiet.noInteraction = true;
    ItemAttributes quietExists = exists;
    quietExists.noInteraction = true;
    ItemAttributes changes;
    changes.valueData = QByteArray("changed");

    QStringList prompts;
    QByteArray value;
    struct Case {
        const char *name;
        std::optional<bool> presence; // no check installed when empty
        std::function<qint32()> call;
        qint32 status;
        QStringList prompts;
    };
    const QStringList none;
    const QStringList unlock = {QStringLiteral("Unlock your secret")};
    const Case cases[] = {
        {"existence needs no one", std::nullopt, [&] { return m_store.copyMatching(exists); }, Status::Success, none},
        {"existence without interaction", std::nullopt, [&] { return m_store.copyMatching(quietExists); },
         Status::InteractionNotAllowed, none},
        {"read without interaction", true, [&] { return m_store.copyMatching(quiet); }, Status::InteractionNotAllowed,
         none},
        {"read with no check installed", std::nullopt, [&] { return m_store.copyMatching(read); }, Status::AuthFailed,
         none},
        {"read the user declines", false, [&] { return m_store.copyMatching(read); }, Status::AuthFailed, unlock},
        {"read the user confirms", true, [&] { return m_store.copyMatching(read); }, Status::Success, unlock},
        {"value without interaction", true, [&] { return m_store.copyValue(quiet, &value); },
         Status::InteractionNotAllowed, none},
        {"value with no check installed", std::nullopt, [&] { return m_store.copyValue(exists, &value); },
         Status::AuthFailed, none},
        {"value the user declines", false, [&] { return m_store.copyValue(read, &value); }, Status::AuthFailed, unlock},
        {"value the user confirms", true, [&] { return m_store.copyValue(read, &value); }, Status::Success, unlock},
        {"update without interaction", true, [&] { return m_store.update(quietExists, changes); },
         Status::InteractionNotAllowed, none},
        {"update the user declines", false, [&] { return m_store.update(exists, changes); }, Status::AuthFailed,
         {QString()}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        prompts.clear();
        std::optional<test::PresenceCheckScope> scope;
        if (c.presence)
            scope.emplace([&, answer = *c.presence](const QString &prompt) {
                prompts.append(prompt);
                return answer;
            });
        EXPECT_EQ(c.call(), c.status);
        EXPECT_EQ(prompts, c.prompts);
    }

    EXPECT_EQ(value, QByteArray("secret")) << "only the confirmed read handed the value out";
    test::PresenceCheckScope confirm([](const QString &) { return true; });
    ASSERT_EQ(m_store.update(exists, changes), Status::Success);
    qint32 status = 0;
    EXPECT_EQ(find(read, &status).value(0).valueData, QByteArray("changed"));
    // Deleting needs no presence.
    platform::ItemStore::setPresenceCheck({});
    EXPECT_EQ(m_store.remove(quietExists), Status::Success);
    EXPECT_EQ(m_store.copyMatching(exists), Status::ItemNotFound);
}

TEST(AccessControl, UnknownAccessibilityOrFlagsFailWithThePlatformsParameterError)
{
    Error error;
    EXPECT_EQ(AccessControl::create(QStringLiteral("Sometimes"), AccessControl::UserPresence, &error), nullptr);
    EXPECT_EQ(error.domain, NSOSStatusErrorDomain);
    EXPECT_EQ(error.code, -50);
    error = Error();
    EXPECT_EQ(AccessControl::create(ItemAccessibility::WhenUnlocked, 1ull << 40, &error), nullptr);
    EXPECT_EQ(error.code, -50);
    const auto control = AccessControl::create(ItemAccessibility::WhenUnlocked, AccessControl::Or, &error);
    ASSERT_NE(control, nullptr);
    EXPECT_FALSE(control->requiresUserPresence());
    EXPECT_TRUE(AccessControl(ItemAccessibility::WhenUnlocked, AccessControl::BiometryAny).requiresUserPresence());
}

TEST(SharedWebCredentials, CompleteLaterOnTheMainQueueAsUnimplemented)
{
    std::optional<Error> requestError, addError;
    bool requested = false, added = false;
    SharedWebCredentials::request(QStringLiteral("example.com"), QString(), [&](QList<QVariantMap> credentials,
                                                                                 std::optional<Error> error) {
        EXPECT_TRUE(credentials.isEmpty());
        EXPECT_TRUE(MainQueue::isMainThread());
        requestError = error;
        requested = true;
    });
    SharedWebCredentials::add(QStringLiteral("example.com"), QStringLiteral("me"), QStringLiteral("pw"),
                              [&](std::optional<Error> error) {
                                  addError = error;
                                  added = true;
                              });
    EXPECT_FALSE(requested);
    ASSERT_TRUE(test::waitUntil([&] { return requested && added; }));
    ASSERT_TRUE(requestError && addError);
    EXPECT_EQ(requestError->domain, NSOSStatusErrorDomain);
    EXPECT_EQ(requestError->code, -4);
    EXPECT_EQ(addError->code, -4);
}

TEST(SharedWebCredentials, GeneratedPasswordsAreFourGroupsOfThree)
{
    const QRegularExpression shape(QStringLiteral("^[a-zA-Z2-9]{3}-[a-zA-Z2-9]{3}-[a-zA-Z2-9]{3}-[a-zA-Z2-9]{3}$"));
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const QString password = SharedWebCredentials::createPassword();
        EXPECT_TRUE(shape.match(password).hasMatch()) << password.toStdString();
        EXPECT_TRUE(password.contains(QRegularExpression(QStringLiteral("[A-Z]"))));
        EXPECT_TRUE(password.contains(QRegularExpression(QStringLiteral("[a-z]"))));
        EXPECT_TRUE(password.contains(QRegularExpression(QStringLiteral("[0-9]"))));
        seen.insert(password);
    }
    EXPECT_EQ(seen.size(), 50);
}

} // namespace

TEST_F(ItemStoreTest, ValueLookupGivesTheFirstMatchsValueOnly)
{
    ASSERT_EQ(add(test::genericItem(QStringLiteral("svc"), QStringLiteral("acct")), "first"), Status::Success);
    ASSERT_EQ(add(test::genericItem(QStringLiteral("other"), QStringLiteral("acct")), "second"), Status::Success);
    ASSERT_EQ(add(test::genericItem(QStringLiteral("svc"), QStringLiteral("empty")), ""), Status::Success);
    QByteArray value;
    EXPECT_EQ(m_store.copyValue(test::genericItem(QStringLiteral("other"), QStringLiteral("acct")), &value), Status::Success);
    EXPECT_EQ(value, QByteArray("second"));
    ItemAttributes anyService;
    anyService.itemClass = ItemClass::GenericPassword;
    anyService.account = QStringLiteral("acct");
    EXPECT_EQ(m_store.copyValue(anyService, &value), Status::Success);
    EXPECT_EQ(value, QByteArray("first")) << "the first stored match";
    EXPECT_EQ(m_store.copyValue(test::genericItem(QStringLiteral("svc"), QStringLiteral("empty")), &value), Status::Success);
    EXPECT_TRUE(value.isEmpty());
    value = "untouched";
    EXPECT_EQ(m_store.copyValue(test::genericItem(QStringLiteral("svc"), QStringLiteral("none")), &value),
              Status::ItemNotFound);
    EXPECT_EQ(value, QByteArray("untouched"));
    ItemAttributes byValue = test::genericItem(QStringLiteral("svc"), QStringLiteral("acct"));
    byValue.valueData = QByteArray("first");
    EXPECT_EQ(m_store.copyValue(byValue, &value), Status::Param);
}
