#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "platform/store/EntityDescription.h"
#include "platform/store/ManagedObjectModel.h"

using namespace kova::platform;

namespace {

QByteArray modelWith(const QJsonArray &entities, const QJsonValue &version = 1)
{
    return QJsonDocument(QJsonObject{{"name", "Test"}, {"version", version}, {"entities", entities}}).toJson();
}

QJsonObject entity(const QString &name, const QJsonArray &attributes = {}, const QJsonArray &relationships = {})
{
    return QJsonObject{{"name", name}, {"attributes", attributes}, {"relationships", relationships}};
}

QString failureOf(const QByteArray &json)
{
    Error error;
    const auto model = ManagedObjectModel::fromJson(json, &error);
    EXPECT_EQ(model, nullptr);
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, 259);
    return error.localizedDescription();
}

} // namespace

TEST(ObjectModel, InheritanceSharesSlotsAndLinksInverses)
{
    QJsonObject base = entity("Base", {QJsonObject{{"name", "createdAt"}, {"type", "date"}}});
    base["abstract"] = true;
    QJsonObject owner = entity("Owner",
                               {QJsonObject{{"name", "name"}, {"type", "string"}, {"indexed", true}},
                                QJsonObject{{"name", "active"}, {"type", "boolean"}, {"optional", false}, {"default", true}},
                                QJsonObject{{"name", "count"}, {"type", "integer"}, {"optional", false}}},
                               {QJsonObject{{"name", "items"}, {"destination", "Item"}, {"inverse", "owner"},
                                            {"toMany", true}, {"deleteRule", "cascade"}}});
    owner["parent"] = "Base";
    QJsonObject item = entity("Item", {}, {QJsonObject{{"name", "owner"}, {"destination", "Owner"}, {"inverse", "items"}}});
    item["parent"] = "Base";
    Error error;
    const auto model = ManagedObjectModel::fromJson(modelWith({item, owner, base}, 7), &error);
    ASSERT_NE(model, nullptr) << error.localizedDescription().toStdString();
    EXPECT_EQ(model->name(), "Test");
    EXPECT_EQ(model->version(), 7);

    const EntityDescription *o = model->entity("Owner");
    const EntityDescription *i = model->entity("Item");
    ASSERT_TRUE(o && i);
    EXPECT_EQ(o->attribute("createdAt")->index, 0);
    EXPECT_EQ(i->attribute("createdAt")->index, 0);
    EXPECT_EQ(o->attribute("name")->index, 1);
    EXPECT_TRUE(o->attribute("name")->indexed);
    EXPECT_EQ(o->attribute("active")->defaultValue, QVariant(true));
    EXPECT_EQ(o->attribute("count")->defaultValue, QVariant(qint64(0)));
    EXPECT_FALSE(o->attribute("createdAt")->defaultValue.isValid());
    EXPECT_TRUE(o->isKindOf(model->entity("Base")));
    EXPECT_FALSE(o->isKindOf(i));

    const RelationshipDescription *items = o->relationship("items");
    const RelationshipDescription *back = i->relationship("owner");
    EXPECT_EQ(items->inverse, back);
    EXPECT_EQ(back->inverse, items);
    EXPECT_EQ(items->deleteRule, DeleteRule::Cascade);
    EXPECT_EQ(back->deleteRule, DeleteRule::Nullify);
    // The key of a to-many link lives on its to-one side only.
    EXPECT_FALSE(items->storesKey);
    EXPECT_TRUE(back->storesKey);

    const auto concrete = model->entity("Base")->concreteEntities();
    EXPECT_EQ(concrete.size(), 2u);
}

TEST(ObjectModel, OneToOneKeepsItsKeyOnExactlyOneSide)
{
    const auto model = ManagedObjectModel::fromJson(modelWith({
        entity("A", {}, {QJsonObject{{"name", "b"}, {"destination", "B"}, {"inverse", "a"}}}),
        entity("B", {}, {QJsonObject{{"name", "a"}, {"destination", "A"}, {"inverse", "b"}}}),
    }));
    ASSERT_NE(model, nullptr);
    EXPECT_NE(model->entity("A")->relationship("b")->storesKey, model->entity("B")->relationship("a")->storesKey);
}

