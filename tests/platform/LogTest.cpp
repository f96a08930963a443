#include <gtest/gtest.h>

#include "platform/foundation/Log.h"
#include "tests/support/QtMessageCapture.h"
#include "tests/support/TestSupport.h"

using namespace kova;
using namespace kova::test;
using Message = QtMessageCapture::Message;

TEST(LogTest, ALineIsAWarningUnderItsAreasCategoryWithItsTextUntouched)
{
    QtMessageCapture messages;
    const QString odd = QStringLiteral("[Kova] 100% of \"%s\" %1 %n — ✓");
    platform::log(odd);
    platform::log(QStringLiteral("network"), platform::logNetwork());
    platform::log(QStringLiteral("store"), platform::logStore());
    platform::log(QStringLiteral("keychain"), platform::logKeychain());
    platform::log(QStringLiteral("ui"), platform::logUI());
    platform::log(QStringLiteral("dates"), platform::logDates());
    EXPECT_EQ(messages.sdkMessages(), (QList<Message>{
                                          {QtWarningMsg, "kova", odd},
                                          {QtWarningMsg, "kova.network", "network"},
                                          {QtWarningMsg, "kova.store", "store"},
                                          {QtWarningMsg, "kova.keychain", "keychain"},
                                          {QtWarningMsg, "kova.ui", "ui"},
                                          {QtWarningMsg, "kova.dates", "dates"},
                                      }));
}

TEST(LogTest, ARuleTurnsACategoryOffAndASinkTakesEveryLineInstead)
{
    QtMessageCapture messages;
    QLoggingCategory::setFilterRules(QStringLiteral("kova.ui.warning=false"));
    platform::log(QStringLiteral("hidden"), platform::logUI());
    platform::log(QStringLiteral("shown"), platform::logDates());
    {
        LogCapture sink;
        platform::log(QStringLiteral("to the sink"), platform::logDates());
        platform::log(QStringLiteral("to the sink too"), platform::logUI());
        EXPECT_EQ(sink.lines(), (QStringList{"to the sink", "to the sink too"}));
    }
    EXPECT_EQ(messages.sdkMessages(), (QList<Message>{{QtWarningMsg, "kova.dates", "shown"}}));
}
