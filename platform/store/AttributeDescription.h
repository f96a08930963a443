#pragma once

#include <QString>
#include <QVariant>

namespace kova::platform {

enum class AttributeType { String, Date, Binary, Boolean, Double, Integer };

// One typed attribute of an entity. In memory a value is a QVariant of the
// attribute's own type (QString, QDateTime in UTC, QByteArray, bool, double,
// qint64) or an invalid QVariant when it is empty.
struct AttributeDescription {
    QString name;
    AttributeType type = AttributeType::String;
    // A non-optional attribute (only scalars may be) always holds a value:
    // its default, or 0 / NO.
    bool optional = true;
    QVariant defaultValue;
    // Kept in an in-memory index so equality fetches on it need no scan.
    bool indexed = false;
    // The attribute's slot in an object, counted over the whole entity
    // including what it inherits.
    int index = -1;
};

} // namespace kova::platform
