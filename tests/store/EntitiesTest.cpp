#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/KOVAppConfigsModel.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVCard.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVBankCard.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVDataModel.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVStoreSave.h"
#include "core/store/KOVSubaccount.h"
#include "platform/foundation/Json.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using platform::FetchRequest;
using Term = platform::FetchRequest::Term;
using Sort = platform::SortDescriptor;

namespace {

QDateTime at(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

class Entities : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("KovaConnect.sqlite");
        m_container = std::make_unique<platform::PersistentContainer>("KovaConnect", loadKovaConnectModel());
        m_container->setStoreFile(m_file);
        ASSERT_TRUE(m_container->loadPersistentStores());
    }

    platform::ManagedObjectContext &context() { return m_container->viewContext(); }

    void reopen() { ASSERT_TRUE(m_container->loadPersistentStores()); }

    std::shared_ptr<KOVConnection> connection(const QString &userID, const QString &clientUserID, qint64 created = 0)
    {
        auto c = context().insertNewObject<KOVConnection>();
        c->setUserID(userID);
        c->setClientUserID(clientUserID);
        if (created)
            c->setCreatedAt(at(created));
        return c;
    }

    std::shared_ptr<KOVSubaccount> subaccount(const std::shared_ptr<KOVConnection> &owner, const QString &accountID,
                                              bool stillFetching = false, qint64 created = 0)
    {
        auto s = context().insertNewObject<KOVSubaccount>();
        s->setAccountId(accountID);
        s->setIsStillFetching(stillFetching);
        if (created)
            s->setCreatedAt(at(created));
        owner->addSubaccountsObject(s);
        return s;
    }

    template <class T>
    QList<std::shared_ptr<T>> fetch(const FetchRequest &request)
    {
        platform::Error error;
        error.code = -1;
        auto result = context().fetch<T>(request, &error);
        EXPECT_EQ(error.code, -1) << error.localizedDescription().toStdString();
        return result;
    }

    static QStringList userIDs(const QList<std::shared_ptr<KOVConnection>> &list)
    {
        QStringList ids;
        for (const auto &c : list)
            ids.append(c->userID() + "/" + c->clientUserID());
        return ids;
    }

    static QStringList accountIDs(const QList<std::shared_ptr<KOVSubaccount>> &list)
    {
        QStringList ids;
        for (const auto &s : list)
            ids.append(s->accountId());
        return ids;
    }

    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<platform::PersistentContainer> m_container;
};

} // namespace

TEST_F(Entities, TheModelResourceMatchesTheClasses)
{
    const auto model = m_container->managedObjectModel();
    EXPECT_EQ(model->name(), "KovaConnect");
    EXPECT_EQ(model->version(), 1);
    EXPECT_TRUE(model->entity("KOVSignature")->isAbstract());
    EXPECT_EQ(context().insertNewObject("KOVSignature"), nullptr);
    EXPECT_EQ(model->entity("KOVSignature")->concreteEntities().size(), 6u);

    EXPECT_NE(context().insertNewObject<KOVConnection>(), nullptr);
    EXPECT_NE(context().insertNewObject<KOVBankInfo>(), nullptr);
    EXPECT_NE(context().insertNewObject<KOVFinancialInstitutionColorScheme>(), nullptr);
    EXPECT_NE(context().insertNewObject<KOVSubaccount>(), nullptr);
    EXPECT_NE(context().insertNewObject<KOVBankCard>(), nullptr);
    EXPECT_NE(context().insertNewObject<KOVAppConfigs>(), nullptr);
    for (const auto &object : context().insertedObjects())
        EXPECT_NE(std::dynamic_pointer_cast<KOVSignature>(object), nullptr) << object->entity()->name().toStdString();
}

