#include "core/store/KOVStoreSave.h"

#include "core/store/KOVSignature.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {

bool saveContextStamping(platform::ManagedObjectContext &context, platform::Error *error)
{
    if (!context.hasChanges())
        return true;
    for (const auto &object : context.updatedObjects())
        if (auto record = std::dynamic_pointer_cast<KOVSignature>(object))
            record->sign();
    for (const auto &object : context.insertedObjects())
        if (auto record = std::dynamic_pointer_cast<KOVSignature>(object))
            record->sign();
    return context.save(error);
}

} // namespace kova
