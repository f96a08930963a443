// Arbitrary bytes as the replies the SDK reads outside the record families:
// the configs reply and its model, the login parameters a host imports (with
// the colour held as JSON text), MFA prompts, and the error mapping of a
// failed reply.

#include <QJsonArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "core/KOVAppConfigsModel.h"
#include "core/KOVServerErrorMapper.h"
#include "core/api/MFAParameter.h"
#include "core/connections/KOVLogin.h"
#include "platform/foundation/Json.h"

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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto parsed = platform::json::parseObject(bytes);
    if (const auto *reply = std::get_if<QJsonObject>(&parsed))
        readReply(*reply);
    return 0;
}
