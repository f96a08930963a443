// kova-exit-host <moment>: a host that deletes its window and quits at one
// moment of the SDK's screens, as a host may at any time, and then returns
// from main; at the moments that end in "-kept" it keeps its home screen and
// its bank connection in globals, which go only after the application object
// and the statics. Its parent (HostExitTest) runs the sandbox, gives the login
// to import in KOVA_EXIT_HOST_LOGIN and scripts the bank's replies. Exits 0
// once the application is gone, 3 when the moment is never reached.
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

#include "core/Kova.h"
#include "core/KOVConnectDelegate.h"
#include "core/connections/KOVBankConnection.h"
#include "core/records/KOVAccount.h"
#include "core/records/KOVBeneficiary.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/EngineStartupReport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiHarness.h"
#include "ui/KovaUI.h"
#include "ui/connect/KOVWebConnect.h"
#include "ui/connect/KOVWebConnectViewController.h"
#include "ui/look/KOVButton.h"
#include "ui/messages/MessageViewController.h"
#include "ui/mfa/MFANavigationController.h"
#include "ui/payment/KOVAutoFlowNavigationController.h"
#include "ui/payment/KOVNumPadDisplayViewController.h"
#include "ui/payment/KOVScreensAutoFlow.h"
#include "ui/payment/KOVTransferLoaderViewController.h"

using namespace kova;

namespace {

std::shared_ptr<platform::ViewController> g_keptHome;
std::shared_ptr<KOVBankConnection> g_keptBank;

class QuietDelegate : public KOVConnectDelegate {
public:
    void connectDidSuccessfullyConnectToBankID(const QString &, std::shared_ptr<KOVBankConnection>) override {}
    void connectDidFailConnectingToBankID(const QString &, const QString &) override {}
    void connectDidDismiss() override {}
};

// Says, as it goes, whether the application object was still there.
struct Witness {
    explicit Witness(const char *what) : what(what) {}
    Witness(const Witness &) = delete;
    Witness &operator=(const Witness &) = delete;
    const char *what;
    ~Witness()
    {
        std::printf("%s work released %s the application\n", what, QCoreApplication::instance() ? "before" : "after");
        std::fflush(stdout);
    }
};

class ExitHost {
public:
    ExitHost(QString moment, std::shared_ptr<platform::ViewController> home)
        : m_moment(std::move(moment)), m_home(std::move(home))
    {
        m_window = new platform::Window;
        m_window->setRootViewController(m_home);
        installKovaUI(m_window);
        m_window->show();
        QObject::connect(&m_watch, &QTimer::timeout, [this] {
            if (m_until && m_until())
                std::exchange(m_then, nullptr)();
        });
        m_watch.start(5);
    }

    void run()
    {
        if (m_moment == "work-queued") {
            // Its timer is armed by the time the host quits; the rest is posted
            // in the quitting turn itself.
            platform::MainQueue::asyncAfter(std::chrono::hours(1), [w = std::make_shared<Witness>("delayed")] {});
            return when([] { return true; }, [this] {
                platform::MainQueue::async([w = std::make_shared<Witness>("queued")] {});
                platform::MainQueue::nextTurn([w = std::make_shared<Witness>("next-turn")] {});
                quit();
            });
        }
        if (m_moment == "sheet-sliding-in") {
            m_sheet = std::make_shared<platform::ViewController>();
            m_home->present(m_sheet, true);
            return when([this] { return m_sheet->isBeingPresented(); }, [this] { quit(); });
        }
        if (m_moment == "sheet-sliding-out") {
            m_sheet = std::make_shared<platform::ViewController>();
            m_home->present(m_sheet, false);
            return when([this] { return m_sheet->isVisible() && !m_sheet->isBeingPresented(); }, [this] {
                m_home->dismiss(true);
                when([this] { return m_sheet->isBeingDismissed(); }, [this] { quit(); });
            });
        }
        start([this] {
            if (m_moment == "connect-page-loading")
                return connectPageLoading();
            linked([this](std::shared_ptr<KOVBankConnection> bank) {
                if (m_moment == "mfa-sheet-up")
                    return mfaSheetUp(bank);
                if (m_moment == "loader-up" || m_moment.startsWith(QLatin1String("result-")))
                    return padShown(bank);
                std::fprintf(stderr, "kova-exit-host: no moment named %s\n", qPrintable(m_moment));
                QCoreApplication::exit(2);
            });
        });
    }

private:
    // Runs `then` once `until` holds, looking every few milliseconds.
    void when(std::function<bool()> until, std::function<void()> then)
    {
        m_until = std::move(until);
        m_then = std::move(then);
    }

    // What the host under test does: its window goes, then its loop.
    void quit()
    {
        m_until = nullptr;
        m_watch.stop();
        std::printf("quitting at %s\n", qPrintable(m_moment));
        std::fflush(stdout);
        delete m_window;
        m_window = nullptr;
        if (m_moment.endsWith(QLatin1String("-kept"))) {
            g_keptHome = m_home;
            g_keptBank = m_bank;
        }
        QCoreApplication::exit(0);
    }

