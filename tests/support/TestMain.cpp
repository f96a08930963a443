// The main of every test executable: a Qt application object on the main
// thread (the SDK's main queue) and a private data directory, so that no test
// ever touches the real home directory.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

int main(int argc, char **argv)
{
    QTemporaryDir home;
    kova::test::prepareEnvironment(home.path());
    QCoreApplication app(argc, argv);
    kova::test::prepareApplication(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