TEST_F(Entities, EveryAttributeAndRelationshipSurvivesAReopen)
{
    auto c = connection("u1", "client", 100);
    c->setAccessCode("access");
    c->setConnectionID("conn");
    c->setTokenID("token");
    c->setIsValid(false);
    auto info = context().insertNewObject<KOVBankInfo>();
    info->setBankID("BANK");
    info->setBankName("Bank");
    info->setSwiftCode("SWIFT");
    info->setCountryName("UAE");
    info->setBeneficiaryCoolDownPeriod(86400);
    info->setFullLogo("https://l/full.png");
    info->setHalfLogo("https://l/half.png");
    info->setMiniLogo("https://l/mini.png");
    c->setBankInfo(info);
    auto scheme = context().insertNewObject<KOVFinancialInstitutionColorScheme>();
    scheme->setMainColor("#112233");
    scheme->setSecondaryColor("#445566");
    info->setColorScheme(scheme);
    auto s = subaccount(c, "acc", true);
    s->setIban("AE00");
    s->setNumber("123");
    s->setName("Current");
    s->setType("current");
    s->setCurrencyCode("AED");
    s->setCurrencyName("Dirham");
    s->setBalance(0.0);
    s->setIsFavourite(true);
    s->setSortingCreatedAt(100.5);
    auto card = context().insertNewObject<KOVBankCard>();
    card->setCardID("card");
    card->setJsonResponse("{}");
    c->addCardsObject(card);
    auto configs = context().insertNewObject<KOVAppConfigs>();
    configs->setAppKey("key");
    configs->setServerURL("https://server");
    configs->setCountries("[\"AE\"]");
    configs->setColorScheme("#ABCDEF");
    configs->setMinTransferAmount(0);
    configs->setMaxTransferAmount(5000);
    configs->setIsRemoteBeneficiarySet(false);
    ASSERT_TRUE(saveContextStamping(context(), nullptr));
    reopen();

    const auto connections = fetch<KOVConnection>(KOVConnection::fetchRequest());
    ASSERT_EQ(connections.size(), 1);
    const auto &rc = connections.first();
    EXPECT_EQ(rc->userID(), "u1");
    EXPECT_EQ(rc->clientUserID(), "client");
    EXPECT_EQ(rc->accessCode(), "access");
    EXPECT_EQ(rc->connectionID(), "conn");
    EXPECT_EQ(rc->tokenID(), "token");
    EXPECT_FALSE(rc->isValid());
    EXPECT_EQ(rc->createdAt(), at(100));
    EXPECT_TRUE(rc->modifiedAt().isValid());
    const auto ri = rc->bankInfo();
    ASSERT_NE(ri, nullptr);
    EXPECT_EQ(ri->connection(), rc);
    EXPECT_EQ(ri->bankID(), "BANK");
    EXPECT_EQ(ri->bankName(), "Bank");
    EXPECT_EQ(ri->swiftCode(), "SWIFT");
    EXPECT_EQ(ri->countryName(), "UAE");
    EXPECT_EQ(ri->beneficiaryCoolDownPeriod(), 86400);
    EXPECT_EQ(ri->fullLogo(), "https://l/full.png");
    EXPECT_EQ(ri->halfLogo(), "https://l/half.png");
    EXPECT_EQ(ri->miniLogo(), "https://l/mini.png");
    ASSERT_NE(ri->colorScheme(), nullptr);
    EXPECT_EQ(ri->colorScheme()->mainColor(), "#112233");
    EXPECT_EQ(ri->colorScheme()->secondaryColor(), "#445566");
    EXPECT_EQ(ri->colorScheme()->bankInfo(), ri);
    ASSERT_EQ(rc->subaccounts().size(), 1);
    const auto rs = rc->subaccounts().first();
    EXPECT_EQ(rs->connection(), rc);
    EXPECT_EQ(rs->accountId(), "acc");
    EXPECT_EQ(rs->iban(), "AE00");
    EXPECT_EQ(rs->number(), "123");
    EXPECT_EQ(rs->name(), "Current");
    EXPECT_EQ(rs->type(), "current");
    EXPECT_EQ(rs->currencyCode(), "AED");
    EXPECT_EQ(rs->currencyName(), "Dirham");
    EXPECT_EQ(rs->balance(), 0.0) << "a zero balance is a balance";
    EXPECT_TRUE(rs->isFavourite());
    EXPECT_TRUE(rs->isStillFetching());
    EXPECT_EQ(rs->sortingCreatedAt(), 100.5);
    ASSERT_EQ(rc->cards().size(), 1);
    EXPECT_EQ(rc->cards().first()->cardID(), "card");
    EXPECT_EQ(rc->cards().first()->jsonResponse(), "{}");
    EXPECT_EQ(rc->cards().first()->connection(), rc);
    const auto rcfg = KOVAppConfigs::getConfigsForAppKey("key", context());
    ASSERT_NE(rcfg, nullptr);
    EXPECT_EQ(rcfg->serverURL(), "https://server");
    EXPECT_EQ(rcfg->countries(), "[\"AE\"]");
    EXPECT_EQ(rcfg->colorScheme(), "#ABCDEF");
    EXPECT_EQ(rcfg->minTransferAmount(), 0);
    EXPECT_EQ(rcfg->maxTransferAmount(), 5000);
    EXPECT_EQ(rcfg->isRemoteBeneficiarySet(), false);
}