    void start(std::function<void()> then)
    {
        auto options = KOVConfigurations::initWithCountries({}, KOVEnvironmentSandbox);
        Kova::startWithAppKey("exit-host-key", "exit-host-user", options,
                              [then = std::move(then)](std::shared_ptr<Kova>, OptionalError error) {
                                  if (error) {
                                      std::fprintf(stderr, "kova-exit-host: start failed\n");
                                      return QCoreApplication::exit(4);
                                  }
                                  then();
                              });
    }

    void linked(std::function<void(std::shared_ptr<KOVBankConnection>)> then)
    {
        const QJsonObject login = QJsonDocument::fromJson(qgetenv("KOVA_EXIT_HOST_LOGIN")).object();
        KOVBankConnection::create(login, [then = std::move(then)](std::shared_ptr<KOVBankConnection> bank, OptionalError error) {
            if (error || !bank) {
                std::fprintf(stderr, "kova-exit-host: the login was not imported\n");
                return QCoreApplication::exit(4);
            }
            then(std::move(bank));
        });
    }

    void connectPageLoading()
    {
        Kova::sharedInstance()->presentConnect(m_delegate);
        when(
            [] {
                const auto connect = std::dynamic_pointer_cast<KOVWebConnect>(Kova::sharedInstance()->connect());
                const auto screen = connect ? connect->webConnectViewController() : nullptr;
                return screen && screen->webView() && screen->isVisible();
            },
            [this] { quit(); });
    }

    void mfaSheetUp(const std::shared_ptr<KOVBankConnection> &bank)
    {
        bank->getAccounts([](QList<std::shared_ptr<KOVAccount>>, OptionalError, QString) {});
        when(
            [this] {
                const auto sheet = std::dynamic_pointer_cast<MFANavigationController>(m_window->topPresentedViewController());
                return sheet && sheet->mfaViewController()->isVisible() && !sheet->isBeingPresented();
            },
            [this] { quit(); });
    }

    void padShown(const std::shared_ptr<KOVBankConnection> &bank)
    {
        bank->getAccounts([this, bank](QList<std::shared_ptr<KOVAccount>> accounts, OptionalError, QString) {
            if (accounts.isEmpty()) {
                std::fprintf(stderr, "kova-exit-host: no accounts\n");
                return QCoreApplication::exit(4);
            }
            auto beneficiary = std::make_shared<KOVBeneficiary>();
            beneficiary->setName(QStringLiteral("Jane Doe"));
            beneficiary->setIban(QStringLiteral("AE070331234567890123456"));
            bank->createTransferFromAccount(accounts.first(), beneficiary, 0, [](auto...) {});
            m_bank = bank;
            when([this] { return settled(pad()); }, [this] {
                test::type(pad()->amountLabel(), QStringLiteral("250"));
                pad()->confirmButton()->click();
                if (m_moment == "loader-up")
                    return when([this] { return settled(flow()->alert()); }, [this] { quit(); });
                when([this] { return settled(std::dynamic_pointer_cast<MessageViewController>(top())); }, [this] {
                    if (m_moment == "result-up-kept")
                        return quit();
                    std::dynamic_pointer_cast<MessageViewController>(top())->button()->click();
                    // The host of the report: the window goes as soon as nothing is presented.
                    when([this] { return !m_window->topPresentedViewController(); }, [this] { quit(); });
                });
            });
        });
    }

    std::shared_ptr<KOVAutoFlowNavigationController> flow() const
    {
        const auto autoFlow = std::dynamic_pointer_cast<KOVScreensAutoFlow>(m_bank->autoFlow());
        return autoFlow ? autoFlow->autoFlowNavigationController() : nullptr;
    }
    std::shared_ptr<KOVNumPadDisplayViewController> pad() const
    {
        return flow() ? flow()->numPadDisplayViewController() : nullptr;
    }
    std::shared_ptr<platform::ViewController> top() const { return platform::Application::shared().presentationAnchor(); }
    template <typename Controller>
    bool settled(const std::shared_ptr<Controller> &screen) const
    {
        const auto shown = top();
        return screen && screen->isVisible() && shown && !shown->isBeingPresented();
    }

    QString m_moment;
    std::shared_ptr<platform::ViewController> m_home;
    platform::Window *m_window = nullptr;
    QTimer m_watch;
    std::function<bool()> m_until;
    std::function<void()> m_then;
    std::shared_ptr<platform::ViewController> m_sheet;
    std::shared_ptr<KOVBankConnection> m_bank;
    std::shared_ptr<QuietDelegate> m_delegate = std::make_shared<QuietDelegate>();
};

} // namespace

int main(int argc, char **argv)
{
    platform::leaveOutWebEngineStartupReport();
    QTemporaryDir home;
    test::prepareEnvironment(home.path());
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    test::prepareApplication(home.path());
    if (argc < 2) {
        std::fprintf(stderr, "usage: kova-exit-host <moment>\n");
        return 2;
    }
    ExitHost host(QString::fromLocal8Bit(argv[1]), std::make_shared<platform::ViewController>());
    QTimer::singleShot(0, [&host] { host.run(); });
    QTimer::singleShot(std::chrono::seconds(60), [] {
        std::fprintf(stderr, "kova-exit-host: the moment was never reached\n");
        QCoreApplication::exit(3);
    });
    return app.exec();
}
