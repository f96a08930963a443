#include "platform/ui/AlertController.h"

#include <QVBoxLayout>

#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace kova::platform {
namespace {

constexpr int kAlertWidth = 270;

// The alert's box: its size is what the window centres.
class AlertView : public View {
public:
    QSize fixed;
    QSize sizeHint() const override { return fixed.isValid() ? fixed : View::sizeHint(); }
};

} // namespace

AlertController::AlertController()
{
    setModalPresentationStyle(ModalPresentationStyle::Alert);
}

std::shared_ptr<AlertController> AlertController::create(const QString &title, const QString &message)
{
    auto alert = std::make_shared<AlertController>();
    alert->m_title = title;
    alert->m_message = message;
    alert->setTitle(title);
    return alert;
}

std::shared_ptr<AlertController> AlertController::loader()
{
    auto alert = std::make_shared<AlertController>();
    alert->m_loader = true;
    return alert;
}

void AlertController::addAction(AlertAction action)
{
    m_actions.push_back(std::move(action));
}

void AlertController::loadView()
{
    auto *box = new AlertView;
    if (m_loader) {
        // No frame, no actions: only the spinner over the dimmed window.
        m_indicator = new ActivityIndicator(box, ActivityIndicator::Style::Large);
        m_indicator->setColor(Qt::white);
        m_indicator->setGeometry(0, 0, 37, 37);
        m_indicator->startAnimating();
        box->fixed = QSize(37, 37);
        setView(box);
        return;
    }
    box->setBackgroundColor(QColor(242, 242, 242));
    box->setCornerRadius(14);
    box->setClipsToBounds(true);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(16, 20, 16, 8);
    layout->setSpacing(4);
    QFont titleFont = box->font();
    titleFont.setPixelSize(17);
    titleFont.setWeight(QFont::DemiBold);
    QFont bodyFont = box->font();
    bodyFont.setPixelSize(13);
    int height = 20 + 8;
    for (const auto &[text, font] : {std::pair{m_title, titleFont}, std::pair{m_message, bodyFont}}) {
        if (text.isEmpty())
            continue;
        auto *label = new Label(text, box);
        label->setFont(font);
        label->setNumberOfLines(0);
        label->setTextAlignment(Qt::AlignHCenter);
        label->setTextColor(Qt::black);
        layout->addWidget(label);
        height += label->heightForWidth(kAlertWidth - 32) + 4;
    }
    layout->addSpacing(12);
    height += 12;
    for (size_t i = 0; i < m_actions.size(); ++i) {
        auto *button = new Button(box);
        const AlertAction &action = m_actions[i];
        QFont font = box->font();
        font.setPixelSize(17);
        font.setWeight(action.style == AlertAction::Style::Cancel ? QFont::DemiBold : QFont::Normal);
        button->setTitleFont(font);
        button->setTitle(action.title);
        button->setTitleColor(action.style == AlertAction::Style::Destructive ? QColor(255, 59, 48) : QColor(0, 122, 255));
        button->setMinimumHeight(44);
        layout->addWidget(button);
        height += 44 + 4;
        m_buttons.append(button);
        connect(button, &Button::clicked, this, [this, i] {
            // The alert leaves first; the handler runs once it has gone.
            auto handler = m_actions[i].handler;
            dismiss(true, std::move(handler));
        });
    }
    box->fixed = QSize(kAlertWidth, height);
    setView(box);
}

} // namespace kova::platform
