#pragma once

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

#include "platform/net/URLQueryItem.h"

namespace kova {

// The host's options. Per-operation tables are keyed by operation name
// (such as "data/accounts/get").
class KOVConfigurations {
public:
    using HeaderFields = QList<QPair<QString, QString>>;

    // Every flag NO, everything else empty.
    KOVConfigurations() = default;
    // The two given values; every flag YES and the localised
    // "VerifyingYourAccount" as the post-connection loading text.
    static std::shared_ptr<KOVConfigurations> initWithCountries(const QStringList &countries, const QString &environment);

    const QStringList &countries() const { return m_countries; }
    void setCountries(const QStringList &countries) { m_countries = countries; }
    const QString &environment() const { return m_environment; }
    void setEnvironment(const QString &environment) { m_environment = environment; }

    const QHash<QString, QString> &endpoints() const { return m_endpoints; }
    void setEndpoints(const QHash<QString, QString> &endpoints) { m_endpoints = endpoints; }
    const QHash<QString, QList<platform::URLQueryItem>> &endPointExtraQueryItems() const { return m_extraQueryItems; }
    void setEndPointExtraQueryItems(const QHash<QString, QList<platform::URLQueryItem>> &items) { m_extraQueryItems = items; }
    const QHash<QString, HeaderFields> &endPointExtraHeaderFields() const { return m_extraHeaderFields; }
    void setEndPointExtraHeaderFields(const QHash<QString, HeaderFields> &fields) { m_extraHeaderFields = fields; }
    const QHash<QString, QJsonValue> &endPointExtraBody() const { return m_extraBody; }
    void setEndPointExtraBody(const QHash<QString, QJsonValue> &body) { m_extraBody = body; }

    bool showLogos() const { return m_showLogos; }
    void setShowLogos(bool v) { m_showLogos = v; }
    bool showCloseButton() const { return m_showCloseButton; }
    void setShowCloseButton(bool v) { m_showCloseButton = v; }
    bool showAddAccountButton() const { return m_showAddAccountButton; }
    void setShowAddAccountButton(bool v) { m_showAddAccountButton = v; }
    const QString &postSuccessfulConnectionLoadingText() const { return m_loadingText; }
    void setPostSuccessfulConnectionLoadingText(const QString &text) { m_loadingText = text; }
    bool showTransferSuccessfulResult() const { return m_showTransferSuccessfulResult; }
    void setShowTransferSuccessfulResult(bool v) { m_showTransferSuccessfulResult = v; }
    bool showTransferErrorResult() const { return m_showTransferErrorResult; }
    void setShowTransferErrorResult(bool v) { m_showTransferErrorResult = v; }

private:
    QStringList m_countries;
    QString m_environment;
    QHash<QString, QString> m_endpoints;
    QHash<QString, QList<platform::URLQueryItem>> m_extraQueryItems;
    QHash<QString, HeaderFields> m_extraHeaderFields;
    QHash<QString, QJsonValue> m_extraBody;
    bool m_showLogos = false;
    bool m_showCloseButton = false;
    bool m_showAddAccountButton = false;
    QString m_loadingText;
    bool m_showTransferSuccessfulResult = false;
    bool m_showTransferErrorResult = false;
};

} // namespace kova
