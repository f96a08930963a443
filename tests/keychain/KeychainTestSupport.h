#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <thread>

#include "platform/keychain/ItemAttributes.h"
#include "platform/keychain/Vault.h"

namespace kova::test {

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A value read may trust the vault file for a moment after it was last
// looked at; a test that replaces the file behind the vault's back waits
// that moment out before reading values.
inline void waitOutRecentReads()
{
    std::this_thread::sleep_for(platform::Vault::kRecentFor * 2);
}

inline platform::ItemAttributes genericItem(const QString &service, const QString &account)
{
    platform::ItemAttributes attributes;
    attributes.itemClass = platform::ItemClass::GenericPassword;
    attributes.service = service;
    attributes.account = account;
    return attributes;
}

// Installs a presence check for one test and removes it afterwards.
class PresenceCheckScope {
public:
    explicit PresenceCheckScope(std::function<bool(const QString &prompt)> check);
    ~PresenceCheckScope();
};

} // namespace kova::test
