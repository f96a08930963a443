#pragma once

#include <QWebEnginePage>

namespace kova::platform {

// A page whose scripted alert, confirm and prompt show nothing: a hosted page
// must not be able to raise a native dialog (one could ask for a password, or
// hold the screen). A confirm answers false, a prompt answers null.
// Its main frame goes only where the SDK's own requests may go (https; plain
// http to loopback, or anywhere once the host opts in): a page that carries a
// login's secret in its address must not send it in clear text.
class WebPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

signals:
    // The main frame was kept from going to `url` (stripped of its query and
    // fragment, which may carry a login's secret).
    void navigationRefused(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
};

} // namespace kova::platform