TEST_F(Entities, MissingNumbersStayMissingAfterAReopen)
{
    auto c = connection("u", "c");
    subaccount(c, "no-balance");
    auto configs = context().insertNewObject<KOVAppConfigs>();
    configs->setAppKey("key");
    ASSERT_TRUE(context().save());
    reopen();
    const auto s = fetch<KOVSubaccount>(KOVSubaccount::fetchRequest()).first();
    EXPECT_EQ(s->balance(), std::nullopt);
    EXPECT_TRUE(c->isValid()) << "a new connection is valid";
    EXPECT_FALSE(s->isFavourite());
    EXPECT_FALSE(s->isStillFetching());
    EXPECT_EQ(s->sortingCreatedAt(), 0.0);
    const auto r = KOVAppConfigs::getConfigsForAppKey("key", context());
    EXPECT_EQ(r->minTransferAmount(), std::nullopt);
    EXPECT_EQ(r->maxTransferAmount(), std::nullopt);
    EXPECT_EQ(r->isRemoteBeneficiarySet(), std::nullopt);
    EXPECT_EQ(r->countriesStringArray(), std::nullopt);
    EXPECT_TRUE(fetch<KOVConnection>(KOVConnection::fetchRequest()).first()->isValid());
}

TEST_F(Entities, ANewConnectionIsStampedBeforeAnySave)
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    auto c = context().insertNewObject<KOVConnection>();
    const QDateTime after = QDateTime::currentDateTimeUtc();
    ASSERT_TRUE(c->createdAt().isValid());
    EXPECT_EQ(c->createdAt(), c->modifiedAt());
    EXPECT_GE(c->createdAt(), before);
    EXPECT_LE(c->createdAt(), after);
    EXPECT_TRUE(context().updatedObjects().isEmpty());
    // Other records get their times only when saved.
    EXPECT_FALSE(context().insertNewObject<KOVBankInfo>()->createdAt().isValid());
}

TEST_F(Entities, StampingAgainMovesOnlyModifiedAt)
{
    auto info = context().insertNewObject<KOVBankInfo>();
    info->setCreatedAt(at(1000));
    info->setModifiedAt(at(1000));
    info->sign();
    EXPECT_EQ(info->createdAt(), at(1000));
    EXPECT_GT(info->modifiedAt(), at(1000));
    const QDateTime first = info->modifiedAt();
    info->setModifiedAt(at(2000));
    info->sign();
    EXPECT_EQ(info->createdAt(), at(1000));
    EXPECT_GE(info->modifiedAt(), first);
}

TEST_F(Entities, TheSavePathStampsUpdatedThenInsertedObjects)
{
    auto old = context().insertNewObject<KOVBankInfo>();
    auto untouched = context().insertNewObject<KOVBankInfo>();
    auto doomed = context().insertNewObject<KOVBankInfo>();
    for (const auto &info : {old, untouched, doomed}) {
        info->setCreatedAt(at(10));
        info->setModifiedAt(at(10));
    }
    ASSERT_TRUE(context().save());

    // Nothing changed: nothing stamped, nothing saved.
    EXPECT_TRUE(saveContextStamping(context(), nullptr));
    EXPECT_EQ(old->modifiedAt(), at(10));

    const QDateTime before = QDateTime::currentDateTimeUtc();
    old->setBankName("renamed");
    auto fresh = context().insertNewObject<KOVSubaccount>();
    context().deleteObject(doomed);
    platform::Error error;
    ASSERT_TRUE(saveContextStamping(context(), &error)) << error.localizedDescription().toStdString();
    EXPECT_EQ(old->createdAt(), at(10));
    EXPECT_GE(old->modifiedAt(), before);
    EXPECT_GE(fresh->createdAt(), before);
    EXPECT_EQ(fresh->createdAt(), fresh->modifiedAt());
    EXPECT_EQ(untouched->modifiedAt(), at(10));
    EXPECT_EQ(doomed->modifiedAt(), at(10));
    EXPECT_FALSE(context().hasChanges());

    reopen();
    const auto stored = fetch<KOVBankInfo>(KOVBankInfo::fetchRequest());
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0]->bankName(), "renamed");
    EXPECT_GE(stored[0]->modifiedAt(), before);
}

