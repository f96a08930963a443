#pragma once

#include <QString>
#include <memory>

#include "platform/foundation/Error.h"

namespace kova {

class KOVConfigurations;
class KOVConnection;
class KOVRepository;

// The common base of the four facades: one stored bank login, found by the
// client user ID and the login's user ID, with its secret from the keychain.
// A facade made for a given record serves that record alone, even while an
// older record of the same user is still stored beside it.
class KOVAPI : public std::enable_shared_from_this<KOVAPI> {
public:
    virtual ~KOVAPI() = default;

    const std::shared_ptr<KOVConfigurations> &configurations() const { return m_configurations; }
    void setConfigurations(std::shared_ptr<KOVConfigurations> configurations) { m_configurations = std::move(configurations); }
    const QString &tokenID() const { return m_tokenID; }
    const QString &userID() const { return m_userID; }
    const QString &clientUserID() const { return m_clientUserID; }
    const std::shared_ptr<KOVConnection> &connection() const { return m_connection; }

    // The login's record is removed when the server says its credentials are
    // no longer good: codes 2000 and 2001 made from a reply (with "info").
    void deleteConnectionWithError(const platform::Error &error, const QString &userID) const;
    void deleteConnectionWithUserID(const QString &userID) const;
    std::shared_ptr<KOVConnection> fetchConnectionForUserID(const QString &userID) const;

protected:
    KOVAPI(const QString &userID, const QString &clientUserID);
    // Finds the record (or takes the one given) and its secret; false when
    // the login cannot be used, with the keychain's error in `error` when
    // the keychain failed to answer (a read error is not a missing secret).
    bool load(std::shared_ptr<KOVConnection> record = nullptr, platform::Error *error = nullptr);
    // The user secret, for the repository calls only.
    const QString &userSecret() const { return m_userSecret; }
    // The bank ID of the stored bank info, or null.
    QString bankID() const;

    std::shared_ptr<KOVRepository> m_repo;

private:
    std::shared_ptr<KOVConfigurations> m_configurations;
    QString m_userSecret;
    QString m_tokenID;
    QString m_userID;
    QString m_clientUserID;
    std::shared_ptr<KOVConnection> m_connection;
};

} // namespace kova
