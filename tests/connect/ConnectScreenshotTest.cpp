// Screenshots of every state of the connect screen, written by the screens
// command (KOVA_SCREENS_DIR) and checked here for what each state must show.
#include <QImage>

#include "ConnectTestSupport.h"
#include "tests/ui/HostLook.h"
#include "platform/ui/Label.h"
#include "platform/web/WebView.h"
#include "ui/look/AnimatedFramesView.h"

using namespace kova;
using namespace kova::test;
using State = KOVWebConnectViewController::State;

namespace {

// Pixels of the area that are far from white.
int inked(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); y += 2)
        for (int x = area.left(); x <= area.right(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            count += (c.red() + c.green() + c.blue() < 600) ? 1 : 0;
        }
    return count;
}

// Pixels of the sandbox's logo green (the building on it is white).
int logoGreen(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            count += (c.red() < 50 && c.green() > 90 && c.green() < 135 && c.blue() > 55 && c.blue() < 105) ? 1 : 0;
        }
    return count;
}

} // namespace

class ConnectScreenshotTest : public ConnectTest {
protected:
    QRect pointsToPixels(const QRect &rect, const QImage &image) const
    {
        const qreal ratio = image.devicePixelRatio();
        return QRect((rect.topLeft() * ratio), rect.size() * ratio).intersected(image.rect());
    }
};

TEST_F(ConnectScreenshotTest, LoadingState)
{
    startWithOptions();
    server->scriptPath("/v3/connection", kova::test::silent());
    kova->presentConnect(delegate);
    const auto shown = screen();
    ASSERT_TRUE(pumpUntil([&] {
        return shown->isVisible() && shown->animatedImageView() && !shown->animatedImageView()->image().isNull();
    }));
    const QImage shot = grab(window.get());
    const QRect animation = pointsToPixels(shown->animatedImageView()->geometry(), shot);
    EXPECT_GT(inked(shot, animation), 20) << "the animation shows a frame";
    EXPECT_EQ(shown->footnoteLabel()->text(), QStringLiteral("Connecting your bank, made simple"));
    EXPECT_FALSE(shown->webView()->isVisible());
    EXPECT_FALSE(grabPng(window.get(), "connect-loading").isEmpty());
}

TEST_F(ConnectScreenshotTest, PageWithItsBankList)
{
    startWithOptions({"AE", "SA"});
    presentAndWaitForPage();
    ASSERT_TRUE(pumpUntil([&] {
        return js("document.images.length == 4 && Array.prototype.every.call(document.images,"
                  " function (i) { return i.complete && i.naturalWidth > 0; })") == QVariant(true);
    })) << "every bank shows its logo";
    // The engine paints a while after it has loaded: wait for the bank rows
    // and their four logos.
    QImage shot;
    ASSERT_TRUE(pumpUntil([&] {
        shot = grab(window.get());
        const int perLogo = 16 * 16 * shot.devicePixelRatio() * shot.devicePixelRatio();
        return inked(shot, pointsToPixels(QRect(0, 200, 390, 300), shot)) > 200 && logoGreen(shot) > 4 * perLogo * 5 / 10;
    }));
    EXPECT_FALSE(grabPng(window.get(), "connect-page-banks").isEmpty());
}

TEST_F(ConnectScreenshotTest, VerifyingAfterSuccess)
{
    startWithOptions();
    server->scriptAction("/metadata/accounts/get", kova::test::silent());
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "alice", "secret");
    ASSERT_TRUE(pumpUntil([&] { return screen()->state() == State::Verifying && screen()->connection(); }));
    ASSERT_TRUE(pumpUntil([&] { return !screen()->animatedImageView()->image().isNull(); }));
    EXPECT_EQ(screen()->footnoteLabel()->text(), QStringLiteral("Verifying your account"));
    EXPECT_FALSE(grabPng(window.get(), "connect-verifying").isEmpty());
}

TEST_F(ConnectScreenshotTest, MessageAfterAFailedExchange)
{
    startWithOptions();
    presentAndWaitForPage();
    logIn("SANDBOXBANK", "badexchange", "secret");
    ASSERT_TRUE(pumpUntil([&] { return messageScreenShown(); }));
    EXPECT_FALSE(grabPng(window.get(), "connect-exchange-error").isEmpty());
}

TEST_F(ConnectScreenshotTest, PageInADesktopWindowIsAPhoneWideCard)
{
    window->resize(1280, 800);
    startWithOptions({"AE", "SA"});
    presentAndWaitForPage();
    ASSERT_TRUE(pumpUntil([&] {
        return js("document.images.length == 4 && Array.prototype.every.call(document.images,"
                  " function (i) { return i.complete && i.naturalWidth > 0; })") == QVariant(true);
    }));
    QWidget *card = window->layerFor(screen().get());
    ASSERT_TRUE(card);
    EXPECT_EQ(card->geometry(), QRect(370, 96, 540, 620));
    EXPECT_EQ(webView()->size(), QSize(540, 620));
    QImage shot;
    ASSERT_TRUE(pumpUntil([&] {
        shot = grab(window.get());
        return logoGreen(shot) > 0;
    }));
    // Beside the card the host shows through, dimmed.
    const QColor beside = shot.pixelColor(pointsToPixels(QRect(100, 400, 1, 1), shot).topLeft());
    EXPECT_EQ(beside.rgb(), QColor(153, 153, 153).rgb());
    EXPECT_FALSE(grabPng(window.get(), "wide-connect-page").isEmpty());
}

TEST_F(ConnectScreenshotTest, EveryStateLooksTheSameUnderADarkHostPalette)
{
    startWithOptions();
    server->scriptPath("/v3/connection", kova::test::silent());
    kova->presentConnect(delegate);
    // The page's own request must have taken the silent reply: in a fresh
    // process the engine can ask for it only after the screen is dismissed,
    // and the reply would then stall the next screen's page instead.
    ASSERT_TRUE(pumpUntil([&] {
        return screen()->isVisible() && screen()->animatedImageView() && !screen()->animatedImageView()->image().isNull()
            && !server->requestsForPath("/v3/connection").isEmpty();
    }));
    // The animation turns faster than a host can set and take back its
    // style sheet: it stands still for the comparison (it draws only its frames).
    screen()->animatedImageView()->hide();
    expectSameUnderDarkHost(window.get(), "connect-loading");
    kova->dismissConnect();
    ASSERT_TRUE(pumpUntil([&] { return window->topPresentedViewController() == nullptr; }));

    presentAndWaitForPage();
    logIn("SANDBOXBANK", "badexchange", "secret");
    ASSERT_TRUE(pumpUntil([&] { return messageScreenShown(); }));
    expectSameUnderDarkHost(window.get(), "connect-exchange-error");
}
