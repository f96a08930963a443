#include <QStringList>

#include "core/KOVAppManager.h"
#include "core/internal/KOVProcessState.h"
#include "core/KOVConnect.h"
#include "core/KOVConnectDelegate.h"
#include "core/internal/KOVFontRegistration.h"
#include "core/KOVScreensProvider.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/core/TestScreensProvider.h"

using namespace kova;
using namespace kova::test;

namespace {

class RecordingConnect : public KOVConnect {
public:
    QStringList events;
    void presentWithBankID(const QString &bankID) override { events.append("present " + bankID); }
    void dismissWithCompletion(std::function<void()> completion) override
    {
        events.append("dismiss");
        if (completion)
            completion();
    }
};

class Delegate : public KOVConnectDelegate {};

} // namespace

class ScreensProviderTest : public SdkTest {
protected:
    std::shared_ptr<TestScreensProvider> screens = std::make_shared<TestScreensProvider>();
};

TEST_F(ScreensProviderTest, ConnectIsMadeByTheProviderForTheStartedUser)
{
    auto kova = startDefault("client-7");
    QStringList askedFor;
    auto made = std::make_shared<RecordingConnect>();
    screens->connect = [&](const QString &clientUserID) {
        askedFor.append(clientUserID);
        return made;
    };
    KOVScreensProvider::install(screens);
    auto delegate = std::make_shared<Delegate>();

    kova->presentConnect(delegate, "bank-9");
    EXPECT_EQ(askedFor, QStringList{"client-7"});
    ASSERT_EQ(kova->connect(), made);
    EXPECT_EQ(made->delegate().lock(), delegate);
    EXPECT_EQ(made->events, QStringList{"present bank-9"});
    EXPECT_FALSE(logs->contains("[Kova] The connect screen is not available yet"));

    kova->dismissConnect();
    EXPECT_EQ(made->events, (QStringList{"present bank-9", "dismiss"}));
    EXPECT_FALSE(kova->connect());
}

TEST_F(ScreensProviderTest, WithoutAConnectScreenNothingIsPresentedAndTheLogSaysSo)
{
    auto kova = startDefault();
    auto delegate = std::make_shared<Delegate>();
    for (bool withProvider : {false, true}) {
        SCOPED_TRACE(withProvider);
        KOVScreensProvider::install(withProvider ? screens : nullptr);
        logs.reset(); // the old capture lets go of the sink first
        logs = std::make_unique<LogCapture>();
        kova->presentConnect(delegate);
        EXPECT_FALSE(kova->connect());
        EXPECT_TRUE(logs->contains("[Kova] The connect screen is not available yet"));
        kova->dismissConnect(); // nothing to dismiss: no crash
    }
}

TEST_F(ScreensProviderTest, FontsAreRegisteredOnceWhetherTheProviderComesBeforeOrAfterTheStart)
{
    KOVAppManager::sharedInstance(); // the fixture's start has begun the registration already
    auto second = std::make_shared<TestScreensProvider>();

    // Before: the start registers through the installed provider, once.
    internal::KOVProcessState::resetFontRegistration();
    KOVScreensProvider::install(screens);
    EXPECT_EQ(screens->fontRegistrations, 0) << "installing before the start registers nothing yet";
    startFontRegistration();
    startFontRegistration();
    EXPECT_EQ(screens->fontRegistrations, 1);
    KOVScreensProvider::install(second);
    EXPECT_EQ(second->fontRegistrations, 0) << "fonts stay registered for the process";

    // After: the start only notes it; the provider registers when it arrives.
    internal::KOVProcessState::resetFontRegistration();
    KOVScreensProvider::install(nullptr);
    logs.reset();
    logs = std::make_unique<LogCapture>();
    startFontRegistration();
    EXPECT_TRUE(logs->contains("[Kova] Fonts are not available yet"));
    KOVScreensProvider::install(second);
    EXPECT_EQ(second->fontRegistrations, 1);
    KOVScreensProvider::install(screens);
    EXPECT_EQ(screens->fontRegistrations, 1);
}

TEST_F(ScreensProviderTest, TheProviderThatProvidesNothingStandsInWhenNoneIsInstalled)
{
    KOVScreensProvider::install(nullptr);
    EXPECT_FALSE(KOVScreensProvider::installed());
    auto none = KOVScreensProvider::current();
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->makeConnect("client-1"));
    EXPECT_FALSE(none->mfaPresenter());
    EXPECT_FALSE(none->makeAutoFlow(KOVAutoFlowRequest()));

    KOVScreensProvider::install(screens);
    EXPECT_EQ(KOVScreensProvider::current(), screens);
    EXPECT_EQ(KOVScreensProvider::installed(), screens);
}
