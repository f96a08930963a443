#include "demo/DemoHost.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <cstdio>

#include "core/KOVAppManager.h"
#include "core/KOVConfigurations.h"
#include "core/KOVConstants.h"
#include "core/Kova.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBankBeneficiary.h"
#include "core/records/KOVBeneficiary.h"
#include "core/records/KOVCard.h"
#include "core/records/KOVIdentity.h"
#include "core/records/KOVResult.h"
#include "core/records/KOVTransaction.h"
#include "demo/DemoScreens.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"

using namespace kova;

namespace {

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString money(double amount, const QString &currency)
{
    return QStringLiteral("%1 %2").arg(amount, 0, 'f', 2).arg(currency);
}

} // namespace

DemoHost::DemoHost(QString clientUserID) : m_clientUserID(std::move(clientUserID)) {}

void DemoHost::fail(const QString &step, const platform::Error &error)
{
    std::fprintf(stderr, "✗ %s failed: %s %lld: %s\n", step.toUtf8().constData(), error.domain.toUtf8().constData(),
                 static_cast<long long>(error.code), error.localizedDescription().toUtf8().constData());
    QCoreApplication::exit(1);
}

void DemoHost::fail(const QString &step, const QString &why)
{
    std::fprintf(stderr, "✗ %s failed: %s\n", step.toUtf8().constData(), why.toUtf8().constData());
    QCoreApplication::exit(1);
}

void DemoHost::finish()
{
    say(QStringLiteral("Done: every road ran against the sandbox."));
    QCoreApplication::exit(0);
}

void DemoHost::waitForScreensToClose()
{
    if (platform::Application::shared().presentationAnchor() != m_home || !m_afterScreens) {
        QTimer::singleShot(20, this, [this] { waitForScreensToClose(); });
        return;
    }
    std::exchange(m_afterScreens, nullptr)();
}

void DemoHost::runSteps(QList<std::pair<QString, Step>> steps)
{
    if (steps.isEmpty())
        return finish();
    auto [name, step] = steps.takeFirst();
    step([this, steps]() { runSteps(steps); });
}

