#pragma once

#include <QByteArray>
#include <QUrl>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace kova::sandbox {

// A peer that answers one connection from a thread of its own and writes as
// fast as the socket takes the bytes, so a client is tested against a sender
// no event loop slows down. The request is read whole first, then `head`,
// then whatever `body` writes until the client goes away. Header-only, so a
// test or bench can use it without linking the sandbox.
class StreamingSender {
public:
    // Writes the body through `write`; false once the client has gone.
    using Body = std::function<bool(StreamingSender &, int client)>;

    StreamingSender(QByteArray head, Body body, std::chrono::seconds sendLimit)
        : m_head(std::move(head)), m_body(std::move(body))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, sendLimit] { serve(sendLimit); });
    }
    ~StreamingSender()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    StreamingSender(const StreamingSender &) = delete;
    StreamingSender &operator=(const StreamingSender &) = delete;

    // The head of a chunked reply with no declared length.
    static constexpr const char *kChunkedHead =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
    // `total` blanks in 64 KiB chunks, then the last chunk.
    static Body chunkedBlanks(qint64 total)
    {
        const QByteArray payload(64 * 1024, ' ');
        const QByteArray chunk = QByteArray::number(payload.size(), 16) + "\r\n" + payload + "\r\n";
        return [total, chunk, size = payload.size()](StreamingSender &self, int client) {
            for (qint64 left = total; left > 0; left -= size)
                if (!self.write(client, chunk.constData(), chunk.size()))
                    return false;
            return self.write(client, "0\r\n\r\n", 5);
        };
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/stream").arg(m_port)); }
    // Body bytes the connection took before the client went away.
    qint64 sent() const { return m_sent; }
    bool finished() const { return m_finished; }

    // Writes all of `bytes` as body; false once the client has gone.
    bool write(int client, const char *bytes, qint64 size) { return send(client, bytes, size, true); }

private:
    bool send(int client, const char *bytes, qint64 size, bool counted)
    {
        for (qint64 offset = 0; offset < size;) {
            const ssize_t n = ::send(client, bytes + offset, size_t(size - offset), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            offset += n;
            if (counted)
                m_sent += n;
        }
        return true;
    }

    // The headers and the declared body, as a server reads before it answers.
    static bool wholeRequest(const QByteArray &request)
    {
        const qsizetype end = request.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        qint64 length = 0;
        for (const QByteArray &line : request.left(end).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        return request.size() - (end + 4) >= length;
    }

    void serve(std::chrono::seconds sendLimit)
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client >= 0) {
            // A client that stops reading without closing must not keep the
            // sender waiting for ever.
            timeval limit{time_t(sendLimit.count()), 0};
            ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            QByteArray request;
            char in[4096];
            while (!wholeRequest(request)) {
                const ssize_t n = ::recv(client, in, sizeof in, 0);
                if (n <= 0)
                    break;
                request.append(in, n);
            }
            if (send(client, m_head.constData(), m_head.size(), false))
                m_body(*this, client);
            ::close(client);
        }
        m_finished = true;
    }

    QByteArray m_head;
    Body m_body;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<qint64> m_sent{0};
    std::atomic<bool> m_finished{false};
};

} // namespace kova::sandbox
