#include "core/store/KOVDataModel.h"

#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVBankCard.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVFinancialInstitutionColorScheme.h"
#include "core/store/KOVSubaccount.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"

namespace kova {
namespace {
const QString kModelName = QStringLiteral("KovaConnect");
} // namespace

std::shared_ptr<platform::ManagedObjectModel> loadKovaConnectModel()
{
    const auto bundle = platform::Bundle::framework();
    const QString path = bundle->pathForResource(kModelName, QStringLiteral("momd"));
    if (path.isEmpty()) {
        platform::log(QStringLiteral("The data model %1 cannot be loaded: %2 has no %1.momd.").arg(kModelName, bundle->resourcePath()), platform::logStore());
        return nullptr;
    }
    platform::Error error;
    auto model = platform::ManagedObjectModel::fromFile(path, &error);
    if (!model) {
        platform::log(QStringLiteral("The data model %1 cannot be loaded: %2").arg(kModelName, error.localizedDescription()), platform::logStore());
        return nullptr;
    }
    model->registerClass<KOVSignature>();
    model->registerClass<KOVConnection>();
    model->registerClass<KOVBankInfo>();
    model->registerClass<KOVFinancialInstitutionColorScheme>();
    model->registerClass<KOVSubaccount>();
    model->registerClass<KOVBankCard>();
    model->registerClass<KOVAppConfigs>();
    return model;
}

std::shared_ptr<platform::PersistentContainer> makeKovaConnectContainer()
{
    auto container = std::make_shared<platform::PersistentContainer>(kModelName, loadKovaConnectModel());
    container->loadPersistentStores();
    return container;
}

} // namespace kova
