#include "platform/web/EngineStartupReport.h"

#include <QString>
#include <QtGlobal>

namespace kova::platform {
namespace {

QtMessageHandler s_nextHandler = nullptr;

void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "qt.webenginecontext") == 0
        || message == QLatin1String("WebEngineContext used before QtWebEngineCore::initialize() or OpenGL context "
                                    "creation failed.")
        || message.trimmed() == QLatin1String("No suitable graphics backend found"))
        return;
    s_nextHandler(type, context, message);
}

} // namespace

void leaveOutWebEngineStartupReport()
{
    s_nextHandler = qInstallMessageHandler(handle);
}

} // namespace kova::platform
