#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>
#include <QPainter>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"
#include "tests/ui/ScreenFixture.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVFontManager.h"
#include "ui/mfa/ButtonTableFooterView.h"
#include "ui/mfa/MFANavigationController.h"
#include "ui/mfa/MFAOnboardingViewController.h"
#include "ui/mfa/MFASheetPresenter.h"
#include "ui/mfa/MFATableViewCell.h"
#include "ui/mfa/MFATextField.h"
#include "ui/mfa/MFAWarningLabel.h"

using namespace kova;

namespace {

std::shared_ptr<MFAParameter> prompt(const QString &id, const QString &query, int index)
{
    return MFAParameter::initWithDictionary(QJsonObject{{"id", id}, {"query", query}, {"index", index}});
}

// A captcha as a bank might send it: a small picture of distorted text.
QString captchaPngBase64()
{
    QImage image(240, 80, QImage::Format_RGB32);
    image.fill(QColor(0xF2, 0xEE, 0xE3));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    for (int x = 0; x < 240; x += 24)
        painter.drawLine(x, 0, x + 40, 80);
    QFont font = painter.font();
    font.setPixelSize(44);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x30, 0x60));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("W7XK"));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(png.toBase64());
}

// A 2x1 PNG, red then blue.
QString tinyPngBase64()
{
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixelColor(0, 0, Qt::red);
    image.setPixelColor(1, 0, Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(png.toBase64());
}

KOVFinancialInstitutionColor bankColours()
{
    KOVFinancialInstitutionColor colours;
    colours.setPrimaryColor(QColor(0x12, 0x34, 0x56));
    colours.setSecondaryColor(QColor(0xE0, 0x60, 0x20));
    return colours;
}

class MFAScreenTest : public test::ScreenFixture {
protected:

    std::shared_ptr<MFANavigationController> show(MFAViewController::Prompts prompts,
                                                  const QString &bankID = QStringLiteral("SANDBOXBANK"))
    {
        auto sheet = MFANavigationController::initWithUserInput(std::move(prompts), bankColours(), QString(), bankID);
        sheet->setMfaValuesSubmitted([this](const MFAViewController::Prompts &p) { submitted.append(p); });
        sheet->setMfaCancelled([this] { ++cancels; });
        bool shown = false;
        EXPECT_TRUE(root->present(sheet, false, [&] { shown = true; }));
        EXPECT_TRUE(test::waitUntil([&] { return shown; }));
        platform::layoutNow(sheet->mfaViewController()->view());
        return sheet;
    }

    static MFATextField *field(const std::shared_ptr<MFANavigationController> &sheet, int i)
    {
        return qobject_cast<MFATextField *>(sheet->mfaViewController()->textFields().value(i));
    }
    static platform::Button *confirm(const std::shared_ptr<MFANavigationController> &sheet)
    {
        return sheet->mfaViewController()->tableFooterView()->button();
    }

    QList<MFAViewController::Prompts> submitted;
    int cancels = 0;
};

} // namespace

