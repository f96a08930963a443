#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "animatedgif/view/KGAnimatedImageView.h"
#include "core/KOVConstants.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Application.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"
#include "tests/ui/ScreenFixture.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/messages/MessageViewController.h"
#include "ui/messages/ResultViewController.h"

using namespace kova;

namespace {

platform::Error serverError(qint64 code, const QString &description, const QJsonObject &reply = {})
{
    QVariantMap info;
    if (!description.isNull())
        info.insert(platform::NSLocalizedDescriptionKey, description);
    if (!reply.isEmpty())
        info.insert(KOVErrorInfoKey, reply.toVariantMap());
    return platform::Error(KOVErrorDomain, code, info);
}

class RecordingMessageDelegate : public MessageViewControllerDelegate {
public:
    void messageViewControllerDidTapButton(MessageViewController &controller) override { taps.append(&controller); }
    QList<MessageViewController *> taps;
};

// Implements nothing: the screen must not act for it.
class SilentDelegate : public MessageViewControllerDelegate, public ResultViewControllerDelegate {};

class RecordingResultDelegate : public ResultViewControllerDelegate {
public:
    void resultViewControllerDidSuccess(ResultViewController &) override { ++successes; }
    void resultViewControllerDidFailAndTryAgain(ResultViewController &) override { ++retries; }
    int successes = 0;
    int retries = 0;
};

class MessageScreenTest : public test::ScreenFixture {
protected:
    void show(const std::shared_ptr<platform::ViewController> &screen)
    {
        screen->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
        bool shown = false;
        ASSERT_TRUE(root->present(screen, false, [&] { shown = true; }));
        ASSERT_TRUE(test::waitUntil([&] { return shown; }));
        platform::layoutNow(screen->view());
    }
};

} // namespace

TEST(MessageTexts, ErrorCodesChooseTitleAndImage)
{
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
    const struct {
        qint64 code;
        QString title;
        QString image;
    } cases[] = {
        {2004, "You are already signed in", "ExclamationError"},
        {2005, "You don't have enough balance", "ExclamationError"},
        {2006, "Please wait", "ExclamationError"},
        {2007, "You were signed out", "ExclamationError"},
        {2008, "Account locked", "LockError"},
        {2009, "Please wait", "ExclamationError"},
        {2010, "You don't have enough balance", "ExclamationError"},
        {2011, "You were signed out", "ExclamationError"},
        {0, "Error", "ExclamationError"},
        {1003, "Error", "ExclamationError"},
        {2000, "Error", "ExclamationError"},
        {2002, "Error", "ExclamationError"},
        {2012, "Error", "ExclamationError"},
    };
    for (const auto &c : cases) {
        // Only the code counts: a foreign domain with the same code reads the same.
        for (const QString &domain : {KOVErrorDomain, QStringLiteral("NSURLErrorDomain")}) {
            const platform::Error error(domain, c.code, {{platform::NSLocalizedDescriptionKey, "x"}});
            auto screen = MessageViewController::initWithError(error, {});
            EXPECT_EQ(screen->titleText(), c.title) << c.code;
            EXPECT_EQ(MessageViewController::imageNameForError(error), c.image) << c.code;
            ASSERT_FALSE(screen->image().isNull()) << c.code;
            EXPECT_EQ(screen->image(), AssetsLoader::imageNamed(c.image)) << c.code;
            EXPECT_FALSE(screen->isGifImage());
        }
    }
}

TEST(MessageTexts, CoolDownSentenceFromTheReply)
{
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
    const QString description = QStringLiteral("Beneficiary is cooling down");
    const auto message = [&](const QJsonValue &period) {
        QJsonObject reply{{"success", false}, {"msg", description}};
        if (!period.isUndefined())
            reply.insert("coolDownPeriod", period);
        return MessageViewController::messageForError(serverError(2009, description, reply));
    };
    EXPECT_EQ(message(QJsonObject{{"value", 24}, {"unit", "hours"}}),
              "This beneficiary becomes active in 24 hours. Please try again then.");
    // Numbers in their shortest form; text as it stands; a missing unit shows as nothing.
    EXPECT_EQ(message(QJsonObject{{"value", 1.5}, {"unit", "days"}}),
              "This beneficiary becomes active in 1.5 days. Please try again then.");
    EXPECT_EQ(message(QJsonObject{{"value", "2"}, {"unit", "weeks"}}),
              "This beneficiary becomes active in 2 weeks. Please try again then.");
    EXPECT_EQ(message(QJsonObject{{"value", 3}}), "This beneficiary becomes active in 3 . Please try again then.");
    // Placeholders in the reply's own texts are never expanded.
    EXPECT_EQ(message(QJsonObject{{"value", "%@"}, {"unit", "%d%n"}}),
              "This beneficiary becomes active in %@ %d%n. Please try again then.");
    // Only an object is a period: anything else leaves the description as it is, not looked up.
    EXPECT_EQ(message(QJsonValue("3 days")), description);
    EXPECT_EQ(message(QJsonValue(5)), description);
    EXPECT_EQ(message(QJsonValue()), description);
    EXPECT_EQ(message(QJsonValue::Undefined), description);
    EXPECT_EQ(MessageViewController::messageForError(serverError(2009, "PleaseWait")), "PleaseWait");
}

