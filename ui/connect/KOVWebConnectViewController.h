#pragma once

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "core/KOVConnectDelegate.h"
#include "platform/foundation/Error.h"
#include "platform/ui/Label.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/ViewController.h"
#include "platform/web/WebView.h"
#include "ui/look/AnimatedFramesView.h"
#include "ui/messages/MessageViewController.h"

namespace kova {

class KOVBankConnection;
class KOVConnection;
class KOVConnectManager;

// The screen that shows the hosted connect page. The page talks to it only by
// navigating: the screen watches the page's address and acts on its last path
// component ("link", "success", "error", "exit"). On success it exchanges the
// page's token, stores the login, fetches its account metadata and hands the
// host a ready bank connection.
class KOVWebConnectViewController : public platform::ViewController,
                                    public platform::PresentationControllerDelegate,
                                    public MessageViewControllerDelegate {
    Q_OBJECT
public:
    using LoginCompletion =
        std::function<void(std::shared_ptr<KOVConnection> connection, std::optional<platform::Error> error)>;

    enum class State { LoadingPage, PageShown, Verifying, Closed };

    // How long the loading state waits for the page's "link".
    static constexpr int kPageFallbackMs = 5000;

    static std::shared_ptr<KOVWebConnectViewController> initWithClientUserID(const QString &clientUserID,
                                                                             const QString &bankID);
    KOVWebConnectViewController(QString clientUserID, QString bankID);
    ~KOVWebConnectViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    // The screen is leaving (or will as soon as it has come in): the page is
    // hidden at once, takes no more input and is no longer heard, so nothing
    // it still does reaches the host. A login already handed over goes on to
    // its end.
    void leavePage();

    // The page asked for a new window: the link opens outside the SDK.
    void webViewRequestsNewWindow(const QUrl &url);
    void buildWebView();
    void buildConnectAnimation();
    void setLoadingAnimation();
    QUrl generateConnectInitializationURL() const;
    static QJsonObject getQueryItemsFromURL(const QUrl &url);
    void handleURLChange(const QUrl &url);
    void showPostSuccessfulConnectionLoading();
    void loginWithConnectedQueryItems(const QJsonObject &items, LoginCompletion completion);
    void fetchAccountDataForConnection(const std::shared_ptr<KOVConnection> &connection);

    void presentationControllerDidDismiss(platform::PresentationController &controller) override;
    void messageViewControllerDidTapButton(MessageViewController &controller) override;

    std::shared_ptr<KOVConnectDelegate> connectDelegate() const { return m_connectDelegate.lock(); }
    void setConnectDelegate(std::weak_ptr<KOVConnectDelegate> delegate) { m_connectDelegate = std::move(delegate); }
    const QString &clientUserID() const { return m_clientUserID; }
    void setClientUserID(const QString &clientUserID) { m_clientUserID = clientUserID; }
    const QString &bankID() const { return m_bankID; }
    void setBankID(const QString &bankID) { m_bankID = bankID; }
    platform::WebView *webView() const { return m_webView; }
    AnimatedFramesView *animatedImageView() const { return m_animatedImageView; }
    platform::Label *footnoteLabel() const { return m_footnoteLabel; }
    std::shared_ptr<MessageViewController> messageViewController() const { return m_messageViewController.lock(); }
    const std::shared_ptr<KOVConnection> &connection() const { return m_connection; }
    State state() const { return m_state; }

    // The legal page's address as links name it, and where it really is.
    static const QString kLegalPageMarker;
    static const QString kLegalPageAddress;

private:
    void showPage();
    // What the post-success loading state shows, made while the page is up
    // and hidden beneath it, so that switching to it costs little once the
    // login's requests are out.
    void prepareVerifyingState();
    // A fresh animation view in the middle of the screen, in place of any other.
    void placeAnimationView(const platform::AnimatedImage &animation, bool visible);
    void onSuccess(const QJsonObject &items);
    void onError(const QJsonObject &items);
    void onExit();
    // The page was kept from an address the transport rule forbids.
    void onRefusedAddress(const QUrl &url);
    void endWithMessage(const platform::Error &error, const QString &bankID);
    // The page is no longer watched or run: nothing it does from now on can
    // reach the host.
    void stopWatchingPage();
    // Takes back what the login put in the store and the keychain.
    void discardLogin(const std::shared_ptr<KOVConnection> &connection);
    void reportFailure(const QString &bankID, const QString &error);
    void reportDismiss();
    void reportSuccess(const QString &bankID, const std::shared_ptr<KOVBankConnection> &connection);
    // The delegate to tell an outcome, or null; says once per screen when
    // the host let go of the delegate it gave.
    std::shared_ptr<KOVConnectDelegate> delegateForOutcome();

    std::weak_ptr<KOVConnectDelegate> m_connectDelegate;
    bool m_toldDelegateGone = false;
    QString m_clientUserID;
    QString m_bankID;
    QPointer<platform::WebView> m_webView;
    QPointer<AnimatedFramesView> m_animatedImageView;
    QPointer<platform::Label> m_footnoteLabel;
    // Weak: the message keeps this screen (its delegate) alive, not the
    // other way round.
    std::weak_ptr<MessageViewController> m_messageViewController;
    std::shared_ptr<KOVConnection> m_connection;
    std::shared_ptr<KOVConnectManager> m_connectManager;
    // The user swiped the screen away (the host's own dismissal is not the
    // user leaving the login).
    bool m_closedByUser = false;
    QUrl m_pageOrigin;
    State m_state = State::LoadingPage;
    bool m_watchingPage = false;
    bool m_outcomeTaken = false;
    // m_animatedImageView is the prepared, never shown view of the
    // post-success loading state.
    bool m_verifyingViewPrepared = false;
    // The login the page handed over has been told about or left.
    bool m_loginEnded = false;
    // The failure's message (one per screen) has had its button pressed.
    bool m_messageAnswered = false;
};

} // namespace kova
