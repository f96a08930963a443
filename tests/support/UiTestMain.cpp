// The main of the screen tests: a QApplication (widgets need one) on the main
// thread, offscreen, with animations off so transitions end on the next loop
// turns; otherwise as every test main.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/ui/Application.h"
#include "tests/support/TestSupport.h"

int main(int argc, char **argv)
{
    QTemporaryDir home;
    kova::test::prepareEnvironment(home.path());
    QApplication app(argc, argv);
    kova::test::prepareApplication(home.path());
    kova::platform::Application::shared().setAnimationsEnabled(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