// The accounts of one reply are inserted and saved together: sorted newest
// first, they must come out in the order they were inserted, however long the
// stamping takes (enough rows here that the clock ticks during it).
TEST_F(Entities, RecordsSavedTogetherShareOneMomentAndKeepTheirOrder)
{
    auto c = connection("u", "c");
    ASSERT_TRUE(saveContextStamping(context(), nullptr));
    QStringList inserted;
    for (int i = 0; i < 3000; ++i) {
        inserted.append(QStringLiteral("ACC-%1").arg(i, 4, 10, QLatin1Char('0')));
        subaccount(c, inserted.last());
    }
    c->setTokenID("touched");
    ASSERT_TRUE(saveContextStamping(context(), nullptr));
    const QDateTime moment = c->modifiedAt();
    int differing = 0;
    for (const auto &s : c->subaccounts())
        differing += s->createdAt() != moment || s->modifiedAt() != moment;
    EXPECT_EQ(differing, 0) << "of " << inserted.size();
    // Where the listed order first leaves the inserted one, if anywhere.
    auto firstOutOfPlace = [&] {
        const QStringList listed = accountIDs(fetch<KOVSubaccount>(KOVSubaccount::fetchRequestWithUserID("u", "c", true)));
        for (qsizetype i = 0; i < std::min(listed.size(), inserted.size()); ++i)
            if (listed.at(i) != inserted.at(i))
                return (listed.at(i) + " at " + QString::number(i)).toStdString();
        return listed.size() == inserted.size() ? std::string("none") : std::string("a missing row");
    };
    EXPECT_EQ(firstOutOfPlace(), "none");
    reopen();
    EXPECT_EQ(firstOutOfPlace(), "none");
}

TEST_F(Entities, TheSavePathReportsAFailedSaveAndKeepsTheChanges)
{
    ASSERT_TRUE(kova::test::sqlite::exec(
        m_file, "CREATE TRIGGER refuse BEFORE INSERT ON KOVConnection BEGIN SELECT RAISE(ABORT, 'disk says no'); END"));
    connection("u", "c");
    platform::Error error;
    EXPECT_FALSE(saveContextStamping(context(), &error));
    EXPECT_EQ(error.code, 134030);
    EXPECT_EQ(error.localizedDescription(), "The store cannot be saved: disk says no");
    EXPECT_EQ(context().insertedObjects().size(), 1);
    EXPECT_FALSE(saveContextStamping(context(), nullptr)) << "no error to fill is fine too";
    ASSERT_TRUE(kova::test::sqlite::exec(m_file, "DROP TRIGGER refuse"));
    EXPECT_TRUE(saveContextStamping(context(), &error));
    reopen();
    EXPECT_EQ(fetch<KOVConnection>(KOVConnection::fetchRequest()).size(), 1);
}

TEST_F(Entities, ConnectionBuilderTermsAndOrder)
{
    const FetchRequest all = KOVConnection::fetchRequestWithUserID(QString(), QString(), false);
    EXPECT_EQ(all.entityName(), "KOVConnection");
    EXPECT_TRUE(all.predicate().isEmpty());
    EXPECT_EQ(all.sortDescriptors(), (QList<Sort>{Sort{"createdAt", true}}));
    EXPECT_EQ(KOVConnection::fetchRequestWithUserID("u", "c", true).predicate(),
              (QList<Term>{{"clientUserID", QString("c")}, {"userID", QString("u")}, {"isValid", true}}));
    EXPECT_EQ(KOVConnection::fetchRequestWithUserID(QString(), "c", true).predicate(),
              (QList<Term>{{"clientUserID", QString("c")}, {"isValid", true}}));
    EXPECT_EQ(KOVConnection::fetchRequestWithUserID("u", QString(), false).predicate(), (QList<Term>{{"userID", QString("u")}}));
    // An empty text is a value, not a missing one.
    EXPECT_EQ(KOVConnection::fetchRequestWithUserID("", QString(), false).predicate(), (QList<Term>{{"userID", QString("")}}));
    EXPECT_EQ(KOVConnection::fetchRequest().entityName(), "KOVConnection");
    EXPECT_EQ(KOVSignature::fetchRequest().entityName(), "KOVSignature");
}