void DemoHost::run()
{
    m_home = platform::Application::shared().presentationAnchor();
    say(QStringLiteral("Kova demo: host user \"%1\", service %2")
            .arg(m_clientUserID, platform::ProcessInfo::environmentValue("KOVA_SERVICE_URL")));
    const QDateTime from = QDateTime::currentDateTimeUtc().addDays(-90);
    const QDateTime to = QDateTime::currentDateTimeUtc();

    QList<std::pair<QString, Step>> steps;
    steps.append({"Start", [this](auto next) {
        auto options = KOVConfigurations::initWithCountries({}, KOVEnvironmentSandbox);
        Kova::startWithAppKey("demo-app-key", m_clientUserID, options, [this, next](std::shared_ptr<Kova> kova, OptionalError error) {
            if (error)
                return fail("Start", *error);
            const KOVAppManager &manager = KOVAppManager::sharedInstance();
            say(QStringLiteral("✓ Started: app key %1, server %2, countries %3, environment %4")
                    .arg(kova->appKey(), manager.serverURL().toString(), manager.countries().join(", "), manager.environment()));
            say(QStringLiteral("  Stored connections: %1").arg(kova->getConnections().size()));
            next();
        });
    }});
    steps.append({"Connect", [this](auto next) {
        // A person links a bank on the connect page, typing into it.
        m_connectUser->link("SANDBOXBANK", "demo.user", "demo-password",
                            [this, next](const QString &bankID, std::shared_ptr<KOVBankConnection> connection,
                                         const QString &error) {
                                if (!connection)
                                    return fail("Connect", error);
                                say(QStringLiteral("✓ Linked through the connect page: bank %1 (%2), user %3, %4 account(s)")
                                        .arg(bankID, connection->bankName(), connection->userID())
                                        .arg(connection->accounts().size()));
                                next();
                            });
    }});
    steps.append({"Import", [this](auto next) {
        // The sandbox issues a login as the connect page would have.
        QNetworkRequest request(QUrl(platform::ProcessInfo::environmentValue("KOVA_SERVICE_URL") + "/sandbox/logins"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply *reply = m_network.post(request, QJsonDocument(QJsonObject{{"clientUserID", m_clientUserID}}).toJson());
        connect(reply, &QNetworkReply::finished, this, [this, reply, next] {
            reply->deleteLater();
            const QJsonObject parameters = QJsonDocument::fromJson(reply->readAll()).object();
            if (parameters.isEmpty())
                return fail("Import", "the sandbox issued no login");
            KOVBankConnection::create(parameters, [this, next](std::shared_ptr<KOVBankConnection> connection, OptionalError error) {
                if (error)
                    return fail("Import", *error);
                m_connection = connection;
                say(QStringLiteral("✓ Imported a connection: bank %1 (%2), user %3")
                        .arg(connection->bankID(), connection->bankName(), connection->userID()));
                next();
            });
        });
    }});
    steps.append({"List", [this](auto next) {
        const auto connections = Kova::sharedInstance()->getConnections();
        say(QStringLiteral("✓ Listed %1 connection(s)").arg(connections.size()));
        for (const auto &c : connections)
            say(QStringLiteral("  %1").arg(c->debugDescription()));
        if (connections.isEmpty())
            return fail("List", "the imported connection is not listed");
        m_connection = connections.last();
        next();
    }});
    steps.append({"Identity", [this](auto next) {
        m_connection->getIdentity([this, next](std::shared_ptr<KOVIdentity> identity, OptionalError error, QString) {
            if (error)
                return fail("Identity", *error);
            say(QStringLiteral("✓ Identity: %1, %2").arg(identity->name(), identity->emailAddress()));
            next();
        });
    }});
    steps.append({"MFA", [this](auto next) {
        // The bank asks for a one-time code on the next accounts call; the
        // person at the screen reads it from their phone and types it in.
        const QJsonObject script{
            {"action", "/data/accounts/get"},
            {"rounds", QJsonArray{QJsonArray{QJsonObject{
                           {"id", "otp"}, {"query", "Enter the code we sent to your phone"}, {"index", 0}}}}},
            {"answers", QJsonObject{{"otp", "482913"}}}};
        QNetworkRequest request(QUrl(platform::ProcessInfo::environmentValue("KOVA_SERVICE_URL") + "/sandbox/mfa"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply *reply = m_network.post(request, QJsonDocument(script).toJson());
        connect(reply, &QNetworkReply::finished, this, [this, reply, next] {
            reply->deleteLater();
            if (reply->error() != QNetworkReply::NoError)
                return fail("MFA", reply->errorString());
            m_mfaUser.arm("482913", [](const QString &question) {
                say(QStringLiteral("✓ The bank asked \"%1\" on the prompt screen; typed the code and confirmed")
                        .arg(question));
            });
            next();
        });
    }});
    steps.append({"Accounts", [this](auto next) {
        m_connection->getAccounts([this, next](QList<std::shared_ptr<KOVAccount>> accounts, OptionalError error, QString) {
            if (error)
                return fail("Accounts", *error);
            say(QStringLiteral("✓ Accounts: %1").arg(accounts.size()));
            for (const auto &a : accounts)
                say(QStringLiteral("  %1 %2: %3").arg(a->accountID(), a->name(), money(a->balance(), a->currency().code())));
            if (accounts.isEmpty())
                return fail("Accounts", "no account to continue with");
            m_account = accounts.first();
            next();
        });
    }});
    steps.append({"Transactions", [this, from, to](auto next) {
        m_connection->getTransactionsForAccount(m_account, from, to,
            [this, next](QList<std::shared_ptr<KOVTransaction>> transactions, OptionalError error, QString) {
                if (error)
                    return fail("Transactions", *error);
                say(QStringLiteral("✓ Transactions of %1: %2").arg(m_account->accountID()).arg(transactions.size()));
                for (const auto &t : transactions)
                    say(QStringLiteral("  %1 %2 %3").arg(t->date().toString(Qt::ISODate), t->transactionDescription(),
                                                         money(t->amount().value_or(0), t->currency().code())));
                next();
            });
    }});
    steps.append({"Cards", [this](auto next) {
        m_connection->getCards([this, next](QList<std::shared_ptr<KOVCard>> cards, OptionalError error, QString) {
            if (error)
                return fail("Cards", *error);
            say(QStringLiteral("✓ Cards: %1").arg(cards.size()));
            for (const auto &c : cards)
                say(QStringLiteral("  %1 %2 (%3)").arg(c->cardID(), c->name(), c->status()));
            if (cards.isEmpty())
                return fail("Cards", "no card to continue with");
            m_card = cards.first();
            next();
        });
    }});
    steps.append({"Card transactions", [this, from, to](auto next) {
        m_connection->getTransactionsForCard(m_card, from, to,
            [this, next](QList<std::shared_ptr<KOVTransaction>> transactions, OptionalError error, QString) {
                if (error)
                    return fail("Card transactions", *error);
                say(QStringLiteral("✓ Transactions of card %1: %2").arg(m_card->cardID()).arg(transactions.size()));
                next();
            });
    }});
    steps.append({"Beneficiaries", [this](auto next) {
        m_connection->getBeneficiaries([this, next](QList<std::shared_ptr<KOVBankBeneficiary>> list, OptionalError error, QString) {
            if (error)
                return fail("Beneficiaries", *error);
            say(QStringLiteral("✓ Beneficiaries: %1").arg(list.size()));
            for (const auto &b : list) {
                say(QStringLiteral("  %1 %2 (%3)").arg(b->accountID(), b->name(), b->status()));
                if (m_beneficiaryID.isEmpty() && b->status() == QLatin1String("active"))
                    m_beneficiaryID = b->accountID();
            }
            if (m_beneficiaryID.isEmpty())
                return fail("Beneficiaries", "no active beneficiary to pay");
            next();
        });
    }});
    steps.append({"Create beneficiary", [this](auto next) {
        auto beneficiary = std::make_shared<KOVBeneficiary>();
        beneficiary->setName("Omar Saleh");
        beneficiary->setIban("AE460260001015333439901");
        beneficiary->setAccountNumber("1015333439901");
        beneficiary->setBankName("Another Bank");
        beneficiary->setSwiftCode("ANBKAEAD");
        beneficiary->setCountry("ae");
        m_connection->createBeneficiary(beneficiary, [this, next](std::shared_ptr<KOVResult> result, OptionalError error, QString) {
            if (error)
                return fail("Create beneficiary", *error);
            say(QStringLiteral("✓ Created a beneficiary: %1 (%2)").arg(result->status(), result->message()));
            next();
        });
    }});
    steps.append({"Transfer", [this](auto next) {
        m_connection->createTransferToExistingBeneficiaryFromAccount(m_account, m_beneficiaryID, 100.75,
            [this, next](std::shared_ptr<KOVAccount> account, double amount, OptionalError error, QString, QString reference) {
                if (error)
                    return fail("Transfer", *error);
                say(QStringLiteral("✓ Transferred %1 from %2 to %3, reference %4")
                        .arg(money(amount, account->currency().code()), account->accountID(), m_beneficiaryID, reference));
                next();
            }, QStringLiteral("Demo transfer"));
    }});
    steps.append({"Transfer through the screens", [this](auto next) {
        // No account and no amount: the SDK asks the person for both.
        auto beneficiary = std::make_shared<KOVBeneficiary>();
        beneficiary->setName("Omar Saleh");
        beneficiary->setIban("AE460260001015333439901");
        auto calls = std::make_shared<int>(0);
        m_connection->createTransferFromAccount(nullptr, beneficiary, 0,
            [this, next, calls](std::shared_ptr<KOVAccount> account, double amount, OptionalError error, QString, QString reference) {
                if (++*calls > 1)
                    return fail("Transfer through the screens", "the transfer completed twice");
                if (error) {
                    m_paymentUser.stop();
                    return fail("Transfer through the screens", *error);
                }
                say(QStringLiteral("✓ Transferred %1 from %2 through the picker, pad and loader, reference %3")
                        .arg(money(amount, account ? account->currency().code() : QString()),
                             account ? account->accountID() : QString(), reference));
                m_afterScreens = next;
            },
            QStringLiteral("Demo transfer through the screens"));
        m_paymentUser.play(m_connection, "250", [this](const QString &screen) {
            say(QStringLiteral("  on the %1 screen").arg(screen));
            saveDemoScreen("payment-" + screen);
            // The success screen comes after the completion; its Ok ends the step.
            if (screen == QLatin1String("success"))
                QTimer::singleShot(0, this, [this] { waitForScreensToClose(); });
        });
    }});
    steps.append({"Export", [this](auto next) {
        const QJsonObject parameters = m_connection->getConnectionParameters();
        QStringList keys = parameters.keys();
        say(QStringLiteral("✓ Exported the connection parameters: %1").arg(keys.join(", ")));
        if (parameters.value("userSecret").toString().isEmpty())
            return fail("Export", "the user secret was not exported");
        next();
    }});
    steps.append({"Delink", [this](auto next) {
        m_connection->deleteConnection([this, next](std::shared_ptr<KOVResult> result, OptionalError error) {
            if (error)
                return fail("Delink", *error);
            say(QStringLiteral("✓ Delinked (%1); stored connections now: %2")
                    .arg(result ? result->status() : QString()).arg(Kova::sharedInstance()->getConnections().size()));
            next();
        });
    }});
    runSteps(steps);
}