TEST_F(MFAScreenTest, OneCodePromptAndConfirmFollowsTheAnswer)
{
    auto otp = prompt("otp", "Enter the <b>code</b> we sent", 0);
    auto sheet = show({otp});
    auto screen = sheet->mfaViewController();

    EXPECT_EQ(sheet->navigationBar()->shownTitle(), "Authenticate");
    EXPECT_EQ(sheet->navigationBar()->titleColor(), QColor(Qt::white));
    // The title in the platform's bar-title face (the system's semibold at
    // 17 points), white; Cancel keeps the system's bold.
    auto *title = qobject_cast<platform::Label *>(sheet->navigationBar()->titleWidget());
    ASSERT_TRUE(title);
    EXPECT_NE(QFontInfo(title->font()).family(), "Muli");
    EXPECT_EQ(title->font().family(), sheet->navigationBar()->font().family());
    EXPECT_EQ(QFontInfo(title->font()).pixelSize(), 17);
    EXPECT_EQ(title->font().weight(), QFont::DemiBold);
    EXPECT_EQ(title->textColor(), QColor(Qt::white));
    ASSERT_EQ(sheet->navigationBar()->rightItemWidgets().size(), 1);
    auto *cancel = qobject_cast<platform::Button *>(sheet->navigationBar()->rightItemWidgets().first());
    ASSERT_TRUE(cancel);
    EXPECT_NE(QFontInfo(cancel->titleFont()).family(), "Muli");
    EXPECT_TRUE(cancel->titleFont().bold());
    EXPECT_TRUE(sheet->navigationBar()->isTranslucent());
    EXPECT_TRUE(sheet->navigationBar()->backgroundImage().isNull());
    ASSERT_EQ(screen->navigationItem().rightBarButtonItems().size(), 1u);
    EXPECT_EQ(screen->navigationItem().rightBarButtonItems().front()->title(), "Cancel");
    EXPECT_EQ(static_cast<platform::View *>(screen->view())->backgroundColor(), QColor(0x12, 0x34, 0x56));

    // Rows: logo, header, warning, the question, its field.
    const QList<QWidget *> rows = screen->inputViews();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], screen->logoView());
    EXPECT_EQ(rows[0]->height(), 50);
    EXPECT_EQ(rows[1], screen->headerLabel());
    EXPECT_EQ(screen->headerLabel()->font(), KOVFontManager::font(KOVFontManager::regular(), 18));
    auto *warning = qobject_cast<MFAWarningLabel *>(rows[2]);
    ASSERT_TRUE(warning);
    EXPECT_EQ(warning->text(), "Please do not sign in to your bank's app or website until this step is complete.");
    ASSERT_EQ(warning->runs().size(), 3);
    EXPECT_EQ(warning->runs()[0].font, KOVFontManager::font(KOVFontManager::medium(), 16));
    EXPECT_EQ(warning->runs()[1].text, "do not");
    EXPECT_EQ(warning->runs()[1].font, KOVFontManager::font(KOVFontManager::bold(), 16));
    EXPECT_EQ(warning->runs()[2].color, QColor(Qt::white));
    EXPECT_EQ(warning->backgroundColor(), QColor(0x2A, 0x2B, 0x38, 51));
    EXPECT_EQ(warning->cornerRadius(), 8);
    auto *question = qobject_cast<platform::Label *>(rows[3]);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->text(), "Enter the <b>code</b> we sent");
    EXPECT_EQ(question->textFormat(), Qt::PlainText);
    EXPECT_EQ(question->font(), KOVFontManager::font(KOVFontManager::regular(), 16));
    MFATextField *code = field(sheet, 0);
    ASSERT_EQ(rows[4], code);
    EXPECT_EQ(code->mfaParameter(), otp);
    EXPECT_EQ(code->placeholderText(), "OTP");
    EXPECT_EQ(code->height(), 64);
    EXPECT_EQ(code->font(), KOVFontManager::font(KOVFontManager::regular(), 16));
    ASSERT_TRUE(code->leftView());
    EXPECT_EQ(code->leftView()->size(), QSize(64, 64));

    // Each row sits 8 points inside its cell, 90% of the list's width.
    auto *cell = qobject_cast<MFATableViewCell *>(screen->tableView()->cellForRow({0, 4}));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->rowView(), code);
    EXPECT_EQ(code->geometry().top(), 8);
    EXPECT_EQ(cell->height(), 64 + 16);
    EXPECT_NEAR(code->width(), 0.9 * screen->tableView()->viewport()->width(), 1);
    EXPECT_EQ(screen->tableContentInsets(), QMargins(0, 24, 0, 8));

    ButtonTableFooterView *footer = screen->tableFooterView();
    EXPECT_EQ(footer->height(), 76);
    EXPECT_EQ(confirm(sheet)->currentTitle(), "Confirm");
    EXPECT_EQ(confirm(sheet)->size(), QSize(int(footer->width() * 0.9), 64));
    EXPECT_FALSE(confirm(sheet)->isEnabled());
    EXPECT_EQ(confirm(sheet)->backgroundImageForState(platform::Button::State::Normal).pixelColor(0, 0),
              QColor(0xE0, 0x60, 0x20));
    EXPECT_EQ(confirm(sheet)->backgroundImageForState(platform::Button::State::Disabled).pixelColor(0, 0).alpha(), 128);

    ASSERT_TRUE(test::waitUntil([&] { return code->hasFocus(); })) << "the first field takes the keyboard";
    test::type(code, "4");
    EXPECT_EQ(otp->answer(), "4");
    EXPECT_TRUE(confirm(sheet)->isEnabled());
    test::pressKey(code, Qt::Key_Backspace);
    EXPECT_EQ(otp->answer(), "");
    EXPECT_FALSE(confirm(sheet)->isEnabled());
    test::type(code, " ");
    EXPECT_TRUE(confirm(sheet)->isEnabled()) << "a blank counts as an answer here";
    test::type(code, "123");

    test::tap(confirm(sheet));
    ASSERT_EQ(submitted.size(), 1);
    EXPECT_EQ(submitted[0], MFAViewController::Prompts{otp});
    EXPECT_EQ(otp->answer(), " 123");
    EXPECT_FALSE(confirm(sheet)->isVisible());
    ASSERT_TRUE(footer->animatedImageView());
    EXPECT_TRUE(footer->animatedImageView()->isVisible());
    EXPECT_EQ(footer->animatedImageView()->size(), QSize(120, 120));
    EXPECT_FALSE(footer->animatedImageView()->animation().isNull());
    EXPECT_FALSE(code->hasFocus()) << "Confirm ends editing";

    // Confirm reports once; neither a second Confirm nor a Cancel reports again.
    screen->submit();
    screen->dismissSelf();
    EXPECT_EQ(submitted.size(), 1);
    EXPECT_EQ(cancels, 0);
}

