#include "core/KOVConfigurations.h"

#include "core/Localizer.h"

namespace kova {

std::shared_ptr<KOVConfigurations> KOVConfigurations::initWithCountries(const QStringList &countries,
                                                                      const QString &environment)
{
    auto options = std::make_shared<KOVConfigurations>();
    options->m_countries = countries;
    options->m_environment = environment;
    options->m_showLogos = true;
    options->m_showCloseButton = true;
    options->m_showAddAccountButton = true;
    options->m_loadingText = Localizer::getLocalizedStringByKey(QStringLiteral("VerifyingYourAccount"));
    options->m_showTransferSuccessfulResult = true;
    options->m_showTransferErrorResult = true;
    return options;
}

} // namespace kova
