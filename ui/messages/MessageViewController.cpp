#include "ui/messages/MessageViewController.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QVBoxLayout>

#include "animatedgif/KGAnimatedImage.h"
#include "animatedgif/view/KGAnimatedImageView.h"
#include "core/KOVConstants.h"
#include "core/Localizer.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "ui/look/AssetsLoader.h"
#include "ui/look/KOVButton.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVTheme.h"
#include "ui/look/ViewStyling.h"

namespace kova {

namespace {

QString localized(const QString &key)
{
    return Localizer::getLocalizedStringByKey(key);
}

// A value of the reply as it reads in a sentence: text as it stands,
// numbers in their shortest form, nothing for a missing value or null.
QString sentenceText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    default:
        return QString();
    }
}

} // namespace

std::shared_ptr<MessageViewController> MessageViewController::make(Delegate delegate, const QString &title,
                                                                   const QString &message, bool isGif)
{
    auto screen = std::make_shared<MessageViewController>();
    screen->m_delegate = std::move(delegate);
    screen->m_titleText = title;
    screen->m_messageText = message;
    screen->m_isGifImage = isGif;
    return screen;
}

std::shared_ptr<MessageViewController> MessageViewController::initWithError(const platform::Error &error,
                                                                            Delegate delegate)
{
    auto screen = make(std::move(delegate), titleForError(error), messageForError(error), false);
    screen->m_image = imageForError(error);
    return screen;
}

std::shared_ptr<MessageViewController> MessageViewController::initWithImageNamed(const QString &name,
                                                                                 const QString &title,
                                                                                 const QString &message,
                                                                                 Delegate delegate)
{
    auto screen = make(std::move(delegate), title, message, false);
    screen->m_image = AssetsLoader::imageNamed(name);
    return screen;
}

std::shared_ptr<MessageViewController> MessageViewController::initWithImageGifNamed(const QString &name,
                                                                                    const QString &title,
                                                                                    const QString &message,
                                                                                    Delegate delegate)
{
    auto screen = make(std::move(delegate), title, message, true);
    const QByteArray data = AssetsLoader::dataForGIFNamed(name);
    if (!data.isEmpty())
        screen->m_gifImage = KGAnimatedImage::animatedImageWithGIFData(data);
    return screen;
}

QString MessageViewController::titleKeyForError(const platform::Error &error)
{
    switch (error.code) {
    case KOVErrorUserAlreadyLoggedIn:
        return QStringLiteral("YouAreAlreadyLoggedIn");
    case KOVErrorInsufficientFunds:
    case KOVErrorInsufficientBalance:
        return QStringLiteral("YouDontHaveEnoughBalance");
    case KOVErrorBeneficiaryNotActivated:
    case KOVErrorBeneficiaryCoolDownPeriod:
        return QStringLiteral("PleaseWait");
    case KOVErrorSessionExpired:
    case KOVErrorSessionInvalidated:
        return QStringLiteral("YouWereLoggedOut");
    case KOVErrorAccountLocked:
        return QStringLiteral("AccountLocked");
    default:
        return QStringLiteral("Error");
    }
}

QString MessageViewController::imageNameForError(const platform::Error &error)
{
    return error.code == KOVErrorAccountLocked ? QStringLiteral("LockError") : QStringLiteral("ExclamationError");
}

QImage MessageViewController::imageForError(const platform::Error &error)
{
    return AssetsLoader::imageNamed(imageNameForError(error));
}

QString MessageViewController::titleForError(const platform::Error &error)
{
    return localized(titleKeyForError(error));
}

QString MessageViewController::messageForError(const platform::Error &error)
{
    if (error.code == KOVErrorBeneficiaryCoolDownPeriod) {
        const QJsonValue info = QJsonValue::fromVariant(error.userInfo.value(KOVErrorInfoKey));
        const QJsonValue period = info.toObject().value(QStringLiteral("coolDownPeriod"));
        if (!period.isObject())
            return error.localizedDescription();
        const QJsonObject object = period.toObject();
        return platform::fillPlaceholders(localized(QStringLiteral("BeneficiaryActivateAfter %@ %@")),
                                          {sentenceText(object.value(QStringLiteral("value"))),
                                           sentenceText(object.value(QStringLiteral("unit")))});
    }
    const QString description =
        error.hasDescription() ? error.userInfo.value(platform::NSLocalizedDescriptionKey).toString() : QString();
    if (isStringEmpty(description))
        return localized(QStringLiteral("SomethingWentWrong"));
    // A description the string table holds is shown translated; any other as it stands.
    const QString translated = localized(description);
    return translated.isNull() ? description : translated;
}

