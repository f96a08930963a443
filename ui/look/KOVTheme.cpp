#include "ui/look/KOVTheme.h"

#include "core/KOVAppManager.h"
#include "core/Kova.h"
#include "core/records/KOVColorHex.h"
#include "core/store/KOVAppConfigs.h"

namespace kova {

QColor KOVTheme::limitLabel() { return colorWithHexString(QStringLiteral("FE5E5E")); }
QColor KOVTheme::amountLabel() { return QColor(Qt::black); }
QColor KOVTheme::currencyLabel() { return QColor::fromRgbF(0.817f, 0.835f, 0.88f); }
QColor KOVTheme::autoFlowLoaderBackground() { return QColor(Qt::black); }
QColor KOVTheme::loaderDotsColor() { return colorWithHexString(QStringLiteral("F0F0F2")); }
QColor KOVTheme::errorBorderViewbackgroundColor() { return colorWithHexString(QStringLiteral("EDF0F5")); }
QColor KOVTheme::errorViewbackgroundColor() { return colorWithHexString(QStringLiteral("ffffff")); }
QColor KOVTheme::navigationViewBackgroundColor() { return colorWithHexString(QStringLiteral("C2C9D4")); }
QColor KOVTheme::backgroundColor() { return colorWithHexString(QStringLiteral("F4F6FB")); }
QColor KOVTheme::darkBackgroundColor() { return colorWithHexString(QStringLiteral("49494B")); }
QColor KOVTheme::textField() { return colorWithHexString(QStringLiteral("#EDF0F5")); }
QColor KOVTheme::shimmerView() { return colorWithHexString(QStringLiteral("#e4e7ec")); }
QColor KOVTheme::subaccountsBackground() { return QColor(Qt::transparent); }

QColor KOVTheme::activeColor()
{
    // Read on every call: a configuration stored later changes the accent of
    // screens built after it.
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    QString scheme;
    if (kova) {
        const auto configs = KOVAppConfigs::getConfigsForAppKey(kova->appKey(), KOVAppManager::sharedInstance().viewContext());
        if (configs)
            scheme = configs->colorScheme();
    }
    return colorWithHexString(scheme);
}

} // namespace kova
