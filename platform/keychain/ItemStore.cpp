#include "platform/keychain/ItemStore.h"

#include <algorithm>
#include <mutex>

namespace kova::platform {
namespace {

// Returned inside an operation that met a protected item before the user
// confirmed their presence; never leaves this file.
constexpr qint32 kNeedsPresence = 1;

std::mutex s_presenceMutex;
ItemStore::PresenceCheck s_presenceCheck;

bool fitsClass(const ItemAttributes &a, ItemClass itemClass)
{
    if (itemClass == ItemClass::GenericPassword)
        return !a.server && !a.port && !a.protocol && !a.authenticationType;
    return !a.service && !a.generic;
}

bool knownValues(const ItemAttributes &a)
{
    return (!a.protocol || ItemProtocol::isKnown(*a.protocol))
        && (!a.authenticationType || ItemAuthenticationType::isKnown(*a.authenticationType))
        && (!a.accessibility || ItemAccessibility::isKnown(*a.accessibility))
        && (!a.port || (*a.port >= 0 && *a.port <= 65535));
}

bool validQuery(const ItemAttributes &q)
{
    // A value or a policy is not something an item can be looked up by.
    return q.itemClass && fitsClass(q, *q.itemClass) && knownValues(q) && !q.valueData && !q.accessControl;
}

bool validWrite(const ItemAttributes &a)
{
    return knownValues(a) && a.synchronizable != Synchronizable::Any && !a.matchLimit && !a.returnData
        && !a.returnAttributes && !(a.accessControl && a.accessibility)
        && !(a.accessControl && a.synchronizable == Synchronizable::Yes);
}

bool validChanges(const ItemAttributes &c)
{
    const bool changesSomething = c.account || c.service || c.accessGroup || c.server || c.port || c.protocol
        || c.authenticationType || c.accessibility || c.synchronizable || c.accessControl || c.label || c.comment
        || c.generic || c.valueData;
    return !c.itemClass && validWrite(c) && changesSomething;
}

template <typename T>
bool entryMatches(const std::optional<T> &wanted, const std::optional<T> &actual)
{
    return !wanted || wanted == actual;
}

// `sameAccount`: the item was found under the query's account already, so
// the texts need not be compared again (an item without an account is filed
// under the empty text and still compared).
bool matches(const ItemAttributes &q, const ItemAttributes &item, bool sameAccount = false)
{
    if (q.itemClass != item.itemClass)
        return false;
    const Synchronizable sync = item.synchronizable.value_or(Synchronizable::No);
    if (q.synchronizable != Synchronizable::Any && q.synchronizable.value_or(Synchronizable::No) != sync)
        return false;
    return ((sameAccount && item.account) || entryMatches(q.account, item.account)) && entryMatches(q.service, item.service)
        && entryMatches(q.accessGroup, item.accessGroup) && entryMatches(q.server, item.server)
        && entryMatches(q.port, item.port) && entryMatches(q.protocol, item.protocol)
        && entryMatches(q.authenticationType, item.authenticationType)
        && entryMatches(q.accessibility, item.accessibility) && entryMatches(q.label, item.label)
        && entryMatches(q.comment, item.comment) && entryMatches(q.generic, item.generic);
}

QString textOf(const std::optional<QString> &value)
{
    return value.value_or(QString());
}

bool sameIdentity(const ItemAttributes &a, const ItemAttributes &b)
{
    if (a.itemClass != b.itemClass || textOf(a.account) != textOf(b.account)
        || textOf(a.accessGroup) != textOf(b.accessGroup)
        || (a.synchronizable == Synchronizable::Yes) != (b.synchronizable == Synchronizable::Yes))
        return false;
    if (a.itemClass == ItemClass::InternetPassword)
        return textOf(a.server) == textOf(b.server) && a.port.value_or(0) == b.port.value_or(0)
            && textOf(a.protocol) == textOf(b.protocol) && textOf(a.authenticationType) == textOf(b.authenticationType);
    return textOf(a.service) == textOf(b.service);
}

// The stored form of a new item: identity texts present, defaults filled in,
// nothing a query would carry.
ItemAttributes storedForm(const ItemAttributes &a)
{
    ItemAttributes stored = a;
    stored.valueData.reset();
    stored.matchLimit.reset();
    stored.returnData = stored.returnAttributes = stored.noInteraction = false;
    stored.operationPrompt.clear();
    stored.account = textOf(a.account);
    if (a.itemClass == ItemClass::GenericPassword)
        stored.service = textOf(a.service);
    else
        stored.server = textOf(a.server);
    stored.synchronizable = a.synchronizable.value_or(Synchronizable::No);
    stored.accessibility = a.accessControl ? a.accessControl->accessibility()
                                           : a.accessibility.value_or(ItemAccessibility::WhenUnlocked);
    return stored;
}

bool applyChanges(ItemAttributes &item, const ItemAttributes &c)
{
    auto set = [](auto &field, const auto &change) {
        if (change)
            field = change;
    };
    set(item.account, c.account);
    set(item.service, c.service);
    set(item.accessGroup, c.accessGroup);
    set(item.server, c.server);
    set(item.port, c.port);
    set(item.protocol, c.protocol);
    set(item.authenticationType, c.authenticationType);
    set(item.synchronizable, c.synchronizable);
    set(item.label, c.label);
    set(item.comment, c.comment);
    set(item.generic, c.generic);
    if (c.accessControl) {
        item.accessControl = c.accessControl;
        item.accessibility = c.accessControl->accessibility();
    } else if (c.accessibility) {
        // A plain accessibility replaces any policy the item had.
        item.accessControl.reset();
        item.accessibility = c.accessibility;
    }
    return fitsClass(item, *item.itemClass)
        && !(item.accessControl && item.synchronizable == Synchronizable::Yes);
}

} // namespace

ItemStore::ItemStore(std::shared_ptr<Vault> vault) : m_vault(vault ? std::move(vault) : Vault::standard()) {}

void ItemStore::setPresenceCheck(PresenceCheck check)
{
    std::lock_guard lock(s_presenceMutex);
    s_presenceCheck = std::move(check);
}

qint32 ItemStore::withPresence(const QString &prompt, FunctionRef<qint32(bool confirmed)> operation)
{
    qint32 status = operation(false);
    if (status != kNeedsPresence)
        return status;
    // Asked outside the vault's lock: the user may take their time.
    PresenceCheck check;
    {
        std::lock_guard lock(s_presenceMutex);
        check = s_presenceCheck;
    }
    if (!check || !check(prompt))
        return KeychainStatus::AuthFailed;
    status = operation(true);
    return status == kNeedsPresence ? KeychainStatus::AuthFailed : status;
}

qint32 ItemStore::add(const ItemAttributes &attributes)
{
    if (!attributes.itemClass || !fitsClass(attributes, *attributes.itemClass) || !validWrite(attributes))
        return KeychainStatus::Param;
    const ItemAttributes stored = storedForm(attributes);
    const QByteArray value = attributes.valueData.value_or(QByteArray());
    return m_vault->write([&](Vault::Items &items) { return addTo(items, stored, value); });
}

qint32 ItemStore::withMatches(const ItemAttributes &query, bool returnsData, Vault::Freshness freshness,
                              FunctionRef<qint32(const Matches &found)> use)
{
    if (!validQuery(query))
        return KeychainStatus::Param;
    const bool all = query.matchLimit == MatchLimit::All;
    return withPresence(query.operationPrompt, [&](bool confirmed) {
        return m_vault->read([&](const Vault::Items &items, const Vault::AccountIndex &byAccount) {
            Matches found;
            bool guarded = false;
            auto consider = [&](const VaultItem &item, bool sameAccount) {
                if (!matches(query, item.attributes(), sameAccount))
                    return true;
                found.append(&item);
                guarded = guarded || item.attributes().needsUserPresence();
                return all;
            };
            if (query.account) {
                // Most lookups name their item: only that account's items can match.
                for (qsizetype i = byAccount.first(*query.account); i >= 0; i = byAccount.next(i))
                    if (!consider(items[i], true))
                        break;
            } else {
                for (const VaultItem &item : items)
                    if (!consider(item, false))
                        break;
            }
            if (found.empty())
                return KeychainStatus::ItemNotFound;
            if (guarded && query.noInteraction)
                return KeychainStatus::InteractionNotAllowed;
            if (guarded && returnsData && !confirmed)
                return kNeedsPresence;
            return use(found);
        }, freshness);
    });
}

qint32 ItemStore::copyMatching(const ItemAttributes &query, QList<ItemAttributes> *result)
{
    return withMatches(query, query.returnData, Vault::Freshness::Exact, [&](const Matches &found) {
        if (!result)
            return qint32(KeychainStatus::Success);
        QList<ItemAttributes> out;
        out.reserve(found.size());
        for (const VaultItem *item : found) {
            ItemAttributes entry;
            if (query.returnAttributes)
                entry = item->attributes();
            if (query.returnData) {
                QByteArray value;
                if (const qint32 status = item->value(&value); status != KeychainStatus::Success)
                    return status;
                entry.valueData = std::move(value);
            }
            out.append(std::move(entry));
        }
        *result = std::move(out);
        return qint32(KeychainStatus::Success);
    });
}

qint32 ItemStore::copyValue(const ItemAttributes &query, QByteArray *value)
{
    // A value is read far more often than anything is written: it may come
    // from what was read a moment ago. Whatever decides a write (existence,
    // update, removal) looks at the file itself.
    return withMatches(query, true, Vault::Freshness::Recent,
                       [&](const Matches &found) { return found.front()->value(value); });
}

qint32 ItemStore::update(const ItemAttributes &query, const ItemAttributes &changes)
{
    if (!validQuery(query) || !validChanges(changes))
        return KeychainStatus::Param;
    return withPresence(query.operationPrompt, [&](bool confirmed) {
        return m_vault->write([&](Vault::Items &items) { return updateIn(items, query, changes, confirmed); });
    });
}

qint32 ItemStore::set(const ItemAttributes &query, const ItemAttributes &added, const ItemAttributes &changes)
{
    if (!validQuery(query))
        return KeychainStatus::Param;
    // Each half is judged only when it is the one that runs, as a separate
    // add or update would be.
    const bool addable = added.itemClass && fitsClass(added, *added.itemClass) && validWrite(added);
    const bool changeable = validChanges(changes);
    const ItemAttributes stored = addable ? storedForm(added) : ItemAttributes();
    const QByteArray value = added.valueData.value_or(QByteArray());
    return withPresence(query.operationPrompt, [&](bool confirmed) {
        return m_vault->write([&](Vault::Items &items) {
            const bool found = std::any_of(items.cbegin(), items.cend(),
                                           [&](const VaultItem &item) { return matches(query, item.attributes()); });
            if (!found)
                return addable ? addTo(items, stored, value) : KeychainStatus::Param;
            return changeable ? updateIn(items, query, changes, confirmed) : KeychainStatus::Param;
        });
    });
}

qint32 ItemStore::addTo(Vault::Items &items, const ItemAttributes &stored, const QByteArray &value)
{
    for (const VaultItem &item : std::as_const(items))
        if (sameIdentity(item.attributes(), stored))
            return KeychainStatus::DuplicateItem;
    items.append(VaultItem(stored, value));
    return KeychainStatus::Success;
}

qint32 ItemStore::updateIn(Vault::Items &items, const ItemAttributes &query, const ItemAttributes &changes,
                           bool confirmed)
{
    const Vault::Items &current = items;
    QList<qsizetype> targets;
    bool guarded = false;
    for (qsizetype i = 0; i < current.size(); ++i) {
        if (matches(query, current[i].attributes())) {
            targets.append(i);
            guarded = guarded || current[i].attributes().needsUserPresence();
        }
    }
    if (targets.isEmpty())
        return KeychainStatus::ItemNotFound;
    if (guarded && query.noInteraction)
        return KeychainStatus::InteractionNotAllowed;
    if (guarded && !confirmed)
        return kNeedsPresence;
    for (qsizetype i : targets) {
        VaultItem &item = items[i];
        if (!applyChanges(item.attributes(), changes))
            return KeychainStatus::Param;
        if (changes.valueData)
            item.setValue(*changes.valueData);
    }
    for (qsizetype i : targets)
        for (qsizetype j = 0; j < current.size(); ++j)
            if (j != i && sameIdentity(current[i].attributes(), current[j].attributes()))
                return KeychainStatus::DuplicateItem;
    return KeychainStatus::Success;
}

qint32 ItemStore::remove(const ItemAttributes &query)
{
    if (!validQuery(query))
        return KeychainStatus::Param;
    return m_vault->write([&](Vault::Items &items) {
        const qsizetype removed = items.removeIf([&](const VaultItem &item) { return matches(query, item.attributes()); });
        return removed > 0 ? KeychainStatus::Success : KeychainStatus::ItemNotFound;
    });
}

} // namespace kova::platform
