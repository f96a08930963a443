// Arbitrary bytes as the store file the SDK finds in the data directory at
// start: opened through the same call the SDK makes (schema check, damage
// handling, the in-memory fallback), every object loaded and read, then one
// object inserted and saved. Each input gets a data directory of its own,
// removed afterwards. A marker line splits the input into the database file
// and its write-ahead log, so recovery from a log is reached as well.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "core/store/KOVDataModel.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ManagedObjectModel.h"
#include "platform/store/PersistentContainer.h"

namespace {

using namespace kova;

volatile std::size_t g_sink = 0;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

void readEverything(platform::PersistentContainer &container)
{
    const auto model = container.managedObjectModel();
    if (!model)
        return;
    platform::ManagedObjectContext &context = container.viewContext();
    for (const platform::EntityDescription *entity : model->entities()) {
        platform::Error error;
        const auto objects = context.executeFetchRequest(platform::FetchRequest(entity->name()), &error);
        for (const auto &object : objects) {
            for (const auto &attribute : entity->attributes())
                g_sink = g_sink + std::size_t(object->value(attribute.name).toString().size());
            for (const auto &relationship : entity->relationships()) {
                if (relationship.toMany)
                    g_sink = g_sink + std::size_t(object->toMany(relationship.name).size());
                else
                    g_sink = g_sink + (object->toOne(relationship.name) ? 1 : 0);
            }
        }
    }
}

void insertAndSave(platform::PersistentContainer &container)
{
    const auto model = container.managedObjectModel();
    if (!model)
        return;
    platform::ManagedObjectContext &context = container.viewContext();
    for (const platform::EntityDescription *entity : model->entities()) {
        if (entity->isAbstract())
            continue;
        if (context.insertNewObject(entity->name()))
            break;
    }
    platform::Error error;
    (void)context.save(&error);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    platform::setLogSink([](const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QByteArray walMarker("\n--wal--\n");
    const qsizetype split = bytes.indexOf(walMarker);

    QTemporaryDir home;
    if (!home.isValid())
        return 0;
    platform::ProcessInfo::setDataDirectoryOverride(home.path());
    const QString storeFile = platform::PersistentContainer::defaultStoreFile(QStringLiteral("KovaConnect"));
    writeFile(storeFile, split < 0 ? bytes : bytes.first(split));
    if (split >= 0)
        writeFile(storeFile + QStringLiteral("-wal"), bytes.sliced(split + walMarker.size()));

    {
        const auto container = makeKovaConnectContainer();
        if (!container->isLoaded())
            __builtin_trap(); // the SDK is always handed a loaded store
        readEverything(*container);
        insertAndSave(*container);
        // Opened again, as the next start would find it.
        platform::Error error;
        (void)container->loadPersistentStores(&error);
        readEverything(*container);
    }
    home.remove();
    return 0;
}