TEST(MessageTexts, PlaceholdersAreFilledInOrderAndNeverFormatted)
{
    EXPECT_EQ(platform::fillPlaceholders("in %@ %@.", {"3", "days"}), "in 3 days.");
    EXPECT_EQ(platform::fillPlaceholders("%d %@ %s %@ %@ %", {"a", "b"}), "%d a %s b %@ %");
    EXPECT_EQ(platform::fillPlaceholders("%@%@", {"%@", "x"}), "%@x");
    EXPECT_EQ(platform::fillPlaceholders("no slots", {"a"}), "no slots");
}

TEST(MessageTexts, DescriptionsAreLookedUpAsKeys)
{
    platform::Bundle::setPreferredLanguages({QStringLiteral("en")});
    const QString fallback = QStringLiteral("Something went wrong. Please try again.");
    EXPECT_EQ(MessageViewController::messageForError(platform::Error(KOVErrorDomain, 2002)), fallback);
    EXPECT_EQ(MessageViewController::messageForError(serverError(2002, "")), fallback);
    EXPECT_EQ(MessageViewController::messageForError(serverError(2002, " \n\t ")), fallback);
    EXPECT_EQ(MessageViewController::messageForError(serverError(2004, "PleaseWait")), "Please wait");
    EXPECT_EQ(MessageViewController::messageForError(serverError(0, "The bank is offline")), "The bank is offline");
}