TEST_F(Entities, ConnectionBuilderFindsTheRightLogins)
{
    auto newest = connection("u1", "A", 300);
    auto oldest = connection("u1", "A", 100);
    auto invalid = connection("u2", "A", 200);
    invalid->setIsValid(false);
    auto other = connection("u1", "B", 50);
    ASSERT_TRUE(context().save());

    EXPECT_EQ(userIDs(fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(QString(), QString(), false))),
              (QStringList{"u1/B", "u1/A", "u2/A", "u1/A"}));
    EXPECT_EQ(fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(QString(), "A", true)),
              (QList<std::shared_ptr<KOVConnection>>{oldest, newest}));
    EXPECT_EQ(fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(QString(), "A", false)),
              (QList<std::shared_ptr<KOVConnection>>{oldest, invalid, newest}));
    EXPECT_EQ(fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID("u1", "A", false)).first(), oldest);
    EXPECT_TRUE(fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID("u2", "A", true)).isEmpty());
    EXPECT_TRUE(fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID(QString(), "a", false)).isEmpty());

    // Duplicate removal: newest first, keep the first, delete the rest.
    FetchRequest duplicates = KOVConnection::fetchRequestWithUserID("u1", "A", false);
    duplicates.setSortDescriptors({{"createdAt", false}});
    const auto found = fetch<KOVConnection>(duplicates);
    ASSERT_EQ(found.size(), 2);
    for (qsizetype i = 1; i < found.size(); ++i)
        context().deleteObject(found[i]);
    ASSERT_TRUE(saveContextStamping(context(), nullptr));
    reopen();
    const auto left = fetch<KOVConnection>(KOVConnection::fetchRequestWithUserID("u1", "A", false));
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first()->createdAt(), at(300));
}

TEST_F(Entities, SubaccountBuildersTermsAndOrder)
{
    const FetchRequest picker = KOVSubaccount::fetchRequestWithUserID("u", "c", true);
    EXPECT_EQ(picker.entityName(), "KOVSubaccount");
    EXPECT_EQ(picker.sortDescriptors(), (QList<Sort>{Sort{"createdAt", false}}));
    EXPECT_EQ(picker.predicate(), (QList<Term>{{"connection.clientUserID", QString("c")},
                                               {"isStillFetching", false},
                                               {"connection.userID", QString("u")}}));
    EXPECT_TRUE(KOVSubaccount::fetchRequestWithUserID(QString(), QString(), false).predicate().isEmpty());

    const FetchRequest one = KOVSubaccount::subaccountWithAccountID("a", "u", "c");
    EXPECT_EQ(one.entityName(), "KOVSubaccount");
    EXPECT_TRUE(one.sortDescriptors().isEmpty());
    EXPECT_EQ(one.predicate(), (QList<Term>{{"accountId", QString("a")},
                                            {"connection.userID", QString("u")},
                                            {"connection.clientUserID", QString("c")}}));
    EXPECT_EQ(KOVSubaccount::subaccountWithAccountID(QString(), QString(), "c").predicate(),
              (QList<Term>{{"connection.clientUserID", QString("c")}}));
    EXPECT_TRUE(KOVSubaccount::subaccountWithAccountID(QString(), QString(), QString()).predicate().isEmpty());

    const FetchRequest card = KOVBankCard::subaccountWithCardID("k", "u", "c");
    EXPECT_EQ(card.entityName(), "KOVBankCard");
    EXPECT_TRUE(card.sortDescriptors().isEmpty());
    EXPECT_EQ(card.predicate(), (QList<Term>{{"cardID", QString("k")},
                                             {"connection.userID", QString("u")},
                                             {"connection.clientUserID", QString("c")}}));
    EXPECT_EQ(KOVBankCard::subaccountWithCardID("k", QString(), QString()).predicate(), (QList<Term>{{"cardID", QString("k")}}));
}

TEST_F(Entities, SubaccountBuildersFindTheRightRows)
{
    auto a = connection("u1", "A");
    auto b = connection("u2", "A");
    auto elsewhere = connection("u1", "B");
    subaccount(a, "a-old", false, 100);
    subaccount(a, "Demo", true, 300);
    subaccount(a, "a-new", false, 200);
    subaccount(b, "shared", false, 150);
    auto target = subaccount(elsewhere, "shared", false, 400);

    EXPECT_EQ(accountIDs(fetch<KOVSubaccount>(KOVSubaccount::fetchRequestWithUserID("u1", "A", true))),
              (QStringList{"a-new", "a-old"}));
    EXPECT_EQ(accountIDs(fetch<KOVSubaccount>(KOVSubaccount::fetchRequestWithUserID("u1", "A", false))),
              (QStringList{"Demo", "a-new", "a-old"}));
    EXPECT_EQ(accountIDs(fetch<KOVSubaccount>(KOVSubaccount::fetchRequestWithUserID(QString(), "A", true))),
              (QStringList{"a-new", "shared", "a-old"}));
    EXPECT_EQ(fetch<KOVSubaccount>(KOVSubaccount::subaccountWithAccountID("shared", "u1", "B")),
              QList<std::shared_ptr<KOVSubaccount>>{target});
    EXPECT_TRUE(fetch<KOVSubaccount>(KOVSubaccount::subaccountWithAccountID("shared", "u1", "A")).isEmpty());

    // Placeholder removal as the payment flow asks for it.
    FetchRequest placeholders = KOVSubaccount::fetchRequestWithUserID("u1", "A", false);
    placeholders.addTerm("isStillFetching", true);
    EXPECT_EQ(accountIDs(fetch<KOVSubaccount>(placeholders)), QStringList{"Demo"});

    auto card = context().insertNewObject<KOVBankCard>();
    card->setCardID("k");
    b->addCardsObject(card);
    auto twin = context().insertNewObject<KOVBankCard>();
    twin->setCardID("k");
    a->addCardsObject(twin);
    EXPECT_EQ(fetch<KOVBankCard>(KOVBankCard::subaccountWithCardID("k", "u2", "A")), QList<std::shared_ptr<KOVBankCard>>{card});
    EXPECT_EQ(fetch<KOVBankCard>(KOVBankCard::subaccountWithCardID("k", QString(), QString())).size(), 2);
}

