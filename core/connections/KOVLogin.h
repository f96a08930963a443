#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <memory>

namespace kova {

// One bank login as a flat dictionary of texts: the connect page's success
// items, or a connection's exported parameters.
class KOVLogin {
public:
    // A value of the wrong type (a JSON null written for an absent value
    // included) reads as absent.
    static std::shared_ptr<KOVLogin> initWithDictionary(const QJsonObject &dictionary);

    bool success() const { return m_success; }
    void setSuccess(bool success) { m_success = success; }
    const QString &operationID() const { return m_operationID; }
    void setOperationID(const QString &v) { m_operationID = v; }
    const QString &accessCode() const { return m_accessCode; }
    void setAccessCode(const QString &v) { m_accessCode = v; }
    const QString &userSecret() const { return m_userSecret; }
    void setUserSecret(const QString &v) { m_userSecret = v; }
    const QString &connectionID() const { return m_connectionID; }
    void setConnectionID(const QString &v) { m_connectionID = v; }
    const QString &userID() const { return m_userID; }
    void setUserID(const QString &v) { m_userID = v; }
    const QString &tokenID() const { return m_tokenID; }
    void setTokenID(const QString &v) { m_tokenID = v; }
    const QString &bankId() const { return m_bankId; }
    void setBankId(const QString &v) { m_bankId = v; }
    const QString &bankFullName() const { return m_bankFullName; }
    void setBankFullName(const QString &v) { m_bankFullName = v; }
    const QString &bankShortName() const { return m_bankShortName; }
    void setBankShortName(const QString &v) { m_bankShortName = v; }
    const QString &bankFullLogoPng() const { return m_bankFullLogoPng; }
    void setBankFullLogoPng(const QString &v) { m_bankFullLogoPng = v; }
    const QString &bankHalfLogoPng() const { return m_bankHalfLogoPng; }
    void setBankHalfLogoPng(const QString &v) { m_bankHalfLogoPng = v; }
    const QString &bankMiniLogoPng() const { return m_bankMiniLogoPng; }
    void setBankMiniLogoPng(const QString &v) { m_bankMiniLogoPng = v; }
    const QJsonArray &userInputs() const { return m_userInputs; }
    void setUserInputs(const QJsonArray &v) { m_userInputs = v; }
    const QString &primaryColor() const { return m_primaryColor; }
    void setPrimaryColor(const QString &v) { m_primaryColor = v; }
    const QString &secondaryColor() const { return m_secondaryColor; }
    void setSecondaryColor(const QString &v) { m_secondaryColor = v; }

private:
    bool m_success = false;
    QString m_operationID;
    QString m_accessCode;
    QString m_userSecret;
    QString m_connectionID;
    QString m_userID;
    QString m_tokenID;
    QString m_bankId;
    QString m_bankFullName;
    QString m_bankShortName;
    QString m_bankFullLogoPng;
    QString m_bankHalfLogoPng;
    QString m_bankMiniLogoPng;
    QJsonArray m_userInputs;
    QString m_primaryColor;
    QString m_secondaryColor;
};

} // namespace kova