TEST_F(MessageScreenTest, ErrorScreenComposition)
{
    auto screen = MessageViewController::initWithError(serverError(2008, "<b>Locked</b> &amp; gone"), {});
    show(screen);
    const QWidget *view = screen->view();
    ASSERT_EQ(view->size(), QSize(390, 844));
    EXPECT_EQ(static_cast<platform::View *>(screen->view())->backgroundColor(), KOVTheme::backgroundColor());

    platform::View *card = screen->cardView();
    EXPECT_EQ(card->backgroundColor(), QColor(0xff, 0xff, 0xff));
    EXPECT_EQ(card->cornerRadius(), 24);
    EXPECT_TRUE(card->clipsToBounds());
    EXPECT_EQ(card->borderColor(), QColor(0xED, 0xF0, 0xF5));
    EXPECT_EQ(card->borderWidth(), 1);
    EXPECT_EQ(card->width(), 351);
    EXPECT_NEAR(card->geometry().center().x(), 195, 1);
    EXPECT_NEAR(card->geometry().center().y(), 422, 1);

    EXPECT_EQ(screen->imageView()->height(), 28);
    EXPECT_EQ(screen->imageView()->image(), AssetsLoader::imageNamed("LockError"));
    EXPECT_EQ(screen->imageView()->contentMode(), platform::ImageView::ContentMode::ScaleAspectFit);
    // Content 56 points inside the card's top and 32 inside its sides.
    EXPECT_EQ(screen->imageView()->geometry().top(), 56);
    EXPECT_EQ(screen->imageView()->geometry().left(), 32);
    EXPECT_EQ(screen->titleLabel()->geometry().top() - screen->imageView()->geometry().bottom() - 1, 44);
    EXPECT_EQ(screen->messageLabel()->geometry().top() - screen->titleLabel()->geometry().bottom() - 1, 12);
    EXPECT_EQ(card->height() - screen->messageLabel()->geometry().bottom() - 1, 56);

    EXPECT_EQ(screen->titleLabel()->text(), "Account locked");
    EXPECT_EQ(screen->titleLabel()->font(), KOVFontManager::font(KOVFontManager::bold(), 20));
    EXPECT_EQ(screen->titleLabel()->numberOfLines(), 0);
    // A server's text is shown as typed, never as markup.
    EXPECT_EQ(screen->messageLabel()->text(), "<b>Locked</b> &amp; gone");
    EXPECT_EQ(screen->messageLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(screen->messageLabel()->font(), KOVFontManager::font(KOVFontManager::regular(), 16));

    KOVButton *button = screen->button();
    EXPECT_EQ(button->currentTitle(), "OK");
    EXPECT_EQ(button->parentWidget(), view);
    EXPECT_EQ(button->size(), QSize(312, 56));
    EXPECT_NEAR(button->geometry().center().x(), 195, 1);
    EXPECT_EQ(button->geometry().bottom() + 1, 844 - 34 - 8);
}

TEST_F(MessageScreenTest, StillImageScreenAndMissingArtwork)
{
    auto screen = MessageViewController::initWithImageNamed("Success", "Done", "All good", {});
    EXPECT_EQ(screen->image(), AssetsLoader::imageNamed("Success"));
    show(screen);
    EXPECT_EQ(screen->titleLabel()->text(), "Done");
    EXPECT_EQ(screen->messageLabel()->text(), "All good");
    EXPECT_EQ(screen->imageView()->height(), 28);

    // A name the resources lack shows nothing in its place, with the same room.
    auto missing = MessageViewController::initWithImageNamed("NoSuchArtwork", "T", "M", {});
    EXPECT_TRUE(missing->image().isNull());
    dismissAll();
    show(missing);
    EXPECT_TRUE(missing->imageView()->image().isNull());
    EXPECT_EQ(missing->imageView()->height(), 28);
}

TEST_F(MessageScreenTest, GifScreenPlaysOnAppearance)
{
    auto screen = MessageViewController::initWithImageGifNamed("successful_transfer", "Transfer successful",
                                                              "Reference number: R-1", {});
    ASSERT_TRUE(screen->isGifImage());
    ASSERT_TRUE(screen->gifImage()) << "decoded when the screen is made";
    EXPECT_TRUE(screen->image().isNull());
    show(screen);
    KGAnimatedImageView *image = screen->imageView();
    EXPECT_EQ(image->height(), 44);
    EXPECT_EQ(image->runLoopMode(), platform::RunLoopMode::Common);
    EXPECT_EQ(image->animatedImage(), screen->gifImage());
    EXPECT_TRUE(test::waitUntil([&] { return image->isAnimating(); }));

    // A GIF the resources lack leaves the area empty.
    auto missing = MessageViewController::initWithImageGifNamed("no_such_gif", "T", "M", {});
    EXPECT_TRUE(missing->isGifImage());
    EXPECT_FALSE(missing->gifImage());
}

TEST_F(MessageScreenTest, TheButtonOnlyTellsTheDelegate)
{
    auto delegate = std::make_shared<RecordingMessageDelegate>();
    auto screen = MessageViewController::initWithError(serverError(2002, "x"), delegate);
    show(screen);
    test::tap(screen->button());
    ASSERT_EQ(delegate->taps.size(), 1);
    EXPECT_EQ(delegate->taps.first(), screen.get());
    test::drainMainQueue();
    EXPECT_EQ(root->presentedViewController(), screen) << "the screen never dismisses itself";

    auto silent = std::make_shared<SilentDelegate>();
    screen->setDelegate(silent);
    test::tap(screen->button());
    screen->setDelegate({});
    test::tap(screen->button());
    delegate.reset();
    test::drainMainQueue();
    EXPECT_EQ(root->presentedViewController(), screen);
}

TEST_F(MessageScreenTest, ResultScreenSuccessAndFailure)
{
    auto scheme = std::make_shared<KOVFinancialInstitutionColor>();
    scheme->setPrimaryColor(QColor(10, 20, 30));
    scheme->setSecondaryColor(QColor(200, 40, 60));
    auto delegate = std::make_shared<RecordingResultDelegate>();

    auto success = ResultViewController::initWithColorScheme(scheme, true, "Linked <i>ok</i>");
    success->setDelegate(delegate);
    show(success);
    EXPECT_EQ(success->imageView()->image(), AssetsLoader::imageNamed("Success"));
    EXPECT_EQ(success->imageView()->height(), 36);
    EXPECT_EQ(success->resultLabel()->text(), "Linked <i>ok</i>");
    EXPECT_EQ(success->resultLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(success->resultLabel()->font(), KOVFontManager::font(KOVFontManager::medium(), 18));
    EXPECT_EQ(success->resultLabel()->textColor(), QColor(Qt::black));
    EXPECT_EQ(success->stackView()->width(), 351);
    EXPECT_EQ(success->actionButton()->currentTitle(), "Continue");
    EXPECT_EQ(success->actionButton()->titleColorForState(platform::Button::State::Normal), QColor(Qt::white));
    EXPECT_EQ(success->actionButton()->titleFont(), KOVFontManager::font(KOVFontManager::bold(), 16));
    EXPECT_EQ(success->actionButton()->backgroundImageForState(platform::Button::State::Normal).pixelColor(0, 0),
              QColor(200, 40, 60));
    EXPECT_EQ(success->actionButton()->size(), QSize(351, 64));
    test::tap(success->actionButton());
    EXPECT_EQ(delegate->successes, 1);
    EXPECT_EQ(delegate->retries, 0);
    dismissAll();

    // "Close" still asks to try again; with no scheme the button has no colour.
    auto failure = ResultViewController::initWithColorScheme(nullptr, false, "Failed");
    failure->setDelegate(delegate);
    show(failure);
    EXPECT_EQ(failure->imageView()->image(), AssetsLoader::imageNamed("Failure"));
    EXPECT_EQ(failure->actionButton()->currentTitle(), "Close");
    EXPECT_TRUE(failure->actionButton()->backgroundImageForState(platform::Button::State::Normal).isNull());
    failure->setShowsTryAgian(true);
    failure->setMessage("changed");
    EXPECT_EQ(failure->actionButton()->currentTitle(), "Close") << "read when the view loads only";
    EXPECT_EQ(failure->resultLabel()->text(), "Failed");
    test::tap(failure->actionButton());
    EXPECT_EQ(delegate->retries, 1);
    failure->setDelegate(std::make_shared<SilentDelegate>());
    test::tap(failure->actionButton());
    EXPECT_EQ(delegate->retries, 1);
    dismissAll();

    auto tryAgain = ResultViewController::initWithColorScheme(scheme, false, "Failed");
    tryAgain->setShowsTryAgian(true);
    show(tryAgain);
    EXPECT_EQ(tryAgain->actionButton()->currentTitle(), "Try again");
}

TEST_F(MessageScreenTest, ResultButtonClearsABottomEdgeWithoutInset)
{
    window->setSafeAreaInsets(QMargins(0, 20, 0, 0));
    auto screen = ResultViewController::initWithColorScheme(nullptr, true, "Done");
    show(screen);
    EXPECT_EQ(screen->actionButton()->geometry().bottom() + 1, 844 - 16);
    EXPECT_NEAR(screen->actionButton()->geometry().center().x(), 195, 1);
}

TEST_F(MessageScreenTest, ScreenshotsOfEveryState)
{
    const auto shoot = [&](const std::shared_ptr<platform::ViewController> &screen, const QString &name) {
        show(screen);
        EXPECT_FALSE(test::grabPng(window.get(), name).isEmpty()) << name.toStdString();
        dismissAll();
    };
    shoot(MessageViewController::initWithError(serverError(2005, "Your balance is lower than the amount."), {}),
          "message-error-description");
    shoot(MessageViewController::initWithError(serverError(2002, QString()), {}), "message-error-no-description");
    shoot(MessageViewController::initWithError(
              serverError(2009, "cooling down", QJsonObject{{"coolDownPeriod", QJsonObject{{"value", 24}, {"unit", "hours"}}}}),
              {}),
          "message-cool-down");
    shoot(MessageViewController::initWithImageGifNamed("successful_transfer", "Transfer successful",
                                                       "Your money is on its way. Reference number: R-1042", {}),
          "message-transfer-success");
    auto scheme = std::make_shared<KOVFinancialInstitutionColor>();
    scheme->setSecondaryColor(QColor(0x1F, 0x6F, 0xEB));
    shoot(ResultViewController::initWithColorScheme(scheme, true, "Your bank is connected."), "result-success");
    shoot(ResultViewController::initWithColorScheme(scheme, false, "We could not connect your bank."),
          "result-failure");
}
