#include "platform/web/WebPage.h"

#include "platform/net/URLSession.h"

namespace kova::platform {

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // Redirects come this way too, so a permitted address cannot bounce the
    // page somewhere the rule forbids.
    if (isMainFrame && !isAllowedByTransportSecurity(url)) {
        emit navigationRefused(url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo));
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void WebPage::javaScriptAlert(const QUrl &, const QString &) {}

bool WebPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool WebPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    // Refused: the page's prompt() answers null.
    return false;
}

// The hosted page's console is not the host's business, and its lines could
// carry what the user typed.
void WebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &) {}

} // namespace kova::platform
