// The screens under a host that has a dark look of its own: each must draw
// exactly as it does under the platform's light defaults.
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

#include "core/KOVConstants.h"
#include "core/api/MFAParameter.h"
#include "core/records/KOVFinancialInstitutionColor.h"
#include "platform/foundation/Error.h"
#include "platform/ui/ViewHelpers.h"
#include "tests/ui/HostLook.h"
#include "tests/ui/ScreenFixture.h"
#include "ui/messages/MessageViewController.h"
#include "ui/messages/ResultViewController.h"
#include "ui/mfa/MFANavigationController.h"
#include "ui/mfa/MFAOnboardingViewController.h"
#include "ui/mfa/MFATextField.h"

using namespace kova;

namespace {

platform::Error serverError(qint64 code, const QString &description)
{
    return platform::Error(KOVErrorDomain, code, {{platform::NSLocalizedDescriptionKey, description}});
}

struct Sheet {
    QString name;
    std::function<std::shared_ptr<platform::ViewController>()> make;
};

// The message and result screens, in the states a host sees most.
QList<Sheet> sheets()
{
    return {
        {"message-error", [] { return MessageViewController::initWithError(serverError(2008, "Your account is locked."), {}); }},
        {"message-still-image",
         [] { return MessageViewController::initWithImageNamed("Success", "All done", "Nothing more to do.", {}); }},
        {"result-success", [] {
             auto scheme = std::make_shared<KOVFinancialInstitutionColor>();
             scheme->setSecondaryColor(QColor(0x1F, 0x6F, 0xEB));
             return ResultViewController::initWithColorScheme(scheme, true, "Your bank is connected.");
         }},
    };
}

class DarkHostScreenshotTest : public test::ScreenFixture {
protected:
    // Presented as the SDK presents it, as a sheet over the host's screen.
    void show(const std::shared_ptr<platform::ViewController> &screen)
    {
        bool shown = false;
        ASSERT_TRUE(root->present(screen, false, [&] { shown = true; }));
        ASSERT_TRUE(test::waitUntil([&] { return shown; }));
        platform::layoutNow(screen->view());
    }
};

} // namespace

TEST_F(DarkHostScreenshotTest, MessageAndResultScreens)
{
    for (const auto &s : sheets()) {
        SCOPED_TRACE(s.name.toStdString());
        show(s.make());
        test::expectSameUnderDarkHost(window.get(), s.name);
        dismissAll();
    }
}

TEST_F(DarkHostScreenshotTest, MFASheetAndGuide)
{
    auto otp = std::make_shared<MFAParameter>();
    otp->setIdentifier("otp");
    otp->setQuery("Enter the code we sent to your phone");
    KOVFinancialInstitutionColor colours;
    colours.setPrimaryColor(QColor(0x12, 0x34, 0x56));
    colours.setSecondaryColor(QColor(0xE0, 0x60, 0x20));
    auto sheet = MFANavigationController::initWithUserInput({otp}, colours, QString(), "SANDBOXBANK");
    show(sheet);
    // The field with its placeholder, then with an answer typed.
    sheet->mfaViewController()->view()->setFocus();
    test::pump();
    test::expectSameUnderDarkHost(window.get(), "mfa-code");
    auto *field = qobject_cast<MFATextField *>(sheet->mfaViewController()->textFields().value(0));
    ASSERT_TRUE(field);
    test::type(field, "123456");
    sheet->mfaViewController()->view()->setFocus();
    test::expectSameUnderDarkHost(window.get(), "mfa-code-typed");
    dismissAll();

    // A bank that asks many questions: a list longer than the sheet.
    QList<std::shared_ptr<MFAParameter>> prompts;
    for (int i = 0; i < 6; ++i) {
        auto prompt = std::make_shared<MFAParameter>();
        prompt->setIdentifier(QStringLiteral("answer-%1").arg(i));
        prompt->setIndex(i);
        prompt->setQuery(QStringLiteral("Security question %1").arg(i + 1));
        prompts.append(prompt);
    }
    auto longSheet = MFANavigationController::initWithUserInput(prompts, colours, QString(), "SANDBOXBANK");
    show(longSheet);
    longSheet->mfaViewController()->view()->setFocus();
    test::expectSameUnderDarkHost(window.get(), "mfa-many-prompts");
    dismissAll();

    auto guide = std::make_shared<MFAOnboardingViewController>();
    show(guide);
    test::expectSameUnderDarkHost(window.get(), "mfa-onboarding");
}

// The usual order: a host sets its theme at start-up, then makes its window,
// and only later does a screen of ours go up under it.
TEST_F(DarkHostScreenshotTest, AStyleSheetSetBeforeTheScreensGoUpChangesNothing)
{
    QList<Sheet> screens = sheets();
    screens.append({"mfa-onboarding", [] { return std::make_shared<MFAOnboardingViewController>(); }});
    for (const auto &s : screens) {
        show(s.make());
        test::pump();
        const QImage plain = test::grab(window.get());
        dismissAll();
        for (const auto kind : {test::HostLookKind::HostileStyleSheet, test::HostLookKind::DarkThemeStyleSheet}) {
            SCOPED_TRACE((test::HostLook::prefix(kind) + s.name).toStdString());
            window.reset();
            QImage hosted;
            {
                test::HostLook host(kind);
                window = test::makeWindow(root);
                show(s.make());
                test::pump();
                hosted = test::grab(window.get());
                test::grabPng(window.get(), test::HostLook::prefix(kind) + s.name + "-from-start");
                dismissAll();
            }
            EXPECT_EQ(test::differingPixels(plain, hosted), 0);
        }
    }
}
