#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPair>
#include <QPointer>
#include <QUrl>

// Plain HTTP clients for driving the sandbox the way the SDK will: through
// QNetworkAccessManager, or byte by byte over a socket for what a well-behaved
// client would never send.
namespace kova::sandbox::test {

struct HttpResult {
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QJsonObject json() const;
    QJsonArray jsonArray() const;
};

class SandboxClient {
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    // Starts a POST and leaves it running.
    QNetworkReply *start(const QUrl &url, const QByteArray &body, const Headers &headers = {});
    QNetworkReply *startGet(const QUrl &url);
    // Waits for a started request to end and reads it.
    static HttpResult finish(QNetworkReply *reply);
    HttpResult post(const QUrl &url, const QByteArray &body, const Headers &headers = {});
    HttpResult post(const QUrl &url, const QJsonObject &body, const Headers &headers = {});

private:
    QNetworkAccessManager m_manager;
};

// Sends raw bytes on a fresh connection and collects what comes back until
// the server closes it (or `enough` says the answer is complete).
QByteArray exchangeRaw(quint16 port, const QByteArray &bytes,
                       const std::function<bool(const QByteArray &)> &enough = {});
// The status code on the first line of a raw HTTP response, or 0.
int rawStatus(const QByteArray &response);

} // namespace kova::sandbox::test
