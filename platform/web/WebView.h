#pragma once

#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWebEngineView>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/web/WebPage.h"

class QWebEngineProfile;

namespace kova::platform {

// A web view for the SDK's hosted pages: a web engine view with a page of our
// own on a shared off-the-record profile, so nothing a page carries (a login's
// secret in an address, cookies, cache) reaches the disk. Scripted dialogs
// show nothing. Only the user's own action (a click, a key) may ask for a new
// window, as browsers allow pop-ups; the request opens none: it is reported
// instead. The main frame goes only where the SDK's own requests may go; any
// other address is refused and reported.
class WebView : public QWidget {
    Q_OBJECT
public:
    explicit WebView(QWidget *parent = nullptr);
    ~WebView() override;

    // The address the page shows now (after redirects and in-page changes).
    QUrl url() const;
    void load(const QUrl &url);
    // Stops loading and unloads the page, so none of its scripts run on.
    void stop();
    // Runs a script in the page; `done` gets its result on the main thread,
    // and is dropped when the view is gone first.
    void runJavaScript(const QString &script, std::function<void(const QVariant &result)> done = {});

    QWebEngineView *engineView() const { return m_view; }
    // Lets go of the engine's page and view at once; the web view shows
    // nothing from then on.
    void releaseEngine();
    // releaseEngine() for every web view. Runs when the application quits its
    // event loop; a program that ends without quitting it calls this before
    // the application object goes.
    static void releaseEngines();

    // The profile every web view shares; never on disk.
    static QWebEngineProfile *sharedProfile();

signals:
    void urlChanged(const QUrl &url);
    void loadFinished(bool ok);
    void newWindowRequested(const QUrl &url);
    // The main frame was kept from going to `url` (without its query and
    // fragment), the page's first address included; told on a later turn.
    void navigationRefused(const QUrl &url);

private:
    QPointer<QWebEngineView> m_view;
    QPointer<WebPage> m_page;
    // Cleared first thing in the destructor: the engine may answer pending
    // scripts while the page is being torn down.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace kova::platform
