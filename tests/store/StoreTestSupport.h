#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

// Raw access to a store file, as another process (or a damaged disk) would
// touch it.
namespace kova::platform {
class ManagedObject;
class ManagedObjectContext;
class ManagedObjectModel;
} // namespace kova::platform

namespace kova::test {

// A small model with every attribute type, inheritance, a one-to-one and a
// one-to-many relationship, both cascading from Owner:
//   Base (abstract): createdAt date
//   Owner: name (indexed text), note text, active boolean (default YES),
//          score double (scalar), amount double?, count integer?, flag boolean?,
//          blob binary; profile -> Profile (cascade), items ->> Item (cascade)
//   Profile: color text; owner -> Owner
//   Item: title (indexed text), rank integer?; owner -> Owner
// A later version adds Item.extra (text).
std::shared_ptr<platform::ManagedObjectModel> testModel(int version = 1);

// A new Owner of that name, and a new Item of that title in an owner's items.
std::shared_ptr<platform::ManagedObject> insertOwner(platform::ManagedObjectContext &context, const QString &name);
std::shared_ptr<platform::ManagedObject> insertItem(platform::ManagedObjectContext &context, const QString &title,
                                                    const std::shared_ptr<platform::ManagedObject> &owner);

} // namespace kova::test

namespace kova::test::sqlite {

// Runs statements; false (with SQLite's message in `message`) on failure.
bool exec(const QString &file, const QString &sql, QString *message = nullptr);
// The first column of the first row, or an invalid QVariant.
QVariant scalar(const QString &file, const QString &sql);

} // namespace kova::test::sqlite
