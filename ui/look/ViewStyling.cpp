#include "ui/look/ViewStyling.h"

#include "platform/ui/ViewHelpers.h"
#include "ui/look/KOVFontManager.h"

namespace kova {

void startShimmering(QWidget *view)
{
    platform::ShimmerStyle style;
    style.colors = {QColor(0, 0, 0), QColor(0, 0, 0, qRound(255 * 0.1)), QColor(0, 0, 0)};
    style.locations = {0.4, 0.5, 0.6};
    style.startPoint = QPointF(0.0, 0.5);
    style.endPoint = QPointF(1.0, 0.525);
    style.fromLocations = {0.0, 0.1, 0.2};
    style.toLocations = {0.8, 0.9, 1.0};
    style.durationMs = 1500;
    style.key = QStringLiteral("shimmer");
    platform::startShimmer(view, style);
}

void stopShimmering(QWidget *view)
{
    platform::stopShimmer(view);
}

void applyKOVShadow(QWidget *view)
{
    platform::ShadowStyle style;
    style.cornerRadius = 16;
    style.color = QColor::fromRgbF(0.1f, 0.205f, 0.479f, 0.3f);
    style.opacity = 1.0;
    style.radius = 24;
    style.offset = QPointF(0, 8);
    platform::addShadowLayer(view, style, kShadowLayerName);
}

void removeShadowLayer(QWidget *view)
{
    platform::removeLayersNamed(view, kShadowLayerName);
}

void setKOVNavigationTitleFont(platform::NavigationController &navigation)
{
    platform::NavigationBar *bar = navigation.navigationBar();
    bar->setTitleFont(KOVFontManager::font(KOVFontManager::regular(), bar->titleFont().pixelSize()));
}

bool isStringEmpty(const QString &text)
{
    // Blanks and line breaks only (or nothing) count as empty.
    return text.trimmed().isEmpty();
}

QString stringRepresentation(const QStringList &list)
{
    if (list.isEmpty())
        return QStringLiteral("[]");
    // Elements go in as they are: a quote inside one is not escaped.
    return QStringLiteral("[\"") + list.join(QStringLiteral("\",\"")) + QStringLiteral("\"]");
}

} // namespace kova