TEST_F(MFAScreenTest, TheConfirmAnimationShowsWholeOverTheFootersEdges)
{
    auto sheet = show({prompt("otp", "Enter the code we sent", 0)});
    auto screen = sheet->mfaViewController();
    ButtonTableFooterView *footer = screen->tableFooterView();
    test::type(field(sheet, 0), "123456");
    const QImage before = test::grab(window.get());
    test::tap(confirm(sheet));
    AnimatedFramesView *animation = footer->animatedImageView();
    ASSERT_TRUE(animation);
    ASSERT_TRUE(animation->isVisible());
    EXPECT_EQ(footer->height(), 76) << "the footer keeps its height";

    // 120 points square on the footer's centre, reaching 22 points past its
    // top and bottom edges, and not cut to the footer.
    const QRect footerRect(footer->mapTo(window.get(), QPoint(0, 0)), footer->size());
    const QRect shown(animation->mapTo(window.get(), QPoint(0, 0)), animation->size());
    EXPECT_EQ(shown.size(), QSize(120, 120));
    EXPECT_EQ(shown.top(), footerRect.top() - 22);
    EXPECT_EQ(shown.bottom(), footerRect.bottom() + 22);
    EXPECT_EQ(shown.left(), footerRect.left() + (footerRect.width() - 120) / 2);
    EXPECT_EQ(animation->visibleRegion(), QRegion(animation->rect()));

    // Where it overhangs, the window shows the animation: the strips above
    // and below the footer differ from the same strips before the tap.
    const QImage after = test::grab(window.get());
    const qreal ratio = after.devicePixelRatio();
    auto changed = [&](const QRect &points) {
        const QRect pixels(points.topLeft() * ratio, points.size() * ratio);
        int count = 0;
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            for (int x = pixels.left(); x <= pixels.right(); ++x)
                count += before.pixel(x, y) != after.pixel(x, y);
        }
        return count;
    };
    EXPECT_GT(changed(QRect(shown.left(), shown.top(), 120, 22)), 20) << "the part above the footer shows";
    EXPECT_GT(changed(QRect(shown.left(), footerRect.bottom() + 1, 120, 22)), 20) << "the part below the footer shows";

    // It takes no taps: the field above stays reachable where they overlap.
    const QPoint overField = field(sheet, 0)->mapTo(window.get(), QPoint(field(sheet, 0)->width() / 2, field(sheet, 0)->height() - 4));
    ASSERT_TRUE(shown.contains(overField));
    QWidget *hit = window->childAt(overField);
    EXPECT_TRUE(hit == field(sheet, 0) || field(sheet, 0)->isAncestorOf(hit));

    // It shows exactly while the footer does.
    footer->hide();
    EXPECT_FALSE(animation->isVisible());
    footer->show();
    EXPECT_TRUE(animation->isVisible());
}

