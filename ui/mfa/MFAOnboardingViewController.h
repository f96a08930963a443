#pragma once

#include <QStringList>

#include "platform/ui/ViewController.h"

namespace kova {

namespace platform {
class Button;
class ImageView;
class Label;
class PageControl;
class View;
} // namespace platform

// A three-page guide to the bank's token app: a picture and one line per
// page; the button walks the pages and closes the guide on the last.
class MFAOnboardingViewController : public platform::ViewController {
    Q_OBJECT
public:
    MFAOnboardingViewController();

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void buttonTapped();
    void updateImage();
    void updateInstructionsLabel();
    void updateButtonTitle();

    static constexpr int PageCount = 3;

    platform::ImageView *imageView() const { return m_imageView; }
    platform::PageControl *pageControl() const { return m_pageControl; }
    platform::Label *instructionLabel() const { return m_instructionLabel; }
    platform::Button *actionButton() const { return m_actionButton; }
    platform::View *baseView() const { return m_baseView; }
    const QStringList &instructions() const { return m_instructions; }
    void setInstructions(const QStringList &instructions) { m_instructions = instructions; }

private:
    int currentPage() const;

    platform::ImageView *m_imageView = nullptr;
    platform::PageControl *m_pageControl = nullptr;
    platform::Label *m_instructionLabel = nullptr;
    platform::Button *m_actionButton = nullptr;
    platform::View *m_baseView = nullptr;
    QStringList m_instructions;
};

} // namespace kova
