#pragma once

#include <memory>

#include "core/api/MFAParameter.h"
#include "platform/ui/TextField.h"

namespace kova {

// The field that answers one prompt.
class MFATextField : public platform::TextField {
    Q_OBJECT
public:
    explicit MFATextField(std::shared_ptr<MFAParameter> parameter, QWidget *parent = nullptr);

    const std::shared_ptr<MFAParameter> &mfaParameter() const { return m_mfaParameter; }
    void setMfaParameter(std::shared_ptr<MFAParameter> parameter) { m_mfaParameter = std::move(parameter); }

private:
    std::shared_ptr<MFAParameter> m_mfaParameter;
};

} // namespace kova
