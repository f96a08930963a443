#pragma once

#include <QJsonObject>
#include <memory>
#include <optional>
#include <string>

#include "core/connections/KOVAutoFlow.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/NotificationCenter.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/UiHarness.h"

namespace kova {
class KOVAutoFlowNavigationController;
class KOVBankConnection;
class KOVBeneficiary;
class KOVNumPadDisplayViewController;
class MessageViewController;
} // namespace kova

namespace kova::test {

// What a transfer's completion received, and when.
struct TransferOutcome {
    int calls = 0;
    std::shared_ptr<KOVAccount> account;
    double amount = 0;
    std::optional<platform::Error> error;
    QString operationID;
    QString reference;
    // Whether a result screen was already on show when it ran.
    bool resultScreenShown = false;
};

// The SDK started against the sandbox, its screens installed, a host window
// with a plain home screen, and the loader on a clock the test moves.
class PaymentFlowTest : public SdkTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Links a new login of the client user and returns its bank connection,
    // listed afresh.
    std::shared_ptr<KOVBankConnection> link(QJsonObject *parameters = nullptr);
    // The same, with its accounts fetched and stored first.
    std::shared_ptr<KOVBankConnection> linkWithAccounts(QJsonObject *parameters = nullptr);
    std::shared_ptr<KOVBeneficiary> beneficiary() const;
    // The flow's amount pad once it is on screen and settled (a sheet still
    // coming in cannot be swiped).
    std::shared_ptr<KOVNumPadDisplayViewController> padShown(const std::shared_ptr<KOVAutoFlowNavigationController> &flow);
    // The bodies of the transfers the app server has received, in order.
    QList<QJsonObject> transferBodies() const;
    // The user swipes the top sheet away and, while it is still sliding,
    // presses `button` on it.
    void pressWhileSwipingAway(QWidget *button);
    // A completion that writes what it hears into `outcome`, then runs `then`.
    KOVTransferReferenceCompletion recording(const std::shared_ptr<TransferOutcome> &outcome,
                                             std::function<void()> then = {});
    // Starts a transfer through the bank connection's deciding method.
    std::shared_ptr<TransferOutcome> transfer(const std::shared_ptr<KOVBankConnection> &bank,
                                              std::shared_ptr<KOVAccount> account, double amount, bool wire = false);
    std::shared_ptr<KOVAutoFlowNavigationController> coordinator(const std::shared_ptr<KOVBankConnection> &bank) const;
    // The controller on top of the window's presented chain.
    std::shared_ptr<platform::ViewController> top() const;
    std::shared_ptr<MessageViewController> resultScreen() const;
    // Moves the loader's clock on by whole seconds.
    void advanceSeconds(int seconds);
    // The body of the last transfer request, without the fixed keys.
    QJsonObject lastTransferBody(const QString &action) const;
    // What the app server gets for a transfer of `amount` from `senderID` to
    // the fixture's beneficiary with the remark "rent", for the login `issued`,
    // as text, so that a mismatch shows both bodies whole.
    std::string transferBodyText(const QString &senderID, int amount, const QJsonObject &issued) const;
    std::string lastTransferBodyText(const QString &action) const;
    void setOptions(bool showSuccess, bool showError);

    WindowPtr window;
    std::shared_ptr<platform::ViewController> home;
    std::shared_ptr<platform::ManualRefreshSource> clock;
    int dismissedNotices = 0;
    platform::NotificationObservation dismissedObservation;
};

} // namespace kova::test
