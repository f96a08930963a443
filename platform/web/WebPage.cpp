#include "platform/web/WebPage.h"

namespace kova::platform {

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
