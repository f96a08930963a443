#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestSupport.h"

using namespace kova::platform;

TEST(JsonReaders, WrongTypesReadAsAbsent)
{
    const QJsonObject o{{"b", true}, {"n", 12.9}, {"t", "text"}, {"l", QJsonArray{1, "x", QJsonObject{}}},
                        {"o", QJsonObject{{"k", 1}}}, {"null", QJsonValue::Null}, {"big", 1e300}};
    EXPECT_EQ(json::readBool(o, "b"), true);
    EXPECT_EQ(json::readBool(o, "n"), true);
    EXPECT_EQ(json::readBool(o, "t"), std::nullopt);
    EXPECT_EQ(json::readBool(o, "o"), std::nullopt);
    EXPECT_EQ(json::readInt64(o, "n"), 12);
    EXPECT_EQ(json::readInt64(o, "t"), std::nullopt);
    EXPECT_EQ(json::readInt64(o, "b"), std::nullopt);
    EXPECT_EQ(json::readInt64(o, "big"), std::nullopt);
    EXPECT_EQ(json::readText(o, "t"), "text");
    EXPECT_TRUE(json::readText(o, "n").isNull());
    EXPECT_TRUE(json::readText(o, "null").isNull());
    EXPECT_TRUE(json::readText(o, "missing").isNull());
    EXPECT_FALSE(json::readList(o, "o").has_value());
    EXPECT_FALSE(json::readObject(o, "l").has_value());
    EXPECT_EQ(json::objectsIn(*json::readList(o, "l")).size(), 1);
    EXPECT_EQ(json::textsIn(*json::readList(o, "l")), QStringList{"x"});
}

TEST(JsonReaders, ParseFailuresAreCocoa3840)
{
    for (const QByteArray &bad : {QByteArray(), QByteArray("not json"), QByteArray("{\"a\":"), QByteArray("12")}) {
        auto parsed = json::parse(bad);
        ASSERT_TRUE(std::holds_alternative<Error>(parsed)) << bad.constData();
        EXPECT_EQ(std::get<Error>(parsed).domain, "NSCocoaErrorDomain");
        EXPECT_EQ(std::get<Error>(parsed).code, 3840);
    }
    auto list = json::parseObject("[1,2]");
    ASSERT_TRUE(std::holds_alternative<Error>(list));
    EXPECT_EQ(std::get<Error>(list).code, 3840);
    auto object = json::parseObject("{\"a\":1}");
    ASSERT_TRUE(std::holds_alternative<QJsonObject>(object));
    EXPECT_EQ(std::get<QJsonObject>(object).value("a").toInt(), 1);
}

TEST(ErrorValue, DescriptionOrGenericSentence)
{
    EXPECT_EQ(Error::withDescription("D", 5, "Broken").localizedDescription(), "Broken");
    const Error bare("KOVErrorDomain", 2002);
    EXPECT_FALSE(bare.hasDescription());
    EXPECT_EQ(bare.localizedDescription(), QString::fromUtf8("The operation couldn\u2019t be completed. (KOVErrorDomain error 2002.)"));
}

TEST(ErrorValue, FullDescriptionInThePlatformsForm)
{
    EXPECT_EQ(Error::withDescription("KOVKeychainErrorDomain", -25299, "Duplicate item").description(),
              "Error Domain=KOVKeychainErrorDomain Code=-25299 \"Duplicate item\" "
              "UserInfo={NSLocalizedDescription=Duplicate item}");
    // Entries in key order; nested values as the platform prints them.
    const Error nested("KOVErrorDomain", 2009,
                       {{NSLocalizedDescriptionKey, "Wait"},
                        {"info", QVariantMap{{"type", "BENEFICIARY_COOL_DOWN_PERIOD"}, {"success", false}}},
                        {"list", QVariantList{1, "a"}}});
    EXPECT_EQ(nested.description(),
              "Error Domain=KOVErrorDomain Code=2009 \"Wait\" UserInfo={NSLocalizedDescription=Wait, "
              "info={success=0, type=BENEFICIARY_COOL_DOWN_PERIOD}, list=(1, a)}");
    EXPECT_EQ(Error(NSPOSIXErrorDomain, 54).description(),
              QString::fromUtf8("Error Domain=NSPOSIXErrorDomain Code=54 \"The operation couldn\u2019t be completed. "
                                "(NSPOSIXErrorDomain error 54.)\""));
}

TEST(MainQueue, RunsLaterInPostingOrder)
{
    QStringList order;
    MainQueue::async([&] { order << "a"; });
    MainQueue::async([&] { order << "b"; });
    order << "posted";
    ASSERT_TRUE(kova::test::waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (QStringList{"posted", "a", "b"}));
    EXPECT_TRUE(MainQueue::isMainThread());
}

