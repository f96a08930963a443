#include <QGuiApplication>
#include <gtest/gtest.h>

#include "core/internal/KOVFontRegistration.h"
#include "core/internal/KOVProcessState.h"
#include "core/KOVScreensProvider.h"
#include "platform/ui/FontRegistry.h"
#include "ui/KovaUI.h"
#include "ui/look/KOVFontManager.h"

using namespace kova;

TEST(FontsWithoutGuiTest, RegistrationWaitsForAGuiInsteadOfBeingUsedUp)
{
    ASSERT_EQ(qobject_cast<QGuiApplication *>(QCoreApplication::instance()), nullptr);
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
    internal::KOVProcessState::resetFontRegistration();
    // The app-wide state starts the registration: the files are read and
    // wait; registering them with Qt now would crash.
    startFontRegistration();
    EXPECT_EQ(platform::FontRegistry::registerPending(), 0);
    for (const QString &name : KOVFontManager::allNames())
        EXPECT_FALSE(platform::FontRegistry::isRegistered(name)) << name.toStdString();
    // The data is taken, so a GUI made later registers every file: a second
    // hand-over of the same name is refused as already given.
    EXPECT_FALSE(platform::FontRegistry::registerFont(KOVFontManager::bold(), QByteArray("x")));
    // Asking for a font still answers, with the default family at the size.
    const QFont font = KOVFontManager::font(KOVFontManager::semiBold(), 16);
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_TRUE(platform::FontRegistry::familyForName(KOVFontManager::semiBold()).isEmpty());
    KOVScreensProvider::install(nullptr);
}
