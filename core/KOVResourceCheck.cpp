#include "core/internal/KOVResourceCheck.h"

#include <QStringList>

#include "core/KOVConstants.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/ManagedObjectModel.h"

namespace kova {

std::optional<platform::Error> missingResourcesError()
{
    const auto bundle = platform::Bundle::framework();
    QStringList problems;

    const QString modelPath = bundle->pathForResource(QStringLiteral("KovaConnect"), QStringLiteral("momd"));
    if (modelPath.isEmpty()) {
        problems << QStringLiteral("the data model \"KovaConnect.momd\" is missing");
    } else {
        platform::Error error;
        if (!platform::ManagedObjectModel::fromFile(modelPath, &error))
            problems << QStringLiteral("the data model \"KovaConnect.momd\" cannot be read (%1)").arg(error.localizedDescription());
    }

    const auto strings = bundle->nestedBundle(QStringLiteral("KovaConnect.bundle"));
    if (!strings || !strings->hasTable(QStringLiteral("KovaConnect")))
        problems << QStringLiteral("the string table \"KovaConnect\" (KovaConnect.bundle/<language>.lproj/KovaConnect.json) is missing");

    if (problems.isEmpty())
        return std::nullopt;
    QString description = QStringLiteral("Kova cannot start: %1 in %2").arg(problems.join(QStringLiteral("; ")), bundle->resourcePath());
    if (!platform::ProcessInfo::environmentValue("KOVA_RESOURCES_DIR").isEmpty())
        description += QStringLiteral(" (the folder KOVA_RESOURCES_DIR names)");
    description += QLatin1Char('.');
    return platform::Error::withDescription(KOVErrorDomain, KOVErrorResourcesUnavailable, description);
}

} // namespace kova
