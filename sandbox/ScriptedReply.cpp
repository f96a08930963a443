#include "sandbox/ScriptedReply.h"

#include <QJsonDocument>

namespace kova::sandbox {

ScriptedReply ScriptedReply::json(const QJsonObject &o, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return reply;
}

ScriptedReply ScriptedReply::json(const QJsonArray &a, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.body = QJsonDocument(a).toJson(QJsonDocument::Compact);
    return reply;
}

ScriptedReply ScriptedReply::raw(QByteArray body, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

} // namespace kova::sandbox
