// Arbitrary bytes as the data model resource the store's schema comes from.

#include <cstddef>
#include <cstdint>

#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectModel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    kova::platform::Error error;
    const auto model = kova::platform::ManagedObjectModel::fromJson(bytes, &error);
    volatile qsizetype sink = error.localizedDescription().size();
    if (model)
        for (const auto *entity : model->entities())
            sink = sink + entity->attributes().size() + entity->relationships().size();
    (void)sink;
    return 0;
}
