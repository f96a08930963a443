#include "sandbox/ConnectPage.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "sandbox/AppServer.h"
#include "sandbox/SandboxData.h"

namespace kova::sandbox {

namespace {

QByteArray pageSource()
{
    QFile file(QStringLiteral(":/sandbox/connect/connection.html"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<!DOCTYPE html><p>The connect page is missing from this build.</p>");
    return file.readAll();
}

ScriptedReply outcome(const QString &kind, const QJsonObject &rest)
{
    QJsonObject reply = rest;
    reply.insert(QStringLiteral("outcome"), kind);
    return ScriptedReply::json(reply);
}

} // namespace

QJsonArray ConnectPage::banks()
{
    return QJsonArray{
        QJsonObject{{"id", "SANDBOXBANK"}, {"name", SandboxData::bankName("SANDBOXBANK")}, {"country", "AE"}},
        QJsonObject{{"id", "DUNEBANK"}, {"name", SandboxData::bankName("DUNEBANK")}, {"country", "AE"}},
        QJsonObject{{"id", "OASISBANK"}, {"name", SandboxData::bankName("OASISBANK")}, {"country", "SA"}},
        QJsonObject{{"id", "HARBOURBANK"}, {"name", SandboxData::bankName("HARBOURBANK")}, {"country", "SA"}},
    };
}

std::optional<ScriptedReply> ConnectPage::handle(const RecordedRequest &request)
{
    const QString path = QString::fromLatin1(Path);
    if (request.path != path && !request.path.startsWith(path + QLatin1Char('/')))
        return std::nullopt;
    const QString rest = request.path.mid(path.size());
    if (rest == QLatin1String("/login")) {
        if (request.method != QLatin1String("POST"))
            return ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "Only POST is served here"}}, 405);
        return login(request);
    }
    if (request.method != QLatin1String("GET"))
        return ScriptedReply::json(QJsonObject{{"success", false}, {"msg", "Only GET is served here"}}, 405);
    if (rest == QLatin1String("/banks"))
        return ScriptedReply::json(banks());
    // The page itself answers its own address and every outcome address: the
    // outcome pages only say that the user may go back to the app.
    ScriptedReply page = ScriptedReply::raw(pageSource());
    page.contentType = "text/html; charset=utf-8";
    return page;
}

ScriptedReply ConnectPage::login(const RecordedRequest &request)
{
    const QString bankId = request.json.value(QStringLiteral("bankId")).toString();
    const QString username = request.json.value(QStringLiteral("username")).toString().trimmed();
    const QString password = request.json.value(QStringLiteral("password")).toString();
    bool known = false;
    for (const QJsonValue &bank : banks())
        known = known || bank.toObject().value(QStringLiteral("id")).toString() == bankId;
    if (!known)
        return outcome(QStringLiteral("error"), {{"msg", "Unknown bank"}});
    if (username.isEmpty() || password.trimmed().isEmpty())
        return outcome(QStringLiteral("error"), {{"msg", "Enter your user name and password"}});
    if (password == QLatin1String("wrong"))
        return outcome(QStringLiteral("error"), {{"msg", "Invalid user name or password"}});

    QJsonObject items = m_appServer.issueLogin(QString(), bankId);
    items.remove(QStringLiteral("clientUserID"));
    // The page hands the colours over as JSON text inside one query item.
    items.insert(QStringLiteral("color"),
                 QString::fromUtf8(QJsonDocument(items.value(QStringLiteral("color")).toObject()).toJson(QJsonDocument::Compact)));
    if (username == QLatin1String("badexchange"))
        items.insert(QStringLiteral("accessCode"), QStringLiteral("sbx-rejected-access"));
    return outcome(QStringLiteral("success"), {{"items", items}});
}

} // namespace kova::sandbox