TEST_F(Entities, DeletingAConnectionLeavesNoOrphans)
{
    auto c = connection("u", "c");
    auto info = context().insertNewObject<KOVBankInfo>();
    c->setBankInfo(info);
    auto scheme = context().insertNewObject<KOVFinancialInstitutionColorScheme>();
    info->setColorScheme(scheme);
    subaccount(c, "1");
    subaccount(c, "2");
    auto card = context().insertNewObject<KOVBankCard>();
    c->addCardsObject(card);
    auto keep = connection("other", "c");
    subaccount(keep, "kept");
    ASSERT_TRUE(saveContextStamping(context(), nullptr));

    // A lone sub-account goes without its connection.
    auto lone = fetch<KOVSubaccount>(KOVSubaccount::subaccountWithAccountID("2", "u", "c")).first();
    context().deleteObject(lone);
    EXPECT_EQ(accountIDs(c->subaccounts()), QStringList{"1"});

    context().deleteObject(c);
    ASSERT_TRUE(saveContextStamping(context(), nullptr));
    reopen();
    EXPECT_EQ(fetch<KOVConnection>(KOVConnection::fetchRequest()).size(), 1);
    EXPECT_TRUE(fetch<KOVBankInfo>(KOVBankInfo::fetchRequest()).isEmpty());
    EXPECT_TRUE(fetch<KOVFinancialInstitutionColorScheme>(KOVFinancialInstitutionColorScheme::fetchRequest()).isEmpty());
    EXPECT_TRUE(fetch<KOVBankCard>(KOVBankCard::fetchRequest()).isEmpty());
    EXPECT_EQ(accountIDs(fetch<KOVSubaccount>(KOVSubaccount::fetchRequest())), QStringList{"kept"});
    EXPECT_EQ(kova::test::sqlite::scalar(m_file, "SELECT COUNT(*) FROM KOVSubaccount"), QVariant(qint64(1)));
}

TEST_F(Entities, ALateWriteToADeletedConnectionIsSkipped)
{
    auto c = connection("u", "c");
    ASSERT_TRUE(context().save());
    // A delink removes the record while an accounts reply is on its way.
    context().deleteObject(c);
    ASSERT_TRUE(context().save());
    auto late = context().insertNewObject<KOVSubaccount>();
    late->setAccountId("late");
    c->addSubaccountsObject(late);
    c->setUserID("changed");
    c->setIsValid(false);
    EXPECT_EQ(c->userID(), "u");
    EXPECT_TRUE(c->isValid());
    EXPECT_TRUE(c->subaccounts().isEmpty());
    EXPECT_EQ(late->connection(), nullptr);
    ASSERT_TRUE(saveContextStamping(context(), nullptr));
    reopen();
    EXPECT_TRUE(fetch<KOVConnection>(KOVConnection::fetchRequest()).isEmpty());
}

TEST_F(Entities, ToAccountCarriesTheStoredRow)
{
    auto c = connection("u", "c");
    auto s = subaccount(c, "acc-1");
    s->setIban("AE07");
    s->setNumber("0001");
    s->setName("Salary");
    s->setType("current");
    s->setCurrencyCode("AED");
    s->setCurrencyName("UAE Dirham");
    s->setBalance(12.5);
    const auto account = s->toAccount();
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->balance(), 12.5);
    EXPECT_EQ(account->currency().code(), "AED");
    EXPECT_EQ(account->currency().name(), "UAE Dirham");
    EXPECT_EQ(account->accountID(), "acc-1");
    EXPECT_EQ(account->iban(), "AE07");
    EXPECT_EQ(account->number(), "0001");
    EXPECT_EQ(account->name(), "Salary");
    EXPECT_EQ(account->type(), "current");
    EXPECT_EQ(account->dictionaryRepresentation(),
              (QJsonObject{{"iban", "AE07"},
                           {"number", "0001"},
                           {"currency", QJsonObject{{"code", "AED"}, {"name", "UAE Dirham"}}},
                           {"balance", QJsonObject{{"amount", 12.5}}},
                           {"type", "current"},
                           {"name", "Salary"},
                           {"id", "acc-1"}}));
}

