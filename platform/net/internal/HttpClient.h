#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QNetworkCookieJar;

// HTTP/1.1 exchanges on the main loop, for URLSession. Qt's own HTTP stack
// runs every exchange on a thread of its own and hands each step of it to the
// main thread and back; a bounded reading there costs that thread extra
// wake-ups on every call. Here the socket is read on the main loop, only as
// fast as the reply is taken in, so the bound needs nothing extra at all.
// Not part of the installed headers.

namespace kova::platform::internal {

using HttpFields = QList<QPair<QByteArray, QByteArray>>;

// What one exchange tells its owner. Every call comes from the main loop,
// never from inside HttpClient::start; `finished` comes exactly once, and
// nothing after it.
struct HttpHandler {
    // A fetch at `from` met a redirect to `to`: is it followed? Without it,
    // none is.
    std::function<bool(const QUrl &from, const QUrl &to)> allowRedirect;
    // The reply's status and fields (fields of one name joined), and the
    // address that answered; false gives the exchange up.
    std::function<bool(int status, const HttpFields &fields, const QUrl &url)> head;
    // The next body bytes as they came over the wire; false gives the
    // exchange up.
    std::function<bool(const QByteArray &bytes)> body;
    // Bytes moved, either way.
    std::function<void()> progressed;
    // The request has gone out whole, or never will.
    std::function<void()> requestSent;
    // The end: nothing for a whole reply, else a URL error code (the code
    // passed to abort() when the owner gave it up).
    std::function<void(std::optional<qint64> error)> finished;
};

class HttpExchange;
struct HttpPool;

// Keeps a few idle keep-alive connections per server between exchanges, at
// most six open to a server at a time, idle ones included. Main thread only.
class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    struct Request {
        QByteArray method;
        QUrl url;
        // Sent on every hop of a fetch, but Authorization only until a
        // redirect leads to another origin.
        HttpFields fields;
        QByteArray body;
        // A fetch follows redirects the handler allows, and is sent again
        // once on a new connection when a reused one turns out closed; a
        // request that is not is never sent twice.
        bool isFetch = false;
        // Where the cookies servers set are kept and sent back from, each
        // hop's for its own address; none keeps and sends none.
        std::shared_ptr<QNetworkCookieJar> cookies;
    };
    std::shared_ptr<HttpExchange> start(Request request, HttpHandler handler);

private:
    std::shared_ptr<HttpPool> m_pool;
};

class HttpExchange {
public:
    virtual ~HttpExchange() = default;
    // Ends the exchange at once: its connection is closed and `finished`
    // runs with `code` before this returns, unless it ran already.
    virtual void abort(qint64 code) = 0;
};

// The first value of a field of that name (any case), and whether there is
// one; the session's requests read their fields the same way.
QByteArray fieldValue(const HttpFields &fields, const QByteArray &name);
bool hasField(const HttpFields &fields, const QByteArray &name);
// localhost and the loopback addresses: this device itself.
bool isLoopbackHost(const QString &host);

// The "Host" field for a URL, as a browser sends it.
QByteArray hostField(const QUrl &url);

} // namespace kova::platform::internal
