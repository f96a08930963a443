#include "core/Kova.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include "core/KOVAppConfigsModel.h"
#include "core/KOVAppManager.h"
#include "core/KOVConfigurations.h"
#include "core/KOVConnect.h"
#include "core/KOVConstants.h"
#include "core/KOVCrashReport.h"
#include "core/connections/KOVBankConnection.h"
#include "core/internal/KOVOptionalBlock.h"
#include "core/internal/KOVProcessState.h"
#include "core/internal/KOVResourceCheck.h"
#include "core/internal/KOVService.h"
#include "core/store/KOVAppConfigs.h"
#include "core/store/KOVConnection.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/net/URLSession.h"
#include "platform/store/ManagedObjectContext.h"

namespace kova {

namespace json = platform::json;

namespace {

// Whether a configuration has been applied in this process, and whether a
// configs fetch is on its way: a repeat start fetches again only when the
// first one failed and nothing else can bring a configuration.
bool s_configurationApplied = false;
bool s_fetchInFlight = false;

void applyConfiguration(const QString &serverURLText, const QStringList &configurationCountries)
{
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    const QUrl url(serverURLText, QUrl::StrictMode);
    manager.setServerURL(serverURLText.isEmpty() || !url.isValid() ? QUrl() : url);
    const std::shared_ptr<Kova> kova = Kova::sharedInstance();
    const std::shared_ptr<KOVConfigurations> options = kova ? kova->configurations() : nullptr;
    manager.setEnvironment(options ? options->environment() : QString());
    manager.setCountries(options && !options->countries().isEmpty() ? options->countries() : configurationCountries);
    s_configurationApplied = true;
}

// The user IDs of the client user's valid connections, oldest first: what
// the connection listing shows, read without building the connections'
// facades and keychain lookups.
QJsonArray validUserIDs(const QString &clientUserID)
{
    QJsonArray userIDs;
    if (clientUserID.isEmpty())
        return userIDs;
    platform::Error error;
    for (const auto &connection : KOVAppManager::sharedInstance().viewContext().fetch<KOVConnection>(
             KOVConnection::fetchRequestWithUserID(QString(), clientUserID, true), &error))
        if (!connection->userID().isNull())
            userIDs.append(connection->userID());
    return userIDs;
}

void fetchConfigs(const QString &appKey, const QString &clientUserID, bool completed, Kova::StartCompletion completion)
{
    const QString bundleID = platform::ProcessInfo::mainBundleIdentifier();
    const QJsonObject body{
        {QStringLiteral("appKey"), appKey},
        {QStringLiteral("bundleID"), json::textOrNull(bundleID)},
        {QStringLiteral("userIDs"), validUserIDs(clientUserID)},
    };
    const platform::URLRequest request = internal::serviceRequest(QStringLiteral("/v2/sdk/apps/configs/get"), body);

    s_fetchInFlight = true;
    internal::serviceSession().dataTask(
        request, [appKey, completed, completion](const QByteArray &data, const std::optional<platform::HTTPURLResponse> &response,
                                                 const std::optional<platform::Error> &error) {
            s_fetchInFlight = false;
            if (error) {
                if (!completed)
                    completion(nullptr, *error);
                return;
            }
            QJsonObject reply;
            std::shared_ptr<KOVAppConfigsModel> model;
            auto parsed = json::parseObject(data);
            if (auto *object = std::get_if<QJsonObject>(&parsed)) {
                reply = *object;
                // Behind a failed HTTP status only an explicit true counts.
                const QJsonValue success = reply.value(QStringLiteral("success"));
                const bool good = (response && !response->hasSuccessStatus()) ? (success.isBool() && success.toBool())
                                                                               : json::readBool(success) == true;
                const std::optional<QJsonObject> appConfig = json::readObject(reply, QStringLiteral("appConfig"));
                if (good && appConfig)
                    model = KOVAppConfigsModel::initWithDictionary(*appConfig);
            }
            if (!model) {
                const QString message = json::readText(reply, QStringLiteral("msg"));
                platform::log(QStringLiteral("[KOVA] %1").arg(message.isNull() ? QStringLiteral("(null)") : message));
                if (!completed)
                    completion(nullptr, platform::Error::withDescription(
                                            KOVErrorDomain, KOVErrorConfigsFetchFailed,
                                            message.isNull() ? QStringLiteral("Unkown error") : message));
                return;
            }
            Kova::updateCacheConfigs(*model, appKey);
            applyConfiguration(model->serverURL(), model->countries());
            if (!completed)
                completion(Kova::sharedInstance(), std::nullopt);
            Kova::pushExceptionStacktrace(appKey);
        });
}

} // namespace

QString internal::serviceBaseURL()
{
    QString base = platform::ProcessInfo::environmentValue("KOVA_SERVICE_URL");
    if (base.isEmpty())
        base = QStringLiteral(KOVA_DEFAULT_SERVICE_URL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

namespace {
using namespace std::chrono_literals;
platform::URLSessionConfiguration s_serviceConfiguration{60s, 135s, KOVMaxServiceReplyBytes};
// Lives until the application object goes, like the platform's shared
// session: its connections must close while the application exists.
platform::URLSession *s_serviceSession = nullptr;
} // namespace

platform::URLSession &internal::serviceSession()
{
    if (!s_serviceSession) {
        s_serviceSession = new platform::URLSession(s_serviceConfiguration);
        // Its connections must close while the application object exists.
        static const bool endsWithTheApplication = [] {
            qAddPostRoutine(&internal::KOVProcessState::resetServiceSession);
            return true;
        }();
        Q_UNUSED(endsWithTheApplication);
    }
    return *s_serviceSession;
}

void internal::KOVProcessState::resetServiceSession()
{
    delete s_serviceSession;
    s_serviceSession = nullptr;
}

void internal::KOVProcessState::setServiceSessionTimeouts(std::chrono::milliseconds idle,
                                                         std::chrono::milliseconds overall)
{
    s_serviceConfiguration.timeoutIntervalForRequest = idle;
    s_serviceConfiguration.timeoutIntervalForResource = overall;
    resetServiceSession();
}

void internal::KOVProcessState::resetStartState()
{
    s_configurationApplied = false;
    s_fetchInFlight = false;
}

platform::URLRequest internal::serviceRequest(const QString &path, const QJsonObject &body)
{
    platform::URLRequest request;
    request.url = QUrl(serviceBaseURL() + path);
    request.httpMethod = QByteArrayLiteral("POST");
    // What the platform puts on a POST that names no type of its own.
    request.setValue(QByteArrayLiteral("application/x-www-form-urlencoded"), QByteArrayLiteral("Content-Type"));
    request.httpBody = json::compact(body);
    return request;
}

Kova::Kova(QString appKey, QString clientUserID) : m_appKey(std::move(appKey)), m_clientUserID(std::move(clientUserID))
{
}

std::shared_ptr<Kova> Kova::sharedInstance()
{
    return KOVAppManager::sharedInstance().kovaInstance();
}

void Kova::startWithAppKey(const QString &appKey, const QString &clientUserID, StartCompletion completion)
{
    startWithAppKey(appKey, clientUserID, nullptr, std::move(completion));
}

void Kova::startWithAppKey(const QString &appKey, const QString &clientUserID,
                           std::shared_ptr<KOVConfigurations> configuration, StartCompletion completion)
{
    completion = internal::orNothing(std::move(completion));
    installUncaughtExceptionHandler();
    KOVAppManager &manager = KOVAppManager::sharedInstance();

    if (const std::shared_ptr<Kova> existing = manager.kovaInstance()) {
        platform::log(QStringLiteral(
            "[KOVA] Warning: Kova.start(appKey:clientUserID:completion:) must be called only once"));
        if (!s_configurationApplied && !s_fetchInFlight) {
            // The first start's fetch failed and left the SDK without a
            // server: try again for the started instance.
            fetchConfigs(existing->appKey(), existing->clientUserID(), false, std::move(completion));
            return;
        }
        platform::MainQueue::async([completion]() { completion(Kova::sharedInstance(), std::nullopt); });
        return;
    }

    // Without its data model and texts the SDK would link banks it cannot
    // store: such a start fails, and no instance is left to pretend it works.
    if (std::optional<platform::Error> missing = missingResourcesError()) {
        platform::log(missing->localizedDescription());
        platform::MainQueue::async([completion, error = *missing]() { completion(nullptr, error); });
        return;
    }

    auto kova = std::make_shared<Kova>(appKey, clientUserID);
    kova->setConfigurations(std::move(configuration));
    manager.setKovaInstance(kova);

    bool completed = false;
    if (const auto cached = KOVAppConfigs::getConfigsForAppKey(appKey, manager.viewContext())) {
        if (const std::optional<QStringList> countries = cached->countriesStringArray()) {
            const QString serverURL = cached->serverURL();
            platform::MainQueue::async([serverURL, countries = *countries, completion]() {
                applyConfiguration(serverURL, countries);
                completion(Kova::sharedInstance(), std::nullopt);
            });
            completed = true;
        }
    }
    fetchConfigs(appKey, clientUserID, completed, std::move(completion));
}

void Kova::updateCacheConfigs(const KOVAppConfigsModel &configs, const QString &appKey)
{
    KOVAppConfigs::storeAppConfigs(configs, appKey, KOVAppManager::sharedInstance().viewContext());
}

void Kova::pushExceptionStacktrace(const QString &appKey)
{
    uploadStoredCrashReport(appKey);
}

void Kova::setConfigurations(std::shared_ptr<KOVConfigurations> configurations)
{
    m_configurations = std::move(configurations);
    KOVAppManager &manager = KOVAppManager::sharedInstance();
    if (m_configurations)
        manager.setCountries(m_configurations->countries());
    else
        manager.forgetCountries();
    manager.setEnvironment(m_configurations ? m_configurations->environment() : QString());
}

void Kova::presentConnect(std::weak_ptr<KOVConnectDelegate> delegate)
{
    presentConnect(std::move(delegate), QString());
}

void Kova::presentConnect(std::weak_ptr<KOVConnectDelegate> delegate, const QString &bankID)
{
    // A second tap on the host's button: the person may already be typing
    // into the first page, and a second page over it would be one that
    // dismissConnect could not reach.
    if (m_connect && m_connect->isShowing()) {
        platform::log(QStringLiteral("[Kova] The connect screen is already up: it stays, and no second one is shown"));
        return;
    }
    m_connect = KOVConnect::initWithClientUserID(m_clientUserID);
    if (!m_connect)
        return;
    m_connect->setDelegate(std::move(delegate));
    m_connect->presentWithBankID(bankID);
}

QList<std::shared_ptr<KOVBankConnection>> Kova::getConnections() const
{
    return KOVBankConnection::getConnectionsWithClientUserID(m_clientUserID);
}

void Kova::dismissConnect()
{
    if (m_connect)
        m_connect->dismissWithCompletion(nullptr);
    m_connect.reset();
}

} // namespace kova
