#pragma once

#include <memory>

namespace kova::platform {
class ManagedObjectModel;
class PersistentContainer;
} // namespace kova::platform

namespace kova {

// The "KovaConnect" data model from the framework's resources, with the
// SDK's classes registered for its entities; null (logged) when the
// resource is missing or broken.
std::shared_ptr<platform::ManagedObjectModel> loadKovaConnectModel();

// The "KovaConnect" container with its store in the app's data directory,
// already loaded. A store that cannot be opened (or a missing model) is
// logged and replaced by an in-memory one, so the context is always usable.
std::shared_ptr<platform::PersistentContainer> makeKovaConnectContainer();

} // namespace kova
