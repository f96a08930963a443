#pragma once

#include <QString>

namespace kova::platform {

class EntityDescription;

enum class DeleteRule { Nullify, Cascade };

// A to-one or to-many relationship. Every relationship has an inverse, and
// a to-many one has a to-one inverse: the store keeps the link as a key on
// the to-one side only, so the two sides can never disagree on disk.
struct RelationshipDescription {
    QString name;
    QString destinationName;
    QString inverseName;
    bool toMany = false;
    DeleteRule deleteRule = DeleteRule::Nullify;

    const EntityDescription *destination = nullptr;
    const RelationshipDescription *inverse = nullptr;
    // The relationship's slot in an object, counted over the whole entity.
    int index = -1;
    // Whether this side's table holds the key column of the link.
    bool storesKey = false;
};

} // namespace kova::platform
