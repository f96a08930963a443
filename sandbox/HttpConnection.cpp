#include "sandbox/HttpConnection.h"

#include <QTimer>

namespace kova::sandbox {

HttpConnection::HttpConnection(QTcpSocket *socket, int serial, HttpRequestReader::Limits limits, Handler handler,
                               QObject *parent)
    : QObject(parent), m_socket(socket), m_reader(limits), m_handler(std::move(handler)), m_serial(serial)
{
    socket->setParent(this);
    // While a request is in hand nothing more is read, so a client that keeps
    // sending meets TCP back-pressure instead of filling our memory.
    socket->setReadBufferSize(64 * 1024);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    // Bytes may have arrived before the signal was connected.
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpConnection::onReadyRead, Qt::QueuedConnection);
}

HttpConnection::~HttpConnection() = default;

QByteArray HttpConnection::reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 422: return "Unprocessable Content";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
    }
}

void HttpConnection::onReadyRead()
{
    if (!m_socket)
        return;
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    if (!m_busy)
        processBuffered();
}

void HttpConnection::processBuffered()
{
    if (!m_socket || m_busy || m_closing)
        return;
    m_reader.append(m_socket->readAll());
    switch (m_reader.next()) {
    case HttpRequestReader::Status::NeedMore:
        if (m_reader.takeContinueRequest())
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        return;
    case HttpRequestReader::Status::Failed: {
        const QByteArray body = R"({"success":false,"msg":")" + m_reader.failureReason() + R"("})";
        writeResponse(m_reader.failureStatus(), "application/json", body, false);
        return;
    }
    case HttpRequestReader::Status::Ready: {
        m_busy = true;
        m_requestKeepAlive = m_reader.keepAlive();
        RecordedRequest request = m_reader.takeRequest();
        request.connection = m_serial;
        request.placeOnConnection = ++m_requestsRead;
        m_handler(this, std::move(request));
        return;
    }
    }
}

void HttpConnection::respond(const ScriptedReply &reply)
{
    if (reply.fault == ScriptedReply::Fault::NoReply)
        return; // stays busy: nothing more is read or answered on this connection
    if (reply.delay.count() > 0) {
        // The timer belongs to this connection, so a client that goes away
        // first takes the pending reply with it.
        QTimer::singleShot(reply.delay, this, [this, reply] { deliver(reply); });
        return;
    }
    deliver(reply);
}

void HttpConnection::deliver(const ScriptedReply &reply)
{
    if (!m_socket)
        return;
    if (reply.fault == ScriptedReply::Fault::DropConnection) {
        m_closing = true;
        m_socket->abort();
        return;
    }
    int status = reply.status;
    if (status < 100 || status > 999)
        status = 500;
    QByteArray body = reply.body;
    if (reply.padTo > body.size())
        body.append(QByteArray(reply.padTo - body.size(), ' '));
    if (reply.fault == ScriptedReply::Fault::Trickle) {
        trickle(status, reply.contentType, body, reply.trickleInterval);
        return;
    }
    writeResponse(status, reply.contentType, body, m_requestKeepAlive, reply.contentEncoding);
    if (m_closing)
        return;
    m_busy = false;
    // Pipelined requests already buffered are served next, outside the
    // handler's call stack.
    QMetaObject::invokeMethod(this, &HttpConnection::processBuffered, Qt::QueuedConnection);
}

void HttpConnection::writeResponse(int status, const QByteArray &contentType, const QByteArray &body, bool keepAlive,
                                   const QByteArray &contentEncoding)
{
    if (!m_socket)
        return;
    QByteArray out;
    out += "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!contentType.isEmpty())
        out += "Content-Type: " + contentType + "\r\n";
    if (!contentEncoding.isEmpty())
        out += "Content-Encoding: " + contentEncoding + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    out += body;
    m_socket->write(out);
    if (!keepAlive)
        closeAfterWrite();
}

void HttpConnection::trickle(int status, const QByteArray &contentType, const QByteArray &body,
                             std::chrono::milliseconds interval)
{
    // The connection stays busy: nothing else is answered on it meanwhile.
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    m_socket->write(head);
    auto *timer = new QTimer(this);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, [this, timer, body, sent = qsizetype(0)]() mutable {
        if (!m_socket || sent >= body.size()) {
            timer->deleteLater();
            if (m_socket)
                closeAfterWrite();
            return;
        }
        m_socket->write(body.mid(sent++, 1));
    });
    timer->start();
}

void HttpConnection::closeAfterWrite()
{
    m_closing = true;
    // disconnectFromHost() flushes what is written before closing.
    m_socket->disconnectFromHost();
}

} // namespace kova::sandbox
