#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace kova {

// The app configuration as the service's configs reply carries it under
// "appConfig".
class KOVAppConfigsModel {
public:
    // Null unless "countries" is a list holding at least one country code
    // and "serverURL" is text; a value of the wrong type counts as missing.
    static std::shared_ptr<KOVAppConfigsModel> initWithDictionary(const QJsonObject &dictionary);

    // The accent colour of the SDK's screens, as hex text.
    const QString &colorScheme() const { return m_colorScheme; }
    void setColorScheme(const QString &colorScheme) { m_colorScheme = colorScheme; }
    const QStringList &countries() const { return m_countries; }
    void setCountries(const QStringList &countries) { m_countries = countries; }
    // From "isBenefsSet" (spelt so by the service).
    bool isBenefSet() const { return m_isBenefSet; }
    void setIsBenefSet(bool isBenefSet) { m_isBenefSet = isBenefSet; }
    // Whole amounts: a fraction is dropped, a missing value is 0.
    qint64 maxTransferAmount() const { return m_maxTransferAmount; }
    void setMaxTransferAmount(qint64 amount) { m_maxTransferAmount = amount; }
    qint64 minTransferAmount() const { return m_minTransferAmount; }
    void setMinTransferAmount(qint64 amount) { m_minTransferAmount = amount; }
    const QString &serverURL() const { return m_serverURL; }
    void setServerURL(const QString &serverURL) { m_serverURL = serverURL; }

private:
    QString m_colorScheme;
    QStringList m_countries;
    bool m_isBenefSet = false;
    qint64 m_maxTransferAmount = 0;
    qint64 m_minTransferAmount = 0;
    QString m_serverURL;
};

} // namespace kova
