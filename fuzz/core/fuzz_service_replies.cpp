// Arbitrary bytes as the replies the SDK reads outside the record families:
// the configs reply and its model, the login parameters a host imports (with
// the colour held as JSON text), MFA prompts, and the error mapping of a
// failed reply.

#include <QJsonArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "core/KOVAPIManager.h"
#include "core/KOVAppConfigsModel.h"
#include "core/KOVServerErrorMapper.h"
#include "core/api/MFAParameter.h"
#include "core/connections/KOVLogin.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"

namespace {

using namespace kova;

volatile std::size_t g_sink = 0;

void use(const QString &text) { g_sink = g_sink + static_cast<std::size_t>(text.size()); }

void readReply(const QJsonObject &reply)
{
    g_sink = g_sink + static_cast<std::size_t>(KOVServerErrorMapper::mapErrorType(reply.value(QStringLiteral("type"))));
    if (const auto config = platform::json::readObject(reply, QStringLiteral("appConfig"))) {
        if (const auto model = KOVAppConfigsModel::initWithDictionary(*config)) {
            use(model->serverURL());
            use(model->colorScheme());
            g_sink = g_sink + static_cast<std::size_t>(model->countries().size());
        }
    }
    for (const QJsonObject &candidate : {reply, reply.value(QStringLiteral("login")).toObject()}) {
        if (const auto login = KOVLogin::initWithDictionary(candidate)) {
            use(login->userSecret());
            use(login->primaryColor());
            use(login->secondaryColor());
            use(login->bankFullLogoPng());
        }
    }
    const QJsonValue inputs = reply.value(QStringLiteral("userInputs"));
    for (const QJsonValue &prompt : inputs.isArray() ? inputs.toArray() : QJsonArray{inputs}) {
        if (const auto parameter = MFAParameter::initWithDictionary(prompt))
            g_sink = g_sink + static_cast<std::size_t>(parameter->toDictionary().size());
    }
}

} // namespace

// The pipeline's reading of the same bytes as an app-server reply, under a
// status chosen by the input's length.
void readAsPipelineReply(const QByteArray &bytes)
{
    static const int statuses[] = {200, 201, 204, 301, 404, 500};
    platform::HTTPURLResponse response;
    response.statusCode = statuses[bytes.size() % 6];
    int outcomes = 0;
    KOVAPIManager::handleReply(
        QStringLiteral("data/accounts/get"), platform::URLRequest(), [] {}, bytes, response, std::nullopt,
        [&](std::function<void()> done, const platform::URLRequest &, const std::optional<platform::HTTPURLResponse> &,
            const QJsonObject &reply, const QString &operationID) {
            ++outcomes;
            use(operationID);
            g_sink = g_sink + static_cast<std::size_t>(reply.size());
            done();
        },
        [&](const std::optional<platform::URLRequest> &, const std::optional<platform::HTTPURLResponse> &,
            const platform::Error &error, const QString &operationID) {
            ++outcomes;
            use(operationID);
            use(error.localizedDescription());
        });
    if (outcomes != 1)
        __builtin_trap(); // exactly one block runs
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool quiet = (platform::setLogSink([](const QString &) {}), true);
    (void)quiet;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    readAsPipelineReply(bytes);
    const auto parsed = platform::json::parseObject(bytes);
    if (const auto *reply = std::get_if<QJsonObject>(&parsed))
        readReply(*reply);
    return 0;
}
