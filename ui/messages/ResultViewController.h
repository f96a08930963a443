#pragma once

#include <QString>
#include <memory>

#include "core/records/KOVFinancialInstitutionColor.h"
#include "platform/ui/ViewController.h"

namespace kova {

class ResultViewController;
namespace platform {
class Button;
class ImageView;
class Label;
class StackView;
} // namespace platform

class ResultViewControllerDelegate {
public:
    virtual ~ResultViewControllerDelegate() = default;
    virtual void resultViewControllerDidSuccess(ResultViewController & /*controller*/) {}
    virtual void resultViewControllerDidFailAndTryAgain(ResultViewController & /*controller*/) {}
};

// A full-screen outcome for hosts: the success or failure image over a
// message, and one wide button in the bank's colour. The host creates,
// presents and dismisses it; the screen only reports the tap.
class ResultViewController : public platform::ViewController {
    Q_OBJECT
public:
    static std::shared_ptr<ResultViewController> initWithColorScheme(
        std::shared_ptr<KOVFinancialInstitutionColor> colorScheme, bool isSuccess, const QString &message);

    void loadView() override;
    // Reads the outcome, the message and the button's title once, here.
    void viewDidLoad() override;
    void actionButtonTapped();
    void proceedConnection();
    void restartConnection();

    std::shared_ptr<ResultViewControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<ResultViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::shared_ptr<KOVFinancialInstitutionColor> &colorScheme() const { return m_colorScheme; }
    void setColorScheme(std::shared_ptr<KOVFinancialInstitutionColor> scheme) { m_colorScheme = std::move(scheme); }
    const QString &message() const { return m_message; }
    void setMessage(const QString &message) { m_message = message; }
    bool isSuccess() const { return m_isSuccess; }
    void setIsSuccess(bool isSuccess) { m_isSuccess = isSuccess; }
    bool showsTryAgian() const { return m_showsTryAgian; }
    void setShowsTryAgian(bool shows) { m_showsTryAgian = shows; }
    platform::ImageView *imageView() const { return m_imageView; }
    platform::Label *resultLabel() const { return m_resultLabel; }
    platform::StackView *stackView() const { return m_stackView; }
    platform::Button *actionButton() const { return m_actionButton; }

private:
    void setupImageView();
    void setupResultLabel();
    void setupStackView();
    void setupStackViewConstraints();
    void setupActionButton();
    void setupActionButtonConstraints();

    std::weak_ptr<ResultViewControllerDelegate> m_delegate;
    std::shared_ptr<KOVFinancialInstitutionColor> m_colorScheme;
    QString m_message;
    bool m_isSuccess = false;
    bool m_showsTryAgian = false;
    platform::ImageView *m_imageView = nullptr;
    platform::Label *m_resultLabel = nullptr;
    platform::StackView *m_stackView = nullptr;
    platform::Button *m_actionButton = nullptr;
};

} // namespace kova