TEST(ObjectModel, BrokenModelsAreRefusedWithTheirReason)
{
    const QJsonObject name{{"name", "name"}, {"type", "string"}};
    EXPECT_EQ(failureOf("not json"), "The data model cannot be used: it is not a JSON object.");
    EXPECT_EQ(failureOf(modelWith({}, 1.5)), "The data model cannot be used: its version must be a whole number from 1.");
    EXPECT_EQ(failureOf(modelWith({}, 0)), "The data model cannot be used: its version must be a whole number from 1.");
    EXPECT_EQ(failureOf(modelWith({}, "1")), "The data model cannot be used: its version must be a whole number from 1.");
    EXPECT_EQ(failureOf(QJsonDocument(QJsonObject{{"name", "T"}, {"version", 1}}).toJson()),
              "The data model cannot be used: it has no entity list.");
    EXPECT_EQ(failureOf(modelWith({entity("Bad Name")})),
              "The data model cannot be used: An entity has an invalid name \"Bad Name\".");
    EXPECT_EQ(failureOf(modelWith({entity("A", {QJsonObject{{"name", "Z_PK"}, {"type", "string"}}})})),
              "The data model cannot be used: An attribute of A has an invalid name \"Z_PK\".");
    EXPECT_EQ(failureOf(modelWith({entity("A", {QJsonObject{{"name", "x"}, {"type", "float"}}})})),
              "The data model cannot be used: A.x has an unknown type.");
    EXPECT_EQ(failureOf(modelWith({entity("A", {QJsonObject{{"name", "x"}, {"type", "string"}, {"optional", false}}})})),
              "The data model cannot be used: A.x cannot be mandatory: only scalars can.");
    EXPECT_EQ(failureOf(modelWith({entity("A", {QJsonObject{{"name", "x"}, {"type", "double"}, {"indexed", true}}})})),
              "The data model cannot be used: A.x cannot be indexed: only text can.");
    EXPECT_EQ(failureOf(modelWith({entity("A", {QJsonObject{{"name", "x"}, {"type", "boolean"}, {"default", "yes"}}})})),
              "The data model cannot be used: A.x has a default of the wrong type.");
    EXPECT_EQ(failureOf(modelWith({entity("A", {name, name})})), "The data model cannot be used: A has two properties named name.");
    EXPECT_EQ(failureOf(modelWith({entity("A"), entity("A")})), "The data model cannot be used: the entity A is declared twice.");

    QJsonObject orphan = entity("A");
    orphan["parent"] = "Missing";
    EXPECT_EQ(failureOf(modelWith({orphan})), "The data model cannot be used: the parent Missing of A does not exist.");
    QJsonObject a = entity("A"), b = entity("B");
    a["parent"] = "B";
    b["parent"] = "A";
    EXPECT_EQ(failureOf(modelWith({a, b})), "The data model cannot be used: its entities inherit in a circle.");

    const QJsonObject toNowhere{{"name", "r"}, {"destination", "Nowhere"}, {"inverse", "x"}};
    EXPECT_EQ(failureOf(modelWith({entity("A", {}, {toNowhere})})),
              "The data model cannot be used: the destination of A.r does not exist.");
    EXPECT_EQ(failureOf(modelWith({entity("A", {}, {QJsonObject{{"name", "r"}, {"destination", "B"}, {"inverse", "back"}}}),
                                   entity("B")})),
              "The data model cannot be used: A.r has no matching inverse.");
    EXPECT_EQ(failureOf(modelWith({entity("A", {}, {QJsonObject{{"name", "r"}, {"destination", "B"}}}), entity("B")})),
              "The data model cannot be used: A.r needs a destination and an inverse.");
    EXPECT_EQ(failureOf(modelWith({
                  entity("A", {}, {QJsonObject{{"name", "bs"}, {"destination", "B"}, {"inverse", "as"}, {"toMany", true}}}),
                  entity("B", {}, {QJsonObject{{"name", "as"}, {"destination", "A"}, {"inverse", "bs"}, {"toMany", true}}}),
              })),
              "The data model cannot be used: A.bs and its inverse are both to-many.");
    EXPECT_EQ(failureOf(modelWith({
                  entity("A", {}, {QJsonObject{{"name", "b"}, {"destination", "B"}, {"inverse", "a"}, {"deleteRule", "deny"}}}),
                  entity("B", {}, {QJsonObject{{"name", "a"}, {"destination", "A"}, {"inverse", "b"}}}),
              })),
              "The data model cannot be used: A.b has an unknown delete rule \"deny\".");
}

TEST(ObjectModel, MissingOrUnreadableFiles)
{
    Error error;
    EXPECT_EQ(ManagedObjectModel::fromFile("/nonexistent/Model.momd", &error), nullptr);
    EXPECT_EQ(error.code, 260);
    EXPECT_EQ(error.localizedDescription(), "The data model \"/nonexistent/Model.momd\" does not exist.");
}
