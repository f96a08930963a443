#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "demo/DemoConnectUser.h"
#include "demo/DemoMfaUser.h"
#include "demo/DemoPaymentUser.h"
#include "platform/foundation/Error.h"

namespace kova {
namespace platform {
class ViewController;
}
class KOVAccount;
class KOVBankConnection;
class KOVCard;
} // namespace kova

// Plays a host application: starts the SDK, links a bank through the hosted
// connect page, imports a login that the sandbox issues, walks every data
// road, pays once without screens and once through the payment screens, and
// delinks, printing what a host developer would want to see. Any failing
// step ends the run non-zero.
class DemoHost : public QObject {
public:
    explicit DemoHost(QString clientUserID);
    void run();

private:
    using Step = std::function<void(std::function<void()> next)>;
    void runSteps(QList<std::pair<QString, Step>> steps);
    void fail(const QString &step, const kova::platform::Error &error);
    void fail(const QString &step, const QString &why);
    void finish();
    void waitForScreensToClose();

    QString m_clientUserID;
    QNetworkAccessManager m_network;
    std::shared_ptr<kova::KOVBankConnection> m_connection;
    std::shared_ptr<kova::KOVAccount> m_account;
    std::shared_ptr<kova::KOVCard> m_card;
    QString m_beneficiaryID;
    DemoMfaUser m_mfaUser;
    DemoPaymentUser m_paymentUser;
    std::shared_ptr<kova::platform::ViewController> m_home; // what the host shows under the SDK's screens
    std::function<void()> m_afterScreens;
    std::shared_ptr<DemoConnectUser> m_connectUser = std::make_shared<DemoConnectUser>();
};
