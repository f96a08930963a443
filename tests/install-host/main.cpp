// Starts the installed SDK against the service in KOVA_SERVICE_URL (the
// sandbox), imports the login the sandbox issues and asks for the accounts.
// Exits 0 only when every step worked and the SDK's resources came from its
// own libraries (the install may have been moved: no path leads back to it).
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <cstdio>

#include <kova/Kova.h>
#include <kova/animatedgif/KGAnimatedImage.h>
#include <kova/connections/KOVBankConnection.h>
#include <kova/dates/KovaDates.h>
#include <kova/records/KOVAccount.h>

#ifdef KOVA_HOST_WITH_UI
#include <QApplication>
#include <QFontDatabase>
#include <kova/platform/ui/ViewController.h>
#include <kova/platform/ui/Window.h>
#include <kova/ui/KovaUI.h>
using HostApplication = QApplication;
#else
#include <QCoreApplication>
using HostApplication = QCoreApplication;
#endif

namespace {

int fail(const QString &why)
{
    std::fprintf(stderr, "kova-install-host: %s\n", why.toUtf8().constData());
    QCoreApplication::exit(1);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
#ifdef KOVA_HOST_WITH_UI
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#endif
    HostApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-install-host"));
    const QString service = qEnvironmentVariable("KOVA_SERVICE_URL");
    if (service.isEmpty())
        return fail("set KOVA_SERVICE_URL");

    // The string table, through the options' default loading text.
    const auto options = kova::KOVConfigurations::initWithCountries({}, kova::KOVEnvironmentSandbox);
    if (options->postSuccessfulConnectionLoadingText() != "Verifying your account")
        return fail("the string table is not read: " + options->postSuccessfulConnectionLoadingText());
    const QString ago = kova::KovaDates::timeAgoSinceDate(QDateTime::currentDateTimeUtc().addDays(-3));
    if (ago != "3 days ago")
        return fail("the date texts are not read: " + ago);

#ifdef KOVA_HOST_WITH_UI
    QFile gif(QStringLiteral(":/kova/resources/connectAnimation.gif"));
    if (!gif.open(QIODevice::ReadOnly))
        return fail("the screens' animation is not in the library");
    const auto animation = kova::KGAnimatedImage::initWithAnimatedGIFData(gif.readAll());
    if (!animation || animation->frameCount() < 2)
        return fail("the screens' animation does not decode");

    kova::platform::Window window;
    window.setRootViewController(std::make_shared<kova::platform::ViewController>());
    kova::installKovaUI(&window);
#endif

    QNetworkAccessManager network;
    const QString user = QStringLiteral("install-host-user");
    QTimer::singleShot(0, [&] {
        kova::Kova::startWithAppKey("install-host-key", user, options, [&](std::shared_ptr<kova::Kova>, kova::OptionalError error) {
            // A start succeeds only with the data model and string table found.
            if (error)
                return (void)fail("start: " + error->localizedDescription());
            std::printf("started\n");
#ifdef KOVA_HOST_WITH_UI
            if (!QFontDatabase::families().contains(QStringLiteral("Muli")))
                return (void)fail("the screens' fonts are not registered");
            std::printf("fonts registered\n");
#endif
            QNetworkRequest request(QUrl(service + "/sandbox/logins"));
            request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
            QNetworkReply *reply = network.post(request, QJsonDocument(QJsonObject{{"clientUserID", user}}).toJson());
            QObject::connect(reply, &QNetworkReply::finished, [&, reply] {
                reply->deleteLater();
                const QJsonObject parameters = QJsonDocument::fromJson(reply->readAll()).object();
                kova::KOVBankConnection::create(parameters, [&](std::shared_ptr<kova::KOVBankConnection> connection,
                                                                kova::OptionalError error) {
                    if (error || !connection)
                        return (void)fail("import: " + (error ? error->localizedDescription() : QString("no connection")));
                    std::printf("imported %s\n", connection->bankID().toUtf8().constData());
                    connection->getAccounts([connection](QList<std::shared_ptr<kova::KOVAccount>> accounts,
                                                         kova::OptionalError error, QString) {
                        if (error || accounts.isEmpty())
                            return (void)fail("accounts: " + (error ? error->localizedDescription() : QString("none")));
                        std::printf("accounts %lld\n", static_cast<long long>(accounts.size()));
                        QCoreApplication::exit(0);
                    });
                });
            });
        });
    });
    return app.exec();
}
