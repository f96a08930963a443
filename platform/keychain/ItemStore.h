#pragma once

#include <QList>
#include <QVarLengthArray>
#include <QString>
#include <functional>
#include <memory>

#include "platform/foundation/FunctionRef.h"
#include "platform/keychain/ItemAttributes.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/Vault.h"

namespace kova::platform {

// Generic and internet password items over a vault: add, copy-matching,
// update and delete with the status codes of KeychainStatus.
//
// Matching: every attribute a query names must be equal; a query without a
// synchronised entry matches local items only, Synchronizable::Any matches
// both. An item's identity is its class, account, access group, synchronised
// flag and service (generic) or server, port, protocol and authentication
// type (internet); a second item of the same identity is a duplicate.
//
// An item whose access control asks for the user's presence reports
// "interaction not allowed" to any query that forbids interaction, and needs
// the presence check before its value is returned or changed; deleting it
// needs neither.
class ItemStore {
public:
    // The store over `vault`, or over the process-wide vault when null.
    explicit ItemStore(std::shared_ptr<Vault> vault = nullptr);

    // Adds one item. `valueData` is its value (empty when absent); absent
    // account and service or server are stored as empty, accessibility
    // defaults to WhenUnlocked (or the access control's), synchronised to No.
    qint32 add(const ItemAttributes &attributes);
    // Finds the first item (MatchLimit::One, the default) or every item
    // (MatchLimit::All) and, when `result` is given, returns for each its
    // attributes and/or value as the query's return entries ask.
    qint32 copyMatching(const ItemAttributes &query, QList<ItemAttributes> *result = nullptr);
    // The value of the first item the query matches, as copyMatching with
    // returnData would give it, without building the result entries.
    qint32 copyValue(const ItemAttributes &query, QByteArray *value);
    // Applies `changes` (attributes and/or `valueData`) to every matching item.
    qint32 update(const ItemAttributes &query, const ItemAttributes &changes);
    // Deletes every matching item.
    qint32 remove(const ItemAttributes &query);
    // Adds `added` when nothing matches `query`, else applies `changes` to
    // every match, as add and update would, in one write: two writers of
    // one item never both find it missing.
    qint32 set(const ItemAttributes &query, const ItemAttributes &added, const ItemAttributes &changes);

    // Asks the user to confirm their presence, showing `prompt` (possibly
    // empty); true when they did. The host installs it; without one no
    // protected item's value can be used.
    using PresenceCheck = std::function<bool(const QString &prompt)>;
    static void setPresenceCheck(PresenceCheck check);

private:
    qint32 withPresence(const QString &prompt, FunctionRef<qint32(bool confirmed)> operation);
    // Finds what `query` matches (its first item, or all) inside the vault's
    // read and, the presence rules passed, hands the items to `use`.
    using Matches = QVarLengthArray<const VaultItem *, 4>;
    qint32 withMatches(const ItemAttributes &query, bool returnsData, Vault::Freshness freshness,
                       FunctionRef<qint32(const Matches &found)> use);

    // The halves of a write, run on the vault's copy of the items.
    static qint32 addTo(Vault::Items &items, const ItemAttributes &stored, const QByteArray &value);
    static qint32 updateIn(Vault::Items &items, const ItemAttributes &query, const ItemAttributes &changes,
                           bool confirmed);

    std::shared_ptr<Vault> m_vault;
};

} // namespace kova::platform
