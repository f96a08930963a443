#include "core/store/KOVStoreSave.h"

#include "core/store/KOVSignature.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {

bool saveContextStamping(platform::ManagedObjectContext &context, platform::Error *error)
{
    if (!context.hasChanges())
        return true;
    // One moment for the whole save: records inserted together (the accounts
    // of one reply) then tie on createdAt and keep the order they were
    // inserted in, instead of one that depends on where the clock ticked
    // while they were being stamped.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const auto &object : context.updatedObjects())
        if (auto record = std::dynamic_pointer_cast<KOVSignature>(object))
            record->sign(now);
    for (const auto &object : context.insertedObjects())
        if (auto record = std::dynamic_pointer_cast<KOVSignature>(object))
            record->sign(now);
    return context.save(error);
}

} // namespace kova
