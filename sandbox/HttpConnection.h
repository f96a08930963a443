#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <functional>

#include "sandbox/HttpRequestReader.h"
#include "sandbox/ScriptedReply.h"

namespace kova::sandbox {

// One accepted client connection. Requests are handled strictly one at a
// time, as HTTP/1.1 orders its replies: the next request on the connection
// is read only once the current one has been answered.
class HttpConnection : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(HttpConnection *, RecordedRequest)>;

    HttpConnection(QTcpSocket *socket, int serial, HttpRequestReader::Limits limits, Handler handler,
                   QObject *parent = nullptr);
    ~HttpConnection() override;

    // Answers the request in hand: at once, after the reply's delay (on a
    // timer, never blocking), by dropping the connection, or never.
    void respond(const ScriptedReply &reply);

    static QByteArray reasonPhrase(int status);

private:
    void onReadyRead();
    void processBuffered();
    void deliver(const ScriptedReply &reply);
    void writeResponse(int status, const QByteArray &contentType, const QByteArray &body, bool keepAlive,
                       const QByteArray &contentEncoding = {});
    void closeAfterWrite();
    void trickle(int status, const QByteArray &contentType, const QByteArray &body, std::chrono::milliseconds interval);

    QPointer<QTcpSocket> m_socket;
    HttpRequestReader m_reader;
    Handler m_handler;
    int m_serial;
    int m_requestsRead = 0;
    bool m_busy = false;
    bool m_requestKeepAlive = true;
    bool m_closing = false;
};

} // namespace kova::sandbox
