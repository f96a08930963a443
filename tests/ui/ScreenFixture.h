#pragma once

#include <gtest/gtest.h>
#include <memory>

#include "platform/foundation/Bundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"
#include "ui/look/KOVFontManager.h"

namespace kova::test {

// A fresh device and the host's window with a plain root screen, in English,
// with the SDK's fonts registered as a started SDK has them; whatever a test
// left presented goes before the window does.
class ScreenFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetDataDirectory();
        KOVFontManager::startLoading();
        platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
        platform::Application::shared().setAnimationsEnabled(false);
        root = std::make_shared<platform::ViewController>();
        window = makeWindow(root);
    }
    void TearDown() override
    {
        dismissAll();
        window.reset();
    }

    // Takes everything off the root screen and waits until it has gone.
    void dismissAll()
    {
        if (!root->presentedViewController())
            return;
        bool gone = false;
        root->dismiss(false, [&] { gone = true; });
        ASSERT_TRUE(waitUntil([&] { return gone; }));
    }

    std::shared_ptr<platform::ViewController> root;
    WindowPtr window;
};

} // namespace kova::test
