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

// Installs a presence check for one test and removes it afterwards.
class PresenceCheckScope {
public:
    explicit PresenceCheckScope(std::function<bool(const QString &prompt)> check);
    ~PresenceCheckScope();
};

} // namespace kova::test
