#include "ui/connect/KOVWebConnectViewController.h"

#include <QTimer>

#include "core/KOVAppManager.h"
#include "core/KOVConfigurations.h"
#include "core/KOVConstants.h"
#include "core/Kova.h"
#include "core/Localizer.h"
#include "core/api/KOVRepository.h"
#include "core/connections/KOVBankConnection.h"
#include "core/connections/KOVConnectManager.h"
#include "core/connections/KOVLogin.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Log.h"
#include "platform/net/URLSession.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/NotificationCenter.h"
#include "platform/ui/View.h"
#include "platform/web/WebView.h"
#include "ui/connect/KOVConnectPage.h"
#include "ui/look/KOVFontColors.h"
#include "ui/look/KOVFontManager.h"

namespace kova {

const QString KOVWebConnectViewController::kLegalPageMarker = QStringLiteral("kova.dev/legal");
const QString KOVWebConnectViewController::kLegalPageAddress = QStringLiteral("https://www.kova.dev/legal");

namespace {

// The footnote of the post-success loading state: the options' text, empty
// when the SDK was started without options.
QString verifyingText()
{
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    const auto configurations = kova ? kova->configurations() : nullptr;
    return configurations ? configurations->postSuccessfulConnectionLoadingText() : QString();
}

// The latest the post-success loading state waits for the exchange's body to
// leave: one frame at 60 Hz, so that nobody sees the wait.
constexpr std::chrono::milliseconds kLoadingStateLatest{16};

QString bankIDOf(const std::shared_ptr<KOVConnection> &connection)
{
    const auto info = connection ? connection->bankInfo() : nullptr;
    return info ? info->bankID() : QString();
}

// The end of the chain of screens presented over `controller`.
std::shared_ptr<platform::ViewController> topOfChain(std::shared_ptr<platform::ViewController> controller)
{
    while (controller && controller->presentedViewController())
        controller = controller->presentedViewController();
    return controller;
}

} // namespace

std::shared_ptr<KOVWebConnectViewController> KOVWebConnectViewController::initWithClientUserID(
    const QString &clientUserID, const QString &bankID)
{
    return std::make_shared<KOVWebConnectViewController>(clientUserID, bankID);
}

KOVWebConnectViewController::KOVWebConnectViewController(QString clientUserID, QString bankID)
    : m_clientUserID(std::move(clientUserID)), m_bankID(std::move(bankID))
{
}

KOVWebConnectViewController::~KOVWebConnectViewController() = default;

void KOVWebConnectViewController::loadView()
{
    auto *root = new platform::View;
    root->setBackgroundColor(KOVFontColors::b0());
    setView(root);
}

void KOVWebConnectViewController::viewDidLoad()
{
    buildConnectAnimation();

    m_footnoteLabel = new platform::Label(view());
    m_footnoteLabel->setText(Localizer::getLocalizedStringByKey(QStringLiteral("BankConnectionsMadeSimple")));
    m_footnoteLabel->setFont(KOVFontManager::font(KOVFontManager::medium(), 16));
    // The platform's grey, not one of the look's greys.
    m_footnoteLabel->setTextColor(QColor::fromRgbF(0.5, 0.5, 0.5));
    m_footnoteLabel->setTextAlignment(Qt::AlignHCenter);
    platform::anchor(m_footnoteLabel, platform::Attr::CenterX, view(), platform::Attr::CenterX);
    platform::anchor(m_footnoteLabel, platform::Attr::Bottom, view(), platform::Attr::Bottom, -16,
                     platform::Guide::SafeArea);

    const auto self = sharedAs<KOVWebConnectViewController>();
    presentationController().setDelegate(std::static_pointer_cast<platform::PresentationControllerDelegate>(self));

    buildWebView();
    m_webView->hide();

    // The page is shown after a while even if it never says it is ready.
    QTimer::singleShot(kPageFallbackMs, Qt::PreciseTimer, this, [this]() {
        if (m_state == State::LoadingPage)
            showPage();
    });
}

void KOVWebConnectViewController::viewDidAppear(bool animated)
{
    platform::ViewController::viewDidAppear(animated);
    setLoadingAnimation();
}

void KOVWebConnectViewController::viewWillDisappear(bool animated)
{
    platform::ViewController::viewWillDisappear(animated);
    // Not while it slides away: a page still shown and heard meanwhile could
    // link a bank for a screen the user has already left.
    if (isBeingDismissed())
        leavePage();
}

void KOVWebConnectViewController::viewDidDisappear(bool animated)
{
    platform::ViewController::viewDidDisappear(animated);
    if (presentingViewController() && !isBeingDismissed())
        return; // covered, not closed
    leavePage();
}

void KOVWebConnectViewController::leavePage()
{
    if (std::exchange(m_state, State::Closed) == State::Closed)
        return;
    // A login already stored goes on to its end; one not yet stored is
    // abandoned with the page (see the exchange's completion).
    stopWatchingPage();
    if (m_webView && m_webView->isVisible()) {
        m_webView->hide();
        // The sheet leaves empty rather than with the verifying state's
        // words that were waiting beneath the page.
        if (m_footnoteLabel)
            m_footnoteLabel->hide();
    }
}

void KOVWebConnectViewController::buildConnectAnimation()
{
    placeAnimationView(platform::AnimatedImage(), true);
}

void KOVWebConnectViewController::setLoadingAnimation()
{
    if (!m_animatedImageView)
        return;
    placeAnimationView(connectAnimation(), m_animatedImageView->isVisibleTo(view()));
}

void KOVWebConnectViewController::placeAnimationView(const platform::AnimatedImage &animation, bool visible)
{
    if (m_animatedImageView) {
        platform::removeConstraints(m_animatedImageView);
        m_animatedImageView->deleteLater();
    }
    m_animatedImageView = new AnimatedFramesView(animation, view());
    m_animatedImageView->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    platform::size(m_animatedImageView, platform::Attr::Width, 100);
    platform::size(m_animatedImageView, platform::Attr::Height, 100);
    platform::centerIn(m_animatedImageView, view());
    m_animatedImageView->setVisible(visible);
}

void KOVWebConnectViewController::buildWebView()
{
    m_webView = new platform::WebView(view());
    platform::pinEdges(m_webView, view());
    m_pageOrigin = KOVConnectPage::baseURL();
    m_watchingPage = true;
    connect(m_webView, &platform::WebView::urlChanged, this, [this]() {
        if (m_watchingPage)
            handleURLChange(m_webView->url());
    });
    connect(m_webView, &platform::WebView::newWindowRequested, this, [this](const QUrl &url) {
        if (m_watchingPage)
            webViewRequestsNewWindow(url);
    });
    connect(m_webView, &platform::WebView::navigationRefused, this, [this](const QUrl &url) {
        if (m_watchingPage)
            onRefusedAddress(url);
    });
    m_webView->load(generateConnectInitializationURL());
}

QUrl KOVWebConnectViewController::generateConnectInitializationURL() const
{
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    const KOVAppManager &manager = KOVAppManager::sharedInstance();
    KOVConnectPage::Parameters parameters;
    parameters.appKey = kova ? kova->appKey() : QString();
    if (manager.countriesKnown())
        parameters.countries = manager.countries();
    parameters.environment = manager.environment();
    const auto configurations = kova ? kova->configurations() : nullptr;
    parameters.showLogo = configurations ? configurations->showLogos() : true;
    parameters.bankID = m_bankID;
    return KOVConnectPage::initializationURL(m_pageOrigin.isEmpty() ? KOVConnectPage::baseURL() : m_pageOrigin,
                                             parameters);
}

QJsonObject KOVWebConnectViewController::getQueryItemsFromURL(const QUrl &url)
{
    return KOVConnectPage::queryItems(url);
}

void KOVWebConnectViewController::handleURLChange(const QUrl &url)
{
    if (url.isEmpty())
        return;
    const KOVConnectPage::Action action = KOVConnectPage::actionForURL(url, m_pageOrigin);
    if (action == KOVConnectPage::Action::None)
        return;
    const QJsonObject items = getQueryItemsFromURL(url);
    const auto self = sharedAs<KOVWebConnectViewController>();
    platform::MainQueue::async([self, action, items]() {
        if (!self->m_watchingPage)
            return;
        switch (action) {
        case KOVConnectPage::Action::Link:
            if (self->m_state == State::LoadingPage)
                self->showPage();
            break;
        case KOVConnectPage::Action::Success:
            self->onSuccess(items);
            break;
        case KOVConnectPage::Action::Error:
            self->onError(items);
            break;
        case KOVConnectPage::Action::Exit:
            self->onExit();
            break;
        case KOVConnectPage::Action::None:
            break;
        }
    });
}

void KOVWebConnectViewController::showPage()
{
    m_state = State::PageShown;
    if (m_animatedImageView)
        m_animatedImageView->hide();
    if (m_webView) {
        m_webView->show();
        m_webView->raise();
    }
    prepareVerifyingState();
}

void KOVWebConnectViewController::prepareVerifyingState()
{
    // The loading state's view goes; the verifying state gets one of its own
    // that has never played, so it starts from the first frame.
    placeAnimationView(connectAnimation(), false);
    m_verifyingViewPrepared = true;
    m_footnoteLabel->setText(verifyingText());
}

void KOVWebConnectViewController::onSuccess(const QJsonObject &items)
{
    // One login per screen: a page that reports success again is not heard.
    if (m_outcomeTaken)
        return;
    m_outcomeTaken = true;
    const QString bankID = KOVLogin::initWithDictionary(items)->bankId();
    const auto self = sharedAs<KOVWebConnectViewController>();
    loginWithConnectedQueryItems(items, [self, bankID](std::shared_ptr<KOVConnection>, std::optional<platform::Error> error) {
        if (error)
            self->endWithMessage(*error, bankID);
    });
    // The screen is verifying from here on (the page's "link" and the
    // fallback no longer show it), but the exchange leaves before the loading
    // state is drawn: drawing it holds the main thread for the better part of
    // a millisecond, and the request goes out from the main loop once its
    // connection is up. Drawn once the body is out, or a frame later at the
    // latest.
    m_state = State::Verifying;
    auto showLoading = [self, shown = std::make_shared<bool>(false)]() {
        if (!std::exchange(*shown, true) && self->m_state == State::Verifying)
            self->showPostSuccessfulConnectionLoading();
    };
    platform::URLSession::whenRequestBodiesSent(showLoading);
    platform::MainQueue::asyncAfter(kLoadingStateLatest, showLoading);
}

void KOVWebConnectViewController::onError(const QJsonObject &items)
{
    // Once the login is taken (or left), the host hears how that ends, and
    // only that.
    if (m_outcomeTaken)
        return;
    const QJsonValue msg = items.value(QStringLiteral("msg"));
    const QString message = msg.isString() ? msg.toString().replace(QLatin1Char('+'), QLatin1Char(' ')) : QString();
    const QJsonValue bankID = items.value(QStringLiteral("bankID"));
    reportFailure(bankID.isString() ? bankID.toString() : QString(), message);
}

void KOVWebConnectViewController::onExit()
{
    if (m_outcomeTaken)
        return;
    m_outcomeTaken = true;
    const auto self = sharedAs<KOVWebConnectViewController>();
    dismiss(true, [self]() { self->reportDismiss(); });
}

void KOVWebConnectViewController::onRefusedAddress(const QUrl &url)
{
    // Once the login is taken, the host hears how that ends, and only that.
    if (m_outcomeTaken)
        return;
    m_outcomeTaken = true;
    platform::log(QStringLiteral("[Kova] The connect page may not load %1: plain http goes only to this device "
                                 "unless KOVA_ALLOWS_ARBITRARY_LOADS is YES")
                      .arg(url.toString()),
                  platform::logUI());
    endWithMessage(platform::urlError(platform::URLErrorAppTransportSecurityRequiresSecureConnection, url), m_bankID);
}

void KOVWebConnectViewController::showPostSuccessfulConnectionLoading()
{
    m_state = State::Verifying;
    if (m_webView)
        m_webView->hide();
    // A fresh view, playing from the first frame: the one made while the
    // page was up when there is one.
    if (std::exchange(m_verifyingViewPrepared, false) && m_animatedImageView)
        m_animatedImageView->show();
    else
        placeAnimationView(connectAnimation(), true);
    // Set again in case the host changed its options while the page was up
    // (the same text costs nothing).
    m_footnoteLabel->setText(verifyingText());
    m_footnoteLabel->show();
    m_footnoteLabel->raise();
}

void KOVWebConnectViewController::loginWithConnectedQueryItems(const QJsonObject &items, LoginCompletion completion)
{
    const std::shared_ptr<KOVLogin> login = KOVLogin::initWithDictionary(items);
    auto manager = std::make_shared<KOVConnectManager>(m_clientUserID, login);
    // Checked outside the app's store, where any save made meanwhile would
    // store it unchecked; older copies of this login go only once the new
    // one has proved good, in the same save that stores it.
    manager->checkOutsideTheAppsStore();
    m_connectManager = manager;
    const std::shared_ptr<KOVRepository> repository = KOVRepository::initWithConnection(nullptr);
    // The secret's trip to the disk is the longest part of the login: it
    // starts first and runs beside the exchange (taken back should that fail).
    manager->storeSecretInBackground();
    const auto self = sharedAs<KOVWebConnectViewController>();
    repository->exchangeUserID(
        login->userID(), login->accessCode(), login->tokenID(), login->connectionID(),
        [self, login, manager, repository, completion](bool success, std::optional<platform::Error> error) {
            // Closed by the user before anything was made of it: the user
            // left this login (and heard connectDidDismiss), and its secret
            // goes again. Closed by the host, it goes on to its end, so the
            // host still hears how the login ended.
            if (self->m_state == State::Closed && !self->m_connection && self->m_closedByUser)
                return manager->restoreKeychain();
            if (error || !success) {
                // The secret is taken back before anyone hears of the failure.
                manager->whenSecretStored([manager, completion, error](std::optional<platform::Error>) {
                    manager->restoreKeychain();
                    completion(nullptr, error ? error
                                              : platform::Error::withDescription(
                                                    KOVErrorDomain, KOVErrorFailedToExchangeToken,
                                                    QStringLiteral("Failed to exchange token")));
                });
                return;
            }
            std::shared_ptr<KOVConnection> created;
            std::optional<platform::Error> createError;
            manager->createConnection([&](std::shared_ptr<KOVConnection> connection, std::optional<platform::Error> e) {
                created = std::move(connection);
                createError = std::move(e);
            });
            if (createError || !created)
                return completion(nullptr, createError);
            self->m_connection = created;
            // The secret may still be on its way to the disk: its metadata
            // call goes meanwhile, and nothing is saved or told before it is
            // there. Should it not get there, the login ends as if the
            // keychain had failed before anything was made.
            manager->whenSecretStored([self, created, bankID = login->bankId()](std::optional<platform::Error> error) {
                if (error && !std::exchange(self->m_loginEnded, true)) {
                    self->discardLogin(created);
                    self->m_connection = nullptr;
                    self->endWithMessage(*error, bankID);
                }
            });
            self->fetchAccountDataForConnection(created);
            completion(created, std::nullopt);
        });
}

void KOVWebConnectViewController::fetchAccountDataForConnection(const std::shared_ptr<KOVConnection> &connection)
{
    const QString bankID = bankIDOf(connection);
    // The new record as the started instance lists it (its client user's
    // valid records), not an older copy of the same login that is still
    // listed until this one is saved. Built alone: listing every connection
    // would read every login's secret.
    std::shared_ptr<KOVBankConnection> bank;
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    if (kova && connection && !connection->isDeleted() && connection->isValid()
        && connection->clientUserID() == kova->clientUserID())
        bank = KOVBankConnection::initWithConnection(connection);
    const auto self = sharedAs<KOVWebConnectViewController>();
    if (!bank) {
        m_loginEnded = true;
        discardLogin(connection);
        const auto report = [self, bankID](std::optional<platform::Error>) {
            self->reportFailure(bankID, QStringLiteral("The new connection is not among this app's connections"));
        };
        // Told once the secret is back out of the keychain.
        if (m_connectManager)
            m_connectManager->whenSecretStored(report);
        else
            report(std::nullopt);
        return;
    }
    bank->getAccountMetadata([self, connection, bank, bankID](auto, std::optional<platform::Error> error, QString) {
        const auto manager = self->m_connectManager;
        if (!manager)
            return;
        manager->whenSecretStored([self, manager, connection, bankID, error](std::optional<platform::Error>) {
            // Ended already when the secret could not be stored.
            if (std::exchange(self->m_loginEnded, true))
                return;
            // Failed, the login is taken back and the screen leaves its
            // verifying state for the failure's message, as when the exchange
            // fails.
            if (error) {
                self->discardLogin(connection);
                self->m_connection = nullptr;
                return self->endWithMessage(*error, bankID);
            }
            // Stored now, with the removal of its older copies in one save.
            platform::Error saveError;
            const std::shared_ptr<KOVConnection> stored = manager->storeCheckedConnection(connection, &saveError);
            if (!stored) {
                self->discardLogin(connection);
                self->m_connection = nullptr;
                return self->endWithMessage(saveError, bankID);
            }
            self->m_connection = stored;
            const std::shared_ptr<KOVBankConnection> linked = KOVBankConnection::initWithConnection(stored);
            self->dismiss(true, [self, bankID, linked]() { self->reportSuccess(bankID, linked); });
        });
    });
}

void KOVWebConnectViewController::discardLogin(const std::shared_ptr<KOVConnection> &connection)
{
    // The record never left its check's own store: it goes there, and a
    // reply still on its way finds it deleted.
    if (connection && !connection->isDeleted())
        if (platform::ManagedObjectContext *own = connection->managedObjectContext())
            own->deleteObject(connection);
    if (m_connectManager)
        m_connectManager->restoreKeychain();
}

void KOVWebConnectViewController::endWithMessage(const platform::Error &error, const QString &bankID)
{
    // Closed already (by the user or the host): nobody is waiting for a
    // message; the host still hears how the login ended.
    if (m_state == State::Closed)
        return reportFailure(bankID, error.localizedDescription());
    const auto self = sharedAs<KOVWebConnectViewController>();
    std::weak_ptr<platform::ViewController> presenter;
    if (platform::ViewController *presenting = presentingViewController())
        presenter = presenting->shared_from_this();
    dismiss(true, [self, presenter, error]() {
        auto message = MessageViewController::initWithError(error, std::static_pointer_cast<MessageViewControllerDelegate>(self));
        self->m_messageViewController = message;
        // The host may let go of this screen when it hears of the failure;
        // the message's button and swipe are still answered here.
        message->setOwner(self);
        message->presentationController().setDelegate(std::static_pointer_cast<platform::PresentationControllerDelegate>(self));
        if (const auto over = topOfChain(presenter.lock()))
            over->present(message, true);
    });
    reportFailure(bankID, error.localizedDescription());
}

void KOVWebConnectViewController::stopWatchingPage()
{
    m_watchingPage = false;
    // Unheard from now on; the engine itself is stopped on the next turn,
    // after whoever closed the screen has been told (stopping a page is a
    // navigation of its own, and the host's call waits for this one).
    platform::MainQueue::async([webView = m_webView]() {
        if (webView)
            webView->stop();
    });
}

void KOVWebConnectViewController::webViewRequestsNewWindow(const QUrl &url)
{
    QUrl target = url;
    if (url.toString(QUrl::FullyEncoded).contains(kLegalPageMarker))
        target = QUrl(kLegalPageAddress);
    if (target.scheme() != QLatin1String("https") && target.scheme() != QLatin1String("http")) {
        platform::log(QStringLiteral("[Kova] A link asked for a new window with a \"%1\" address; only http and https links open")
                          .arg(target.scheme()), platform::logUI());
        return;
    }
    platform::Application::shared().openURL(target);
}

void KOVWebConnectViewController::presentationControllerDidDismiss(platform::PresentationController &)
{
    m_closedByUser = true;
    if (!m_connection)
        reportDismiss();
}

void KOVWebConnectViewController::messageViewControllerDidTapButton(MessageViewController &controller)
{
    // The window takes no input for a screen only once it leaves: a second
    // click while the message still slides in would close it twice.
    if (std::exchange(m_messageAnswered, true))
        return;
    controller.dismiss(true);
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("KovaUIDismissed"));
}