void MessageViewController::loadView()
{
    setView(new platform::View);
}

void MessageViewController::viewDidLoad()
{
    auto *root = static_cast<platform::View *>(view());
    root->setBackgroundColor(KOVTheme::backgroundColor());

    m_card = new platform::View(root);
    m_card->setObjectName(QStringLiteral("card"));
    m_card->setBackgroundColor(KOVTheme::errorViewbackgroundColor());
    m_card->setCornerRadius(24);
    m_card->setClipsToBounds(true);
    m_card->setBorder(KOVTheme::errorBorderViewbackgroundColor(), 1);

    m_imageView = new KGAnimatedImageView(m_isGifImage ? QImage() : m_image);
    m_imageView->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    m_imageView->setFixedHeight(m_isGifImage ? 44 : 28);
    if (m_isGifImage)
        m_imageView->setRunLoopMode(platform::RunLoopMode::Common);
    else
        m_imageView->setImage(m_image);

    m_titleLabel = new platform::Label;
    m_titleLabel->setNumberOfLines(0);
    m_titleLabel->setTextAlignment(Qt::AlignHCenter);
    m_titleLabel->setText(m_titleText);
    m_titleLabel->setFont(KOVFontManager::font(KOVFontManager::bold(), 20));
    // The platform's default label colour, dark on the light card, whatever
    // the host's palette says.
    m_titleLabel->setTextColor(Qt::black);

    m_messageLabel = new platform::Label;
    m_messageLabel->setTextAlignment(Qt::AlignHCenter);
    m_messageLabel->setNumberOfLines(0);
    m_messageLabel->setText(m_messageText);
    m_messageLabel->setFont(KOVFontManager::font(KOVFontManager::regular(), 16));
    m_messageLabel->setTextColor(Qt::black);

    // The card's content stands 56 points from its top and bottom and 32
    // from its sides; the image keeps 44 points of room below it.
    auto *stack = new QVBoxLayout(m_card);
    stack->setContentsMargins(32, 56, 32, 56);
    stack->setSpacing(0);
    stack->addWidget(m_imageView);
    stack->addSpacing(44);
    stack->addWidget(m_titleLabel);
    stack->addSpacing(12);
    stack->addWidget(m_messageLabel);

    platform::anchor(m_card, platform::Attr::Width, root, platform::Attr::Width, 0, platform::Guide::Bounds, 0.9);
    platform::anchor(m_card, platform::Attr::CenterX, root, platform::Attr::CenterX);
    platform::anchor(m_card, platform::Attr::CenterY, root, platform::Attr::CenterY);

    m_button = new KOVButton(root);
    m_button->setTitle(localized(QStringLiteral("Ok")));
    m_button->setObjectName(QStringLiteral("okButton")); // hosts' tests find it by name
    QObject::connect(m_button, &platform::Button::clicked, this, [this] { confirmButtonTapped(); });
    platform::anchor(m_button, platform::Attr::Width, root, platform::Attr::Width, 0, platform::Guide::Bounds, 0.8);
    platform::anchor(m_button, platform::Attr::CenterX, root, platform::Attr::CenterX);
    platform::size(m_button, platform::Attr::Height, 56);
    platform::anchor(m_button, platform::Attr::Bottom, root, platform::Attr::Bottom, -8, platform::Guide::SafeArea);
}

void MessageViewController::viewWillAppear(bool animated)
{
    platform::ViewController::viewWillAppear(animated);
    if (m_isGifImage && m_imageView)
        m_imageView->setAnimatedImage(m_gifImage);
}

void MessageViewController::confirmButtonTapped()
{
    const std::shared_ptr<MessageViewControllerDelegate> delegate = m_delegate.lock();
    if (delegate)
        delegate->messageViewControllerDidTapButton(*this);
}

} // namespace kova
