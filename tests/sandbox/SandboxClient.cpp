#include "SandboxClient.h"

#include <QJsonDocument>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace kova::sandbox::test {

QJsonObject HttpResult::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QJsonArray HttpResult::jsonArray() const
{
    return QJsonDocument::fromJson(body).array();
}

QNetworkReply *SandboxClient::start(const QUrl &url, const QByteArray &body, const Headers &headers)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    return m_manager.post(request, body);
}

QNetworkReply *SandboxClient::startGet(const QUrl &url)
{
    return m_manager.get(QNetworkRequest(url));
}

HttpResult SandboxClient::finish(QNetworkReply *reply)
{
    HttpResult result;
    QPointer<QNetworkReply> guard(reply);
    result.finished = kova::test::waitUntil([&] { return !guard || guard->isFinished(); });
    if (!guard)
        return result;
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    reply->deleteLater();
    return result;
}

HttpResult SandboxClient::post(const QUrl &url, const QByteArray &body, const Headers &headers)
{
    return finish(start(url, body, headers));
}

HttpResult SandboxClient::post(const QUrl &url, const QJsonObject &body, const Headers &headers)
{
    return post(url, QJsonDocument(body).toJson(QJsonDocument::Indented), headers);
}

QByteArray exchangeRaw(quint16 port, const QByteArray &bytes, const std::function<bool(const QByteArray &)> &enough)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!kova::test::waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return {};
    socket.write(bytes);
    QByteArray received;
    kova::test::waitUntil([&] {
        received += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState || (enough && enough(received));
    });
    received += socket.readAll();
    return received;
}

int rawStatus(const QByteArray &response)
{
    if (!response.startsWith("HTTP/1.1 "))
        return 0;
    return response.mid(9, 3).toInt();
}

} // namespace kova::sandbox::test
