#pragma once

#include <QJsonObject>

namespace kova {

// A record that can hand back JSON: the reply it was read from, or for a
// request object the body it sends.
class DictionaryRepresentable {
public:
    virtual ~DictionaryRepresentable() = default;

    virtual QJsonObject dictionaryRepresentation() const = 0;
    virtual void setDictionaryRepresentation(const QJsonObject &dictionary) = 0;
};

} // namespace kova
