#pragma once

#include <QWebEnginePage>

namespace kova::platform {

// A page whose scripted alert, confirm and prompt show nothing: a hosted page
// must not be able to raise a native dialog (one could ask for a password, or
// hold the screen). A confirm answers false, a prompt answers null.
class WebPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
};

} // namespace kova::platform
