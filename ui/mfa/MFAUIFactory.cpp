#include "ui/mfa/MFAUIFactory.h"

#include <QByteArray>

#include "core/Localizer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVFontManager.h"
#include "ui/mfa/MFATextField.h"
#include "ui/mfa/MFAWarningLabel.h"
#include "core/records/KOVColorHex.h"

namespace kova {

namespace {

// The platform's light text colour: white at 60%.
QColor lightTextColor()
{
    return QColor(255, 255, 255, 153);
}

} // namespace

MFAUIFactory::MFAUIFactory(KOVFinancialInstitutionColor colorScheme, QObject *parent)
    : QObject(parent), m_colorScheme(std::move(colorScheme)), m_lockIcon(AssetsLoader::imageNamed(QStringLiteral("Lock")))
{
}

QString MFAUIFactory::placeholderFor(const MFAParameter &input, const QString &bankID)
{
    if (bankID.compare(SmartPassBankID, Qt::CaseInsensitive) == 0)
        return SmartPassPlaceholder;
    return input.hint();
}

QImage MFAUIFactory::captchaImage(const QString &base64)
{
    // Characters outside the Base64 alphabet are skipped, as line breaks in
    // a long image text would be.
    return QImage::fromData(QByteArray::fromBase64(base64.toLatin1()));
}

QList<QWidget *> MFAUIFactory::generateMFALoginFieldsForUserInputs(
    const QList<std::shared_ptr<MFAParameter>> &userInputs, const QString &bankID, QWidget *home)
{
    m_userInputs = userInputs;
    QList<QWidget *> views{generateWarningLabel(home)};
    for (const std::shared_ptr<MFAParameter> &input : userInputs) {
        if (input->identifier() == QLatin1String("captcha")) {
            auto *image = new platform::ImageView(captchaImage(input->query()), home);
            image->setObjectName(QStringLiteral("captcha"));
            image->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
            image->setFixedHeight(80);
            views.append(image);
        } else {
            auto *question = new platform::Label(home);
            question->setObjectName(QStringLiteral("query"));
            question->setNumberOfLines(0);
            question->setTextAlignment(Qt::AlignHCenter);
            question->setText(input->query());
            question->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
            question->setTextColor(lightTextColor());
            views.append(question);
        }
        MFATextField *field = mfaFieldForInput(input, bankID, home);
        // No capitals or corrections forced on a code.
        field->setInputMethodHints(field->inputMethodHints() | Qt::ImhNoAutoUppercase | Qt::ImhNoPredictiveText);
        views.append(field);
    }
    for (QWidget *view : views)
        view->hide();
    return views;
}

MFATextField *MFAUIFactory::mfaFieldForInput(const std::shared_ptr<MFAParameter> &input, const QString &bankID,
                                             QWidget *parent)
{
    auto *field = new MFATextField(input, parent);
    field->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
    field->setTextColor(Qt::black);
    field->setFixedHeight(64);
    field->setFrame(false);
    const QColor tint = m_colorScheme.secondaryColor();
    field->setStyleSheet(QStringLiteral("QLineEdit { background: white; border: none; border-radius: 16px; "
                                        "color: black; selection-background-color: %1; }")
                             .arg(tint.name(QColor::HexArgb)));
    // The lock sits 20 points in from the field's corner in a 64-point square.
    auto *lockHolder = new platform::View;
    lockHolder->setIntrinsicContentSize(QSize(64, 64));
    lockHolder->setFixedSize(64, 64);
    auto *lock = new platform::ImageView(m_lockIcon, lockHolder);
    lock->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    lock->setGeometry(20, 20, 24, 24);
    field->setLeftView(lockHolder);
    field->setPlaceholder(placeholderFor(*input, bankID));
    connect(field, &platform::TextField::editingChanged, this, [this, field] { textFieldTextChanged(field); });
    return field;
}

void MFAUIFactory::textFieldTextChanged(MFATextField *field)
{
    const std::shared_ptr<MFAUIFactoryDelegate> delegate = m_delegate.lock();
    if (!delegate || !field->mfaParameter())
        return;
    const qint64 index = field->mfaParameter()->index();
    const bool known = std::any_of(m_userInputs.cbegin(), m_userInputs.cend(),
                                   [index](const auto &input) { return input && input->index() == index; });
    if (known)
        delegate->mfaUIFactoryValueChanged(*this, field->text(), field->mfaParameter());
}

KOVLabel *MFAUIFactory::generateWarningLabel(QWidget *parent)
{
    auto *label = new MFAWarningLabel(parent);
    label->setObjectName(QStringLiteral("warning"));
    QColor background = colorWithHexString(QStringLiteral("2A2B38"));
    background.setAlphaF(0.2f);
    label->setBackgroundColor(background);
    label->setCornerRadius(8);
    const auto run = [](const QString &key, const QString &fontName) {
        return MFAWarningLabel::Run{Localizer::getLocalizedStringByKey(key), KOVFontManager::font(fontName, 16),
                                    Qt::white};
    };
    label->setRuns({run(QStringLiteral("Please"), KOVFontManager::medium()),
                    run(QStringLiteral("Dont"), KOVFontManager::bold()),
                    run(QStringLiteral("LoginIntoYourBank"), KOVFontManager::medium())});
    return label;
}

} // namespace kova