void KOVWebConnectViewController::reportFailure(const QString &bankID, const QString &error)
{
    const auto delegate = delegateForOutcome();
    if (delegate && delegate->respondsTo(KOVConnectDelegate::Method::DidFailConnecting))
        delegate->connectDidFailConnectingToBankID(bankID, error);
}

std::shared_ptr<KOVConnectDelegate> KOVWebConnectViewController::delegateForOutcome()
{
    std::shared_ptr<KOVConnectDelegate> delegate = m_connectDelegate.lock();
    // Only a delegate that was given and has since gone: a host that gave
    // none asked to hear nothing.
    const bool given = std::weak_ptr<KOVConnectDelegate>().owner_before(m_connectDelegate)
                       || m_connectDelegate.owner_before(std::weak_ptr<KOVConnectDelegate>());
    if (!delegate && given && !std::exchange(m_toldDelegateGone, true))
        platform::log(QStringLiteral("[Kova] The connect delegate is gone, so nobody hears how the connect screen "
                                     "ended; keep a strong reference to it while the screen is up"));
    return delegate;
}

void KOVWebConnectViewController::reportDismiss()
{
    const auto delegate = delegateForOutcome();
    if (delegate && delegate->respondsTo(KOVConnectDelegate::Method::DidDismiss))
        delegate->connectDidDismiss();
}

void KOVWebConnectViewController::reportSuccess(const QString &bankID, const std::shared_ptr<KOVBankConnection> &connection)
{
    const auto delegate = delegateForOutcome();
    if (delegate && delegate->respondsTo(KOVConnectDelegate::Method::DidSuccessfullyConnect))
        delegate->connectDidSuccessfullyConnectToBankID(bankID, connection);
}

} // namespace kova
