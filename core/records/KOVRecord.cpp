#include "core/records/KOVRecord.h"

namespace kova {

QJsonObject KOVRecord::dictionaryRepresentation() const
{
    std::lock_guard lock(m_dictionaryMutex);
    return m_dictionaryRepresentation;
}

void KOVRecord::setDictionaryRepresentation(const QJsonObject &dictionary)
{
    // Copy outside the lock so the guarded section is only a swap.
    QJsonObject copy = dictionary;
    std::lock_guard lock(m_dictionaryMutex);
    m_dictionaryRepresentation.swap(copy);
}

} // namespace kova