TEST_F(MFAScreenTest, CaptchaAndTextPrompts)
{
    // Line breaks and blanks inside the Base64 text are skipped.
    QString wrapped = tinyPngBase64();
    for (qsizetype at = wrapped.size() - 8; at > 0; at -= 8)
        wrapped.insert(at, QStringLiteral("\r\n "));
    auto captcha = prompt("captcha", wrapped, 0);
    auto word = prompt("memorable word", "Your memorable word", 1);
    auto sheet = show({captcha, word});
    const QList<QWidget *> rows = sheet->mfaViewController()->inputViews();
    ASSERT_EQ(rows.size(), 7);
    auto *image = qobject_cast<platform::ImageView *>(rows[3]);
    ASSERT_TRUE(image) << "a captcha shows a picture instead of a question";
    EXPECT_EQ(image->height(), 80);
    EXPECT_EQ(image->contentMode(), platform::ImageView::ContentMode::ScaleAspectFit);
    EXPECT_EQ(image->image().size(), QSize(2, 1));
    EXPECT_EQ(image->image().pixelColor(1, 0), QColor(Qt::blue));
    EXPECT_EQ(field(sheet, 0)->placeholderText(), "Captcha");
    EXPECT_EQ(qobject_cast<platform::Label *>(rows[5])->text(), "Your memorable word");
    EXPECT_EQ(field(sheet, 1)->placeholderText(), "Memorable Word");

    // Confirm needs both answers.
    test::type(field(sheet, 0), "W7XK");
    EXPECT_FALSE(confirm(sheet)->isEnabled());
    test::type(field(sheet, 1), "otter");
    EXPECT_TRUE(confirm(sheet)->isEnabled());

    // A captcha that does not decode still gets its row and field.
    EXPECT_TRUE(MFAUIFactory::captchaImage("%%%not an image%%%").isNull());
}

TEST_F(MFAScreenTest, PromptsSharingAnIndexKeepTheirOwnAnswers)
{
    auto first = prompt("otp", "Code from SMS", 0);
    auto second = prompt("pin", "Card PIN", 0);
    auto sheet = show({first, second});
    test::type(field(sheet, 1), "9876");
    EXPECT_EQ(second->answer(), "9876");
    EXPECT_TRUE(first->answer().isNull());
    EXPECT_FALSE(confirm(sheet)->isEnabled());
    test::type(field(sheet, 0), "1111");
    EXPECT_EQ(first->answer(), "1111");
    EXPECT_EQ(second->answer(), "9876");
    EXPECT_TRUE(confirm(sheet)->isEnabled());
}

TEST_F(MFAScreenTest, ReturnWalksTheFieldsAndTheKeyboardMovesTheList)
{
    auto sheet = show({prompt("otp", "Code", 0), prompt("pin", "PIN", 1)});
    auto screen = sheet->mfaViewController();
    MFATextField *a = field(sheet, 0);
    MFATextField *b = field(sheet, 1);
    ASSERT_TRUE(test::waitUntil([&] { return a->hasFocus(); }));
    test::pressKey(a, Qt::Key_Return);
    EXPECT_TRUE(b->hasFocus());
    test::pressKey(b, Qt::Key_Return);
    EXPECT_FALSE(b->hasFocus());
    EXPECT_FALSE(a->hasFocus());

    platform::Keyboard::postShow(QRect(0, 508, 390, 336));
    EXPECT_EQ(screen->tableContentInsets(), QMargins(0, 24, 0, 336));
    platform::Keyboard::postHide(QRect(0, 844, 390, 336));
    EXPECT_EQ(screen->tableContentInsets(), QMargins(0, 24, 0, 0));
}

TEST_F(MFAScreenTest, CancelClosesAndReportsOnce)
{
    auto sheet = show({prompt("otp", "Code", 0)});
    auto screen = sheet->mfaViewController();
    test::type(field(sheet, 0), "55");
    screen->navigationItem().rightBarButtonItems().front()->trigger();
    EXPECT_EQ(cancels, 1);
    ASSERT_TRUE(test::waitUntil([&] { return !root->presentedViewController(); }));
    test::drainMainQueue();
    EXPECT_EQ(cancels, 1);
    // Confirm after Cancel does nothing.
    screen->submit();
    EXPECT_TRUE(submitted.isEmpty());
}

