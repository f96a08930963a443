#include "tests/payment_ui/PaymentFlowFixture.h"

#include <QJsonDocument>

#include "core/KOVConfigurations.h"
#include "core/KOVScreensProvider.h"
#include "core/Kova.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVWireBeneficiary.h"
#include "platform/ui/Application.h"
#include "ui/KovaUI.h"
#include "ui/messages/MessageViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVScreensAutoFlow.h"

namespace kova::test {

void PaymentFlowTest::SetUp()
{
    SdkTest::SetUp();
    startDefault(QStringLiteral("client-1"));
    // The screens as a host installs them (fonts included).
    KOVScreensProvider::install(std::make_shared<KOVUIScreensProvider>());
    clock = std::make_shared<platform::ManualRefreshSource>(60.0);
    KOVAutoFlowNavigationController::setLoaderRefreshSource(clock);
    home = std::make_shared<platform::ViewController>();
    window = makeWindow(home);
    dismissedObservation = platform::NotificationObservation(QStringLiteral("KovaUIDismissed"),
                                                             [this](const platform::Notification &) { ++dismissedNotices; });
}

void PaymentFlowTest::TearDown()
{
    dismissedObservation = platform::NotificationObservation();
    window.reset();
    home.reset();
    pump();
    KOVAutoFlowNavigationController::setLoaderRefreshSource(nullptr);
    SdkTest::TearDown();
}

std::shared_ptr<KOVBankConnection> PaymentFlowTest::link(QJsonObject *parameters)
{
    const QJsonObject issued = server->issueLogin(QStringLiteral("client-1"));
    if (parameters)
        *parameters = issued;
    int calls = 0;
    KOVBankConnection::create(issued, [&](auto, OptionalError error) {
        ++calls;
        EXPECT_FALSE(error.has_value());
    });
    EXPECT_TRUE(pumpUntil([&] { return calls == 1; }));
    pump();
    for (const auto &connection : KOVBankConnection::getConnectionsWithClientUserID(QStringLiteral("client-1")))
        if (connection->userID() == issued.value("userID").toString())
            return connection;
    return nullptr;
}

std::shared_ptr<KOVBankConnection> PaymentFlowTest::linkWithAccounts(QJsonObject *parameters)
{
    QJsonObject issued;
    const auto bank = link(&issued);
    if (parameters)
        *parameters = issued;
    if (!bank)
        return nullptr;
    int calls = 0;
    bank->getAccounts([&](auto, OptionalError, QString) { ++calls; });
    EXPECT_TRUE(pumpUntil([&] { return calls == 1; }));
    for (const auto &connection : KOVBankConnection::getConnectionsWithClientUserID(QStringLiteral("client-1")))
        if (connection->userID() == issued.value("userID").toString())
            return connection;
    return nullptr;
}

std::shared_ptr<KOVBeneficiary> PaymentFlowTest::beneficiary() const
{
    auto beneficiary = std::make_shared<KOVBeneficiary>();
    beneficiary->setName(QStringLiteral("Omar"));
    beneficiary->setIban(QStringLiteral("AE460260001015333439901"));
    return beneficiary;
}

std::shared_ptr<KOVNumPadDisplayViewController> PaymentFlowTest::padShown(const std::shared_ptr<KOVAutoFlowNavigationController> &flow)
{
    if (!flow)
        return nullptr;
    EXPECT_TRUE(pumpUntil([&] {
        const auto sheet = window->topPresentedViewController();
        return flow->numPadDisplayViewController() && flow->numPadDisplayViewController()->isVisible() && sheet
            && !sheet->isBeingPresented();
    }));
    return flow->numPadDisplayViewController();
}

QList<QJsonObject> PaymentFlowTest::transferBodies() const
{
    QList<QJsonObject> bodies;
    for (const auto &request : server->requestsForPath(sandbox::SandboxServer::AppServerPath))
        if (request.action == "/payment/transfer/autoflow")
            bodies.append(request.json);
    return bodies;
}

void PaymentFlowTest::pressWhileSwipingAway(QWidget *button)
{
    platform::Application::shared().setAnimationsEnabled(true);
    ASSERT_TRUE(window->userSwipeDown());
    EXPECT_TRUE(button->isVisible()) << "the sheet is still on its way out";
    tap(button);
    platform::Application::shared().setAnimationsEnabled(false);
}

KOVTransferReferenceCompletion PaymentFlowTest::recording(const std::shared_ptr<TransferOutcome> &outcome,
                                                          std::function<void()> then)
{
    return [this, outcome, then](std::shared_ptr<KOVAccount> account, double amount, OptionalError error,
                                 QString operationID, QString reference) {
        ++outcome->calls;
        outcome->account = std::move(account);
        outcome->amount = amount;
        outcome->error = std::move(error);
        outcome->operationID = std::move(operationID);
        outcome->reference = std::move(reference);
        outcome->resultScreenShown = resultScreen() != nullptr;
        if (then)
            then();
    };
}

std::shared_ptr<TransferOutcome> PaymentFlowTest::transfer(const std::shared_ptr<KOVBankConnection> &bank,
                                                          std::shared_ptr<KOVAccount> account, double amount, bool wire)
{
    auto outcome = std::make_shared<TransferOutcome>();
    const KOVTransferReferenceCompletion completion = recording(outcome);
    if (wire) {
        auto to = std::make_shared<KOVWireBeneficiary>();
        to->setName(QStringLiteral("Omar"));
        to->setAccountNumber(QStringLiteral("GB29NWBK60161331926819"));
        bank->createWireTransferFromAccount(std::move(account), to, amount, completion, QStringLiteral("rent"));
    } else {
        bank->createTransferFromAccount(std::move(account), beneficiary(), amount, completion, QStringLiteral("rent"));
    }
    return outcome;
}

std::shared_ptr<KOVAutoFlowNavigationController> PaymentFlowTest::coordinator(const std::shared_ptr<KOVBankConnection> &bank) const
{
    const auto flow = std::dynamic_pointer_cast<KOVScreensAutoFlow>(bank->autoFlow());
    return flow ? flow->autoFlowNavigationController() : nullptr;
}

std::shared_ptr<platform::ViewController> PaymentFlowTest::top() const
{
    return platform::Application::shared().presentationAnchor();
}

std::shared_ptr<MessageViewController> PaymentFlowTest::resultScreen() const
{
    return std::dynamic_pointer_cast<MessageViewController>(top());
}

void PaymentFlowTest::advanceSeconds(int seconds)
{
    for (int i = 0; i < seconds; ++i)
        clock->refresh(60);
}

QJsonObject PaymentFlowTest::lastTransferBody(const QString &action) const
{
    QJsonObject body;
    for (const auto &request : server->requestsForPath(sandbox::SandboxServer::AppServerPath))
        if (request.action == action)
            body = request.json;
    for (const char *key : {"appKey", "action", "bundleID"})
        body.remove(key);
    return body;
}

std::string PaymentFlowTest::transferBodyText(const QString &senderID, int amount, const QJsonObject &issued) const
{
    const QJsonObject body{{"senderID", senderID}, {"amount", amount}, {"userSecret", issued.value("userSecret")},
                           {"tokenID", issued.value("tokenID")}, {"userID", issued.value("userID")},
                           {"remark", "rent"}, {"beneficiary", beneficiary()->dictionaryRepresentation()},
                           {"bankID", issued.value("bankId")}};
    return QJsonDocument(body).toJson().toStdString();
}

std::string PaymentFlowTest::lastTransferBodyText(const QString &action) const
{
    return QJsonDocument(lastTransferBody(action)).toJson().toStdString();
}

void PaymentFlowTest::setOptions(bool showSuccess, bool showError)
{
    auto options = std::make_shared<KOVConfigurations>();
    options->setShowTransferSuccessfulResult(showSuccess);
    options->setShowTransferErrorResult(showError);
    options->setShowAddAccountButton(true);
    Kova::sharedInstance()->setConfigurations(options);
}

} // namespace kova::test
