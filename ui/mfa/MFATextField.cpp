#include "ui/mfa/MFATextField.h"

namespace kova {

MFATextField::MFATextField(std::shared_ptr<MFAParameter> parameter, QWidget *parent)
    : platform::TextField(parent), m_mfaParameter(std::move(parameter))
{
}

} // namespace kova