TEST_F(MFAScreenTest, ASheetTakenAwayByOthersCountsAsCancelled)
{
    auto sheet = show({prompt("otp", "Code", 0)});
    bool gone = false;
    root->dismiss(false, [&] { gone = true; });
    ASSERT_TRUE(test::waitUntil([&] { return gone; }));
    test::drainMainQueue();
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(submitted.isEmpty());
}

TEST_F(MFAScreenTest, FooterWithoutDelegateIgnoresTaps)
{
    ButtonTableFooterView footer;
    footer.resize(390, 76);
    footer.setIsEnabled(true);
    footer.show();
    platform::layoutNow(&footer);
    test::tap(footer.button());
    EXPECT_TRUE(footer.button()->isVisible());
    EXPECT_TRUE(footer.button()->isEnabled());
    EXPECT_FALSE(footer.animatedImageView());
}

TEST_F(MFAScreenTest, ReusedRowsDropThePreviousView)
{
    {
        QWidget home;
        QWidget other;
        MFATableViewCell cell;
        auto *first = new platform::Label("first", &home);
        auto *second = new platform::Label("second", &home);
        cell.setRowView(first, &home);
        cell.setRowView(second, &home);
        EXPECT_EQ(first->parentWidget(), &home) << "the previous row's view leaves the reused cell";
        EXPECT_TRUE(first->isHidden());
        EXPECT_EQ(second->parentWidget(), cell.contentView());
        // A view another row has taken meanwhile stays where it is.
        MFATableViewCell taker;
        taker.setRowView(second, &home);
        cell.setRowView(first, &home);
        EXPECT_EQ(second->parentWidget(), taker.contentView());
    }
    auto sheet = show({prompt("otp", "Code", 0), prompt("pin", "PIN", 1)});
    auto screen = sheet->mfaViewController();
    platform::TableView *table = screen->tableView();
    const QList<QWidget *> rows = screen->inputViews();
    auto *cell = qobject_cast<MFATableViewCell *>(table->cellForRow({0, 3}));
    ASSERT_TRUE(cell);
    ASSERT_EQ(cell->rowView(), rows[3]);
    table->reloadData();
    for (int row = 0; row < rows.size(); ++row) {
        auto *shown = qobject_cast<MFATableViewCell *>(table->cellForRow({0, row}));
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->rowView(), rows[row]) << row;
        int inContent = 0;
        for (QWidget *child : shown->contentView()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            inContent += rows.contains(child) ? 1 : 0;
        EXPECT_EQ(inContent, 1) << "row " << row << " shows one view only";
    }
}

TEST_F(MFAScreenTest, SmartPassBankShowsTheGuideOnceAndTheLowerCaseIdNone)
{
    auto lower = show({prompt("otp", "Code", 0)}, "ebilaead");
    EXPECT_EQ(field(lower, 0)->placeholderText(), "SmartPass Token");
    test::drainMainQueue();
    EXPECT_FALSE(lower->presentedViewController());
    EXPECT_FALSE(platform::UserDefaults::standard().boolean("MFAOnboardingCompleted"));
    dismissAll();

    auto upper = show({prompt("otp", "Code", 0)}, "EBILAEAD");
    EXPECT_EQ(field(upper, 0)->placeholderText(), "SmartPass Token");
    ASSERT_TRUE(test::waitUntil([&] { return upper->presentedViewController() != nullptr; }));
    EXPECT_TRUE(std::dynamic_pointer_cast<MFAOnboardingViewController>(
        upper->presentedViewController()));
    EXPECT_TRUE(platform::UserDefaults::standard().boolean("MFAOnboardingCompleted"));
    // Taking the sheet away takes the guide with it.
    dismissAll();
    EXPECT_FALSE(window->topPresentedViewController());

    auto again = show({prompt("otp", "Code", 0)}, "EBILAEAD");
    test::drainMainQueue();
    EXPECT_FALSE(again->presentedViewController()) << "once per installation";
}

