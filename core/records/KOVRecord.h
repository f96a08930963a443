#pragma once

#include <QJsonObject>
#include <mutex>

#include "core/records/DictionaryRepresentable.h"

namespace kova {

// Base of the records that keep the JSON they were read from. The repository
// swaps that JSON for the whole reply after building a record, and a host may
// read it from another thread meanwhile, so the kept JSON is guarded.
class KOVRecord : public DictionaryRepresentable {
public:
    KOVRecord() = default;
    KOVRecord(const KOVRecord &) = delete;
    KOVRecord &operator=(const KOVRecord &) = delete;

    QJsonObject dictionaryRepresentation() const override;
    void setDictionaryRepresentation(const QJsonObject &dictionary) override;

private:
    mutable std::mutex m_dictionaryMutex;
    QJsonObject m_dictionaryRepresentation;
};

} // namespace kova
