#include "platform/ui/PresentationController.h"

#include "platform/ui/ViewController.h"

namespace kova::platform {

std::shared_ptr<ViewController> PresentationController::presentingViewController() const
{
    return m_presented.m_presenting.lock();
}

bool PresentationController::userDismiss()
{
    if (!m_presented.m_presenting.lock() || m_presented.m_transition != ViewController::Transition::None)
        return false;
    if (m_presented.modalPresentationStyle() != ModalPresentationStyle::PageSheet)
        return false;
    if (auto delegate = m_delegate.lock()) {
        if (!delegate->presentationControllerShouldDismiss(*this))
            return false;
        delegate->presentationControllerWillDismiss(*this);
    }
    ViewController::dismissChain(m_presented.shared_from_this(), true, nullptr, true);
    return true;
}

} // namespace kova::platform
