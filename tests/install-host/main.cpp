// Starts the installed SDK against the service in KOVA_SERVICE_URL (the
// sandbox), imports the login the sandbox issues and asks for the accounts.
// Exits 0 only when every step worked and the SDK's resources were read
// from the installed package.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <cstdio>

#include <kova/KOVConfigurations.h>
#include <kova/KOVConstants.h>
#include <kova/Kova.h>
#include <kova/Localizer.h>
#include <kova/animatedgif/KGAnimatedImage.h>
#include <kova/connections/KOVBankConnection.h>
#include <kova/dates/KovaDates.h>
#include <kova/platform/foundation/Bundle.h>
#include <kova/records/KOVAccount.h>

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
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-install-host"));
    const QString service = qEnvironmentVariable("KOVA_SERVICE_URL");
    const QString prefix = qEnvironmentVariable("KOVA_EXPECTED_PREFIX");
    if (service.isEmpty() || prefix.isEmpty())
        return fail("set KOVA_SERVICE_URL and KOVA_EXPECTED_PREFIX");

    const QString resources = kova::platform::Bundle::framework()->resourcePath();
    if (QDir::cleanPath(resources) != QDir::cleanPath(prefix + "/share/kova/resources"))
        return fail("resources read from " + resources);
    if (kova::Localizer::getLocalizedStringByKey("Authenticate") != "Authenticate")
        return fail("the installed string table is not read");
    const QString ago = kova::KovaDates::timeAgoSinceDate(QDateTime::currentDateTimeUtc().addDays(-3));
    if (ago != "3 days ago")
        return fail("the installed date texts are not read: " + ago);
    QFile gif(resources + "/connectAnimation.gif");
    if (!gif.open(QIODevice::ReadOnly))
        return fail("no installed animation");
    const auto animation = kova::KGAnimatedImage::initWithAnimatedGIFData(gif.readAll());
    if (!animation || animation->frameCount() < 2)
        return fail("the installed animation does not decode");

    QNetworkAccessManager network;
    const QString user = QStringLiteral("install-host-user");
    QTimer::singleShot(0, [&] {
        auto options = kova::KOVConfigurations::initWithCountries({}, kova::KOVEnvironmentSandbox);
        kova::Kova::startWithAppKey("install-host-key", user, options, [&](std::shared_ptr<kova::Kova>, kova::OptionalError error) {
            if (error)
                return (void)fail("start: " + error->localizedDescription());
            std::printf("started\n");
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
