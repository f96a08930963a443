#pragma once

#include <QVariant>
#include <optional>

#include "platform/store/AttributeDescription.h"

// The value rules of the object store, shared by objects, fetches and the
// SQLite layer so that what is set, matched and stored always agree.
namespace kova::platform::AttributeValue {

// The value in the attribute type's own form, or an invalid QVariant when it
// is empty or of a type the attribute cannot hold. A JSON value wrapped in a
// QVariant is unwrapped first, so a JSON null reads as empty.
QVariant coerce(AttributeType type, const QVariant &value);

// The value a predicate compares with: like coerce(), but a value that could
// only be stored by losing part of it (2.5 for an integer) has no form, and
// then nothing can equal it (nullopt).
std::optional<QVariant> forComparison(AttributeType type, const QVariant &value);

// Both values must be in the attribute type's own form (or empty).
bool equals(AttributeType type, const QVariant &a, const QVariant &b);
// An empty value sorts before any other.
int compare(AttributeType type, const QVariant &a, const QVariant &b);

// What a non-optional attribute holds when nothing else is known.
QVariant zero(AttributeType type);

} // namespace kova::platform::AttributeValue