TEST_F(Entities, ToAccountOfAnEmptyRowKeepsItsGapsAsNull)
{
    auto s = context().insertNewObject<KOVSubaccount>();
    const auto account = s->toAccount();
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->balance(), 0.0);
    EXPECT_TRUE(account->accountID().isNull());
    EXPECT_TRUE(account->iban().isNull());
    EXPECT_TRUE(account->currency().code().isNull());
    const QJsonValue null(QJsonValue::Null);
    EXPECT_EQ(account->dictionaryRepresentation(),
              (QJsonObject{{"iban", null},
                           {"number", null},
                           {"currency", QJsonObject{{"code", null}, {"name", null}}},
                           {"balance", QJsonObject{{"amount", null}}},
                           {"type", null},
                           {"name", null},
                           {"id", null}}));
}

TEST_F(Entities, ToCardFindsTheLastCardWithTheStoredID)
{
    const QJsonObject reply{{"cards", QJsonArray{QJsonObject{{"id", "k"}, {"name", "first"}},
                                                 QJsonObject{{"id", "other"}, {"name", "other"}},
                                                 QJsonObject{{"id", "k"}, {"name", "second"}}}},
                            {"success", true}};
    auto card = context().insertNewObject<KOVBankCard>();
    card->setCardID("k");
    card->setJsonResponse(QString::fromUtf8(platform::json::compact(reply)));
    const auto found = card->toCard();
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name(), "second");
    EXPECT_EQ(found->dictionaryRepresentation(), reply);

    card->setCardID("missing");
    EXPECT_EQ(card->toCard(), nullptr);
    card->setCardID(QString());
    EXPECT_EQ(card->toCard(), nullptr);
    card->setCardID("k");
    for (const QString &bad : {QString(), QString(""), QString("not json"), QString("[1,2]"), QString("{\"cards\":{}}"),
                               QString("{\"other\":[]}"), QString("{\"cards\":[{\"id\":5}]}")}) {
        card->setJsonResponse(bad);
        EXPECT_EQ(card->toCard(), nullptr) << bad.toStdString();
    }
}

TEST_F(Entities, AppConfigsAreStoredOncePerAppKey)
{
    KOVAppConfigsModel first;
    first.setServerURL("https://one");
    first.setCountries({"AE", "SA"});
    first.setColorScheme("#111111");
    first.setMinTransferAmount(10);
    first.setMaxTransferAmount(100);
    first.setIsBenefSet(true);
    KOVAppConfigs::storeAppConfigs(first, "key", context());
    EXPECT_FALSE(context().hasChanges()) << "stored and saved";

    KOVAppConfigsModel second;
    second.setServerURL("https://two");
    second.setCountries({});
    KOVAppConfigs::storeAppConfigs(second, "key", context());
    KOVAppConfigs::storeAppConfigs(first, "other", context());

    reopen();
    const auto all = fetch<KOVAppConfigs>(KOVAppConfigs::fetchRequest());
    EXPECT_EQ(all.size(), 2);
    const auto stored = KOVAppConfigs::getConfigsForAppKey("key", context());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->appKey(), "key");
    EXPECT_EQ(stored->serverURL(), "https://two");
    EXPECT_EQ(stored->countries(), "[]");
    EXPECT_EQ(stored->countriesStringArray(), QStringList());
    EXPECT_TRUE(stored->colorScheme().isNull());
    EXPECT_EQ(stored->minTransferAmount(), 0);
    EXPECT_EQ(stored->maxTransferAmount(), 0);
    EXPECT_EQ(stored->isRemoteBeneficiarySet(), false);
    EXPECT_TRUE(stored->createdAt().isValid());
    EXPECT_GE(stored->modifiedAt(), stored->createdAt());

    const auto other = KOVAppConfigs::getConfigsForAppKey("other", context());
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->countries(), "[\"AE\",\"SA\"]");
    EXPECT_EQ(other->countriesStringArray(), (QStringList{"AE", "SA"}));
    EXPECT_EQ(other->colorScheme(), "#111111");
    EXPECT_EQ(other->minTransferAmount(), 10);
    EXPECT_EQ(other->maxTransferAmount(), 100);
    EXPECT_EQ(other->isRemoteBeneficiarySet(), true);

    EXPECT_EQ(KOVAppConfigs::getConfigsForAppKey("never", context()), nullptr);
}

