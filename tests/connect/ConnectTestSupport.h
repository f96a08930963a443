#pragma once

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <memory>

#include "core/KOVConnectDelegate.h"
#include "ui/KovaUI.h"
#include "platform/ui/Window.h"
#include "tests/core/SdkTestFixture.h"
#include "tests/support/UiHarness.h"
#include "ui/connect/KOVWebConnect.h"
#include "ui/connect/KOVWebConnectViewController.h"

namespace kova::test {

// The app server's actions of a login's end.
inline const QString kExchange = QStringLiteral("/auth/ExchangeToken");
inline const QString kMetadata = QStringLiteral("/metadata/accounts/get");

// What the host hears, in order.
class RecordingConnectDelegate : public KOVConnectDelegate {
public:
    struct Event {
        QString kind; // "success", "failure", "dismiss"
        QString bankID;
        QString error;
        std::shared_ptr<KOVBankConnection> connection;
        bool screenStillShown = false;
        // The keychain's keys as the host could read them when it was told.
        QStringList keychainKeys;
    };
    void connectDidSuccessfullyConnectToBankID(const QString &bankID, std::shared_ptr<KOVBankConnection> connection) override;
    void connectDidFailConnectingToBankID(const QString &bankID, const QString &error) override;
    void connectDidDismiss() override;
    bool respondsTo(Method method) const override { return implementsAll || method == Method::DidDismiss; }

    QStringList kinds() const;

    QList<Event> events;
    bool implementsAll = true;
    platform::Window *window = nullptr;
};

// The connect road against the sandbox's page, in the real web engine,
// offscreen: a started SDK, a host window, and helpers that act on the page
// the way a user would, through the page's own script.
class ConnectTest : public SdkTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<Kova> startWithOptions(const QStringList &countries = {QStringLiteral("AE")});
    std::shared_ptr<KOVWebConnectViewController> screen() const;
    platform::WebView *webView() const;
    // Presents the connect screen and waits until the page has said "link".
    void presentAndWaitForPage(const QString &bankID = QString());
    bool pageSaidLink() const;
    // Whether the message screen is up, on top and done arriving.
    bool messageScreenShown() const;

    QVariant js(const QString &script);
    void chooseBank(const QString &bankID);
    void typeCredentials(const QString &username, const QString &password);
    void submit();
    // A person's click on the page's element (a script's click() is not one).
    void clickInPage(const QString &selector);
    void logIn(const QString &bankID, const QString &username, const QString &password);
    // A login the app server knows, as the page would hand it over.
    QJsonObject pageLoginItems(const QString &bankID = QStringLiteral("SANDBOXBANK"));
    QUrl outcomeURL(const QString &kind, const QJsonObject &items, const QString &host = QStringLiteral("127.0.0.1")) const;
    void navigatePage(const QUrl &url);
    // Runs queued main-queue work after the page's address has changed.
    void waitForAddress(const QUrl &url);

    QList<sandbox::RecordedRequest> appServerRequests(const QString &action) const;
    int countOf(const QString &kind) const;

    WindowPtr window;
    std::shared_ptr<RecordingConnectDelegate> delegate;
    std::shared_ptr<Kova> kova;
    QList<QUrl> opened;
};

} // namespace kova::test
