// The C++ of README.md, as a host writes it against the installed package.
// scripts/check-install compiles this file and fails when a C++ block of the
// README is not found here word for word: change both together.
#include <QString>
#include <memory>
#include <optional>

#include <kova/platform/ui/ViewController.h>
#include <kova/platform/ui/Window.h>
#include <kova/records/KOVBeneficiary.h>
#include <kova/ui/KovaUI.h>

// "Using it": the quick start.
#include <QDebug>
#include <kova/Kova.h>                              // Kova, KOVConfigurations, KOVEnvironment…, error codes
#include <kova/connections/KOVBankConnection.h>
#include <kova/records/KOVAccount.h>

void startKova()
{
    auto options = kova::KOVConfigurations::initWithCountries({"AE"}, kova::KOVEnvironmentProduction);
    kova::Kova::startWithAppKey("app-key", "user-42", options,
        [](std::shared_ptr<kova::Kova> kova, std::optional<kova::platform::Error> error) {
            if (error) {
                qWarning() << "Kova did not start:" << error->code << error->localizedDescription();
                return;
            }
            for (const auto &connection : kova->getConnections())
                connection->getAccounts([](QList<std::shared_ptr<kova::KOVAccount>> accounts,
                                           std::optional<kova::platform::Error> error, QString operationID) {
                    qDebug() << accounts.size() << "accounts" << (error ? error->localizedDescription() : operationID);
                });
        });
}

// "Using it": the bundle ID's parts, before the start.
#include <QCoreApplication>

void nameTheApp()
{
QCoreApplication::setOrganizationDomain("example.com");
QCoreApplication::setApplicationName("Wallet");     // Qt's default is the executable's name
}

// "Screens": the window, once.
void installScreens(std::shared_ptr<kova::platform::ViewController> homeController)
{
auto *window = new kova::platform::Window;          // 390 x 844 points
window->setRootViewController(homeController);      // a kova::platform::ViewController of the host
kova::installKovaUI(window);                         // key window + screens provider
window->show();
}

// "Screens": the host's own root controller.
#include <QPushButton>
#include <QVBoxLayout>

std::shared_ptr<kova::platform::ViewController> makeHomeController()
{
auto homeController = std::make_shared<kova::platform::ViewController>();
auto *layout = new QVBoxLayout(homeController->view());   // fills the window
layout->addWidget(new QPushButton("Link a bank"));
return homeController;
}

// "Screens": linking a bank.
#include <kova/KOVConnectDelegate.h>

class LinkWatcher : public kova::KOVConnectDelegate {
public:
    void connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                               std::shared_ptr<kova::KOVBankConnection> connection) override
    {
        qDebug() << "linked" << bankID << connection->userID();
    }
    void connectDidFailConnectingToBankID(const QString &bankID, const QString &error) override
    {
        qDebug() << "not linked" << bankID << error;
    }
    void connectDidDismiss() override { qDebug() << "closed"; }
};

void linkABank(std::shared_ptr<kova::Kova> kova)
{
// Keep the delegate alive: the SDK holds it weakly.
auto watcher = std::make_shared<LinkWatcher>();
kova->presentConnect(watcher);                       // or presentConnect(watcher, "SANDBOXBANK")
}

// "Developing against the sandbox": a host's test drives the connect page.
#include <QWebEngineView>

void closeThePage(kova::platform::Window *window)
{
// <kova/platform/ui/Window.h>, <kova/platform/ui/ViewController.h>, <QWebEngineView>
auto top = window->topPresentedViewController();         // the connect screen, once it is up
if (auto *page = top ? top->view()->findChild<QWebEngineView *>() : nullptr)
    page->page()->runJavaScript("document.getElementById('close').click()");
}

// "Transfers": through the payment screens.
void transferThroughTheScreens(std::shared_ptr<kova::KOVBankConnection> connection)
{
auto beneficiary = std::make_shared<kova::KOVBeneficiary>();
beneficiary->setName("Jane Doe");
beneficiary->setIban("AE070331234567890123456");
// No account and no amount: the account picker, then the amount pad, then the loader.
connection->createTransferToBeneficiary(beneficiary,
    [](std::shared_ptr<kova::KOVAccount> account, double amount, std::optional<kova::platform::Error> error,
       QString operationID) {
        if (error && error->code == 1003)
            qDebug() << "the user closed the payment screens";
        else if (error)
            qDebug() << "transfer failed:" << error->code << error->localizedDescription();
        else
            qDebug() << "sent" << amount << "from" << account->accountID() << operationID;
    });
}