TEST_F(MFAScreenTest, GuideWalksThreePagesAndCloses)
{
    auto guide = std::make_shared<MFAOnboardingViewController>();
    bool shown = false;
    root->present(guide, false, [&] { shown = true; });
    ASSERT_TRUE(test::waitUntil([&] { return shown; }));
    const QStringList texts{"Open your bank's mobile app on your phone.",
                            "In the app, choose the security token option.",
                            "Type the code the app shows into the field on this screen."};
    EXPECT_EQ(guide->baseView()->cornerRadius(), 20);
    EXPECT_EQ(guide->actionButton()->cornerRadius(), 16);
    EXPECT_EQ(guide->actionButton()->backgroundImageForState(platform::Button::State::Normal).pixelColor(0, 0),
              QColor(0x71, 0x9C, 0xDD));
    EXPECT_EQ(guide->instructionLabel()->font(), KOVFontManager::font(KOVFontManager::regular(), 16));
    EXPECT_EQ(guide->actionButton()->titleFont(), KOVFontManager::font(KOVFontManager::bold(), 16));
    EXPECT_EQ(guide->pageControl()->numberOfPages(), 3);
    for (int page = 0; page < 3; ++page) {
        EXPECT_EQ(guide->pageControl()->currentPage(), page);
        EXPECT_EQ(guide->imageView()->image(), AssetsLoader::imageNamed(QStringLiteral("ENBD-Onboarding-%1").arg(page)));
        EXPECT_EQ(guide->instructionLabel()->text(), texts[page]);
        EXPECT_EQ(guide->actionButton()->currentTitle(), page == 2 ? "OK" : "Next");
        // The dots do not react to the user.
        const QPoint dots = guide->pageControl()->mapTo(window.get(), QPoint(guide->pageControl()->width() - 2, 5));
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, dots);
        test::pump();
        EXPECT_EQ(guide->pageControl()->currentPage(), page);
        EXPECT_EQ(root->presentedViewController(), guide);
        test::tap(guide->actionButton());
    }
    EXPECT_TRUE(test::waitUntil([&] { return !root->presentedViewController(); }));
}

TEST_F(MFAScreenTest, ScreenshotsOfEveryState)
{
    auto code = show({prompt("otp", "Enter the code we sent to your phone ending 0042", 0)});
    test::pumpUntil([&] { return field(code, 0)->hasFocus(); });
    EXPECT_FALSE(test::grabPng(window.get(), "mfa-code").isEmpty());
    test::type(field(code, 0), "123456");
    EXPECT_FALSE(test::grabPng(window.get(), "mfa-code-typed").isEmpty());
    test::tap(confirm(code));
    EXPECT_FALSE(test::grabPng(window.get(), "mfa-code-confirmed").isEmpty());
    dismissAll();

    auto captcha = show({prompt("captcha", captchaPngBase64(), 0), prompt("memorable word", "Your memorable word", 1)});
    EXPECT_FALSE(test::grabPng(window.get(), "mfa-captcha").isEmpty());
    dismissAll();

    auto smartPass = show({prompt("otp", "Enter the code from your token app", 0)}, "ebilaead");
    EXPECT_FALSE(test::grabPng(window.get(), "mfa-smartpass").isEmpty());
    dismissAll();

    auto guided = show({prompt("otp", "Enter the code from your token app", 0)}, "EBILAEAD");
    ASSERT_TRUE(test::waitUntil([&] { return guided->presentedViewController() != nullptr; }));
    auto guide = std::dynamic_pointer_cast<MFAOnboardingViewController>(guided->presentedViewController());
    ASSERT_TRUE(guide);
    test::pump();
    for (int page = 0; page < 3; ++page) {
        EXPECT_FALSE(test::grabPng(window.get(), QStringLiteral("mfa-onboarding-%1").arg(page)).isEmpty());
        test::tap(guide->actionButton());
    }
}