TEST(MainQueue, ALongBatchLetsTheLoopServeItsTimersInOrder)
{
    // Each piece of work outlasts the loop's slice, so the batch must give
    // the due timer its turn before it is done, and keep its own order.
    QStringList order;
    bool timerFired = false;
    QTimer::singleShot(1, Qt::PreciseTimer, [&] {
        timerFired = true;
        order << "timer";
    });
    for (int i = 0; i < 4; ++i) {
        MainQueue::async([&order, i] {
            QElapsedTimer busy;
            busy.start();
            while (busy.nsecsElapsed() < 3'000'000) {
            }
            order << QString::number(i);
        });
    }
    MainQueue::async([&] { order << "last"; });
    ASSERT_TRUE(kova::test::waitUntil([&] { return order.size() == 6; }));
    EXPECT_TRUE(timerFired);
    const qsizetype timer = order.indexOf("timer");
    EXPECT_LT(timer, 4) << order.join(" ").toStdString();
    order.removeAll("timer");
    EXPECT_EQ(order, (QStringList{"0", "1", "2", "3", "last"}));
}

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = QDir(kova::test::dataDirectory()).filePath("bundle-test");
        QDir(root).removeRecursively();
        QDir().mkpath(root + "/en.lproj");
        QDir().mkpath(root + "/ru.lproj");
        write(root + "/en.lproj/Table.json", R"({"Hello":"Hello","Only":"English only","Num":5})");
        write(root + "/ru.lproj/Table.json", R"({"Hello":"Привет"})");
        write(root + "/en.lproj/Broken.json", R"({"Hello":)");
    }
    void TearDown() override { Bundle::setPreferredLanguages({"en"}); }
    static void write(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QString root;
};

TEST_F(BundleTest, LookupSemantics)
{
    Bundle::setPreferredLanguages({"en-US"});
    auto bundle = Bundle::atPath(root);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->localizedString("Hello", "", "Table"), "Hello");
    EXPECT_EQ(bundle->localizedString("Missing", "", "Table"), "Missing");
    EXPECT_EQ(bundle->localizedString("Missing", "Fallback", "Table"), "Fallback");
    EXPECT_EQ(bundle->localizedString("Num", "", "Table"), "Num"); // not text: as if missing
    EXPECT_TRUE(bundle->localizedString("Hello", "", "NoSuchTable").isNull());
    EXPECT_TRUE(bundle->localizedString("Hello", "", "Broken").isNull());
    EXPECT_TRUE(bundle->localizedString("Hello", "", "../en.lproj/Table").isNull());

    Bundle::setPreferredLanguages({"ru-RU", "en"});
    EXPECT_EQ(bundle->localizedString("Hello", "", "Table"), QString::fromUtf8("Привет"));
    // The Russian table wins as a whole; a key it lacks is not taken from English.
    EXPECT_EQ(bundle->localizedString("Only", "", "Table"), "Only");
    EXPECT_FALSE(Bundle::atPath(root + "/nope"));
}

TEST(UserDefaultsTest, PersistsAndReadsWrongTypesAsAbsent)
{
    kova::test::resetDataDirectory();
    {
        UserDefaults &d = UserDefaults::standard();
        d.setValue("text", "value");
        d.setValue("flag", true);
        d.setValue("number", 3);
    }
    UserDefaults::resetStandard();
    UserDefaults &d = UserDefaults::standard();
    EXPECT_EQ(d.string("text"), "value");
    EXPECT_TRUE(d.boolean("flag"));
    EXPECT_TRUE(d.string("number").isNull() || d.string("number") == "3");
    EXPECT_FALSE(d.boolean("text"));
    d.removeObject("text");
    EXPECT_FALSE(d.contains("text"));
}

TEST(MainQueue, DelayedWorkWaitsForItsDelay)
{
    QElapsedTimer clock;
    clock.start();
    qint64 ranAfter = -1;
    MainQueue::asyncAfter(std::chrono::milliseconds(60), [&] { ranAfter = clock.elapsed(); });
    kova::test::drainMainQueue();
    EXPECT_EQ(ranAfter, -1);
    ASSERT_TRUE(kova::test::waitUntil([&] { return ranAfter >= 0; }));
    EXPECT_GE(ranAfter, 55);
}

TEST(UserDefaultsTest, FileWithEncodedValuesIsMovedAsideInsteadOfDecoded)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("UserDefaults.ini");
    // A list whose encoded length asks for gigabytes: decoding it would end
    // the process.
    const QByteArray planted = QByteArray("[General]\nUnhandledExceptionName=boom\nUnhandledExceptionStacktrace=@Variant(\\0\\0\\0\\v")
        + QByteArray("\xff\xff\xff\xff\xff\xff\xff\x03", 8) + QByteArray("\\x1\\0\\0\\0\\x2\\0x)\n");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(planted);
    }
    kova::test::LogCapture log;
    UserDefaults defaults(path);
    EXPECT_FALSE(defaults.contains("UnhandledExceptionStacktrace"));
    EXPECT_TRUE(defaults.string("UnhandledExceptionName").isNull());
    const QStringList aside = QDir(dir.path()).entryList({"UserDefaults.ini.damaged-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(dir.filePath(aside[0]));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), planted);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_EQ(log.lines()[0], QStringLiteral("The settings file %1 holds encoded values the SDK never writes; moved aside to %2")
                                  .arg(path, dir.filePath(aside[0])));

    // What the SDK writes itself is read back as it was.
    defaults.setValue("UnhandledExceptionStacktrace", QStringList{"frame 0", "frame, 1"});
    defaults.setValue("UnhandledExceptionName", "std::runtime_error");
    UserDefaults again(path);
    EXPECT_EQ(again.value("UnhandledExceptionStacktrace").toStringList(), (QStringList{"frame 0", "frame, 1"}));
    EXPECT_EQ(again.string("UnhandledExceptionName"), "std::runtime_error");
    EXPECT_EQ(QDir(dir.path()).entryList({"UserDefaults.ini.damaged-*"}, QDir::Files).size(), 1);
}
