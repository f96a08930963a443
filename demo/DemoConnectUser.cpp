#include "demo/DemoConnectUser.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "core/Kova.h"
#include "demo/DemoScreens.h"
#include "platform/web/WebView.h"
#include "ui/connect/KOVConnectPage.h"
#include "ui/connect/KOVWebConnect.h"
#include "ui/connect/KOVWebConnectViewController.h"

using namespace kova;

DemoConnectUser::DemoConnectUser(QObject *parent) : QObject(parent)
{
    m_watch.setInterval(50);
    connect(&m_watch, &QTimer::timeout, this, &DemoConnectUser::look);
}

void DemoConnectUser::link(const QString &bankID, const QString &username, const QString &password, Done done)
{
    m_bankID = bankID;
    m_done = std::move(done);
    const QJsonObject values{{"bank", bankID}, {"username", username}, {"password", password}};
    // What a person does on the page: tap the bank, type into both fields,
    // tap Connect.
    m_script = QStringLiteral("(function (v) {"
                              " document.querySelector('[data-bank=\"' + v.bank + '\"]').click();"
                              " ['username', 'password'].forEach(function (id) {"
                              "  var field = document.getElementById(id); field.focus(); field.value = v[id];"
                              "  field.dispatchEvent(new Event('input', {bubbles: true})); });"
                              " document.getElementById('connect').click(); return true; })(%1)")
                   .arg(QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)));
    Kova::sharedInstance()->presentConnect(std::static_pointer_cast<KOVConnectDelegate>(shared_from_this()));
    m_watch.start();
}

void DemoConnectUser::look()
{
    const auto connect = std::dynamic_pointer_cast<KOVWebConnect>(Kova::sharedInstance()->connect());
    const auto screen = connect ? connect->webConnectViewController() : nullptr;
    if (!m_steady.held(screen && screen->webView()
                       && KOVConnectPage::lastPathComponent(screen->webView()->url()) == QLatin1String("link")))
        return;
    m_watch.stop();
    saveDemoScreen(QStringLiteral("connect-page"));
    screen->webView()->runJavaScript(m_script);
}

void DemoConnectUser::finish(const QString &bankID, std::shared_ptr<KOVBankConnection> connection, const QString &error)
{
    m_watch.stop();
    if (Done done = std::exchange(m_done, nullptr))
        done(bankID, std::move(connection), error);
}

void DemoConnectUser::connectDidSuccessfullyConnectToBankID(const QString &bankID,
                                                            std::shared_ptr<KOVBankConnection> connection)
{
    finish(bankID, std::move(connection), QString());
}

void DemoConnectUser::connectDidFailConnectingToBankID(const QString &bankID, const QString &error)
{
    finish(bankID, nullptr, error.isNull() ? QStringLiteral("the page reported an error") : error);
}

void DemoConnectUser::connectDidDismiss()
{
    finish(m_bankID, nullptr, QStringLiteral("the connect screen was closed"));
}