TEST_F(MFAScreenTest, GuidePageWithoutItsPictureShowsNone)
{
    // Resources that lack the second page's picture.
    QTemporaryDir resources;
    for (const QFileInfo &entry : QDir(QStringLiteral(KOVA_DEFAULT_RESOURCES_DIR)).entryInfoList(QDir::Files)) {
        if (!entry.fileName().startsWith(QLatin1String("ENBD-Onboarding-1")))
            QFile::copy(entry.filePath(), resources.filePath(entry.fileName()));
    }
    qputenv("KOVA_RESOURCES_DIR", resources.path().toUtf8());
    auto guide = std::make_shared<MFAOnboardingViewController>();
    bool shown = false;
    root->present(guide, false, [&] { shown = true; });
    ASSERT_TRUE(test::waitUntil([&] { return shown; }));
    EXPECT_FALSE(guide->imageView()->image().isNull());
    test::tap(guide->actionButton());
    EXPECT_EQ(guide->pageControl()->currentPage(), 1);
    EXPECT_TRUE(guide->imageView()->image().isNull());
    test::tap(guide->actionButton());
    EXPECT_FALSE(guide->imageView()->image().isNull());
    qunsetenv("KOVA_RESOURCES_DIR");
}

TEST_F(MFAScreenTest, TurningTheDeviceWhileTypingKeepsTheFieldAndItsAnswer)
{
    auto otp = prompt("otp", "Code", 0);
    auto pin = prompt("pin", "PIN", 1);
    auto sheet = show({otp, pin});
    MFATextField *code = field(sheet, 0);
    ASSERT_TRUE(test::waitUntil([&] { return code->hasFocus(); }));
    QTest::keyClicks(QApplication::focusWidget(), "12");
    window->resize(844, 390);
    test::pump();
    EXPECT_TRUE(code->hasFocus()) << "the keyboard stays with the field being typed in";
    QTest::keyClicks(QApplication::focusWidget(), "34");
    EXPECT_EQ(otp->answer(), "1234");
    EXPECT_TRUE(pin->answer().isNull());
}

TEST_F(MFAScreenTest, APromptArrivingWhileTheHostsScreenLeavesIsShownBelowIt)
{
    auto hostScreen = std::make_shared<platform::ViewController>();
    bool shown = false;
    root->present(hostScreen, false, [&] { shown = true; });
    ASSERT_TRUE(test::waitUntil([&] { return shown; }));

    // The host closes its screen; the bank's question comes in before the
    // screen has gone.
    bool hostGone = false;
    root->dismiss(true, [&] { hostGone = true; });
    // The sheet is still up when this body ends; the fixture takes it down
    // later, which reports it cancelled. The outcome is therefore counted in
    // the fixture, which is still there then, not in this body's locals.
    MFAPresentation presentation;
    presentation.prompts = {prompt("otp", "Code", 0)};
    MFASheetPresenter presenter;
    EXPECT_TRUE(presenter.presentMFA(
        presentation, [this](const QList<std::shared_ptr<MFAParameter>> &answered) { submitted.append(answered); },
        [this] { ++cancels; }))
        << "a screen on its way out is no reason to give up on the user's answer";
    ASSERT_TRUE(test::waitUntil([&] { return hostGone; }));
    test::drainMainQueue();
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(submitted.size(), 0);
    EXPECT_TRUE(std::dynamic_pointer_cast<MFANavigationController>(window->topPresentedViewController()));
}

TEST_F(MFAScreenTest, AQuestionWithAWordWiderThanTheRowIsShownWhole)
{
    // A payment reference the bank quotes in its question: one long word.
    const QString word(120, QChar('7'));
    auto sheet = show({prompt("otp", "Type the code sent for payment reference " + word, 0)});
    auto *question = qobject_cast<platform::Label *>(sheet->mfaViewController()->inputViews().value(3));
    ASSERT_TRUE(question);
    const QFontMetrics metrics(question->font());
    ASSERT_GT(question->width(), 0);
    // The word breaks over as many lines as it needs, below the first line's words.
    const int wordLines = (metrics.horizontalAdvance(word) + question->width() - 1) / question->width();
    EXPECT_GE(question->height(), (1 + wordLines) * metrics.lineSpacing())
        << "the row is " << question->height() << " points high for a " << metrics.horizontalAdvance(word)
        << "-point word in a " << question->width() << "-point row";
}
