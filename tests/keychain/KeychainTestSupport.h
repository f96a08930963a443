#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>

#include "platform/keychain/ItemAttributes.h"

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

inline platform::ItemAttributes genericItem(const QString &service, const QString &account)
{
    platform::ItemAttributes attributes;
    attributes.itemClass = platform::ItemClass::GenericPassword;
    attributes.service = service;
    attributes.account = account;
    return attributes;
}

// Makes the vault's reads of one file, or its stat of that file once open,
// fail with EIO for the object's lifetime, as a failing disk would.
class ReadErrorsOn {
public:
    enum class Call { Read, Fstat };
    ReadErrorsOn(const QString &path, Call call);
    ~ReadErrorsOn();
    ReadErrorsOn(const ReadErrorsOn &) = delete;
    ReadErrorsOn &operator=(const ReadErrorsOn &) = delete;
};

// Installs a presence check for one test and removes it afterwards.
class PresenceCheckScope {
public:
    explicit PresenceCheckScope(std::function<bool(const QString &prompt)> check);
    ~PresenceCheckScope();
};

} // namespace kova::test