TEST_F(Entities, AFailedAppConfigsSaveIsIgnoredAndCaughtUpLater)
{
    ASSERT_TRUE(kova::test::sqlite::exec(
        m_file, "CREATE TRIGGER refuse BEFORE INSERT ON KOVAppConfigs BEGIN SELECT RAISE(ABORT, 'full'); END"));
    KOVAppConfigsModel model;
    model.setServerURL("https://s");
    model.setCountries({"AE"});
    KOVAppConfigs::storeAppConfigs(model, "key", context());
    EXPECT_TRUE(context().hasChanges());
    ASSERT_NE(KOVAppConfigs::getConfigsForAppKey("key", context()), nullptr) << "still in the context";
    ASSERT_TRUE(kova::test::sqlite::exec(m_file, "DROP TRIGGER refuse"));
    model.setServerURL("https://later");
    KOVAppConfigs::storeAppConfigs(model, "key", context());
    reopen();
    EXPECT_EQ(fetch<KOVAppConfigs>(KOVAppConfigs::fetchRequest()).size(), 1);
    EXPECT_EQ(KOVAppConfigs::getConfigsForAppKey("key", context())->serverURL(), "https://later");
}

TEST_F(Entities, CountriesReadBackOnlyAsAList)
{
    auto configs = context().insertNewObject<KOVAppConfigs>();
    EXPECT_EQ(configs->countriesStringArray(), std::nullopt);
    configs->setCountries("");
    EXPECT_EQ(configs->countriesStringArray(), std::nullopt);
    configs->setCountries("not json");
    EXPECT_EQ(configs->countriesStringArray(), std::nullopt);
    configs->setCountries("{\"AE\":1}");
    EXPECT_EQ(configs->countriesStringArray(), std::nullopt);
    configs->setCountries("\"AE\"");
    EXPECT_EQ(configs->countriesStringArray(), std::nullopt);
    configs->setCountries("[\"AE\",5,null,\"SA\"]");
    EXPECT_EQ(configs->countriesStringArray(), (QStringList{"AE", "SA"}));
}

TEST(AppConfigsModel, ReadsTheServiceReply)
{
    const auto model = KOVAppConfigsModel::initWithDictionary(
        QJsonObject{{"serverURL", "https://app.example"}, {"countries", QJsonArray{"AE", "SA"}}, {"colorScheme", "#00AAFF"},
                    {"minTransferAmount", 10.9}, {"maxTransferAmount", 2500.75}, {"isBenefsSet", true}});
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->serverURL(), "https://app.example");
    EXPECT_EQ(model->countries(), (QStringList{"AE", "SA"}));
    EXPECT_EQ(model->colorScheme(), "#00AAFF");
    EXPECT_EQ(model->minTransferAmount(), 10);
    EXPECT_EQ(model->maxTransferAmount(), 2500);
    EXPECT_TRUE(model->isBenefSet());

    const auto bare = KOVAppConfigsModel::initWithDictionary(QJsonObject{{"serverURL", ""}, {"countries", QJsonArray{"AE"}},
                                                                         {"isBenefSet", true}, {"colorScheme", 7}});
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->minTransferAmount(), 0);
    EXPECT_EQ(bare->maxTransferAmount(), 0);
    EXPECT_FALSE(bare->isBenefSet()) << "only \"isBenefsSet\" counts";
    EXPECT_TRUE(bare->colorScheme().isNull());
}

TEST(AppConfigsModel, RefusesAConfigurationWithoutCountriesOrServer)
{
    const QJsonArray countries{"AE"};
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"serverURL", "https://s"}}), nullptr);
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"serverURL", "https://s"}, {"countries", QJsonArray()}}), nullptr);
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"serverURL", "https://s"}, {"countries", "AE"}}), nullptr);
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"serverURL", "https://s"}, {"countries", QJsonArray{1, 2}}}),
              nullptr);
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"countries", countries}}), nullptr);
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"countries", countries}, {"serverURL", QJsonValue()}}), nullptr);
    EXPECT_EQ(KOVAppConfigsModel::initWithDictionary(QJsonObject{{"countries", countries}, {"serverURL", 1}}), nullptr);
}
