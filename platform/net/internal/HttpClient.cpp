#include "platform/net/internal/HttpClient.h"

#include <QHostAddress>
#include <QLocale>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QObject>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <set>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/net/URLSession.h"
#include "platform/net/internal/HttpReplyParser.h"

namespace kova::platform::internal {

namespace {

// What the socket holds of a reply before it is read out: the rest waits in
// the kernel, which makes the sender wait too.
constexpr qint64 kSocketReadBuffer = 64 * 1024;
// As many as a browser follows.
constexpr int kMaxRedirects = 50;
// Connections open to one server at a time, as a browser keeps them; more
// exchanges wait for one of them.
constexpr int kMaxConnectionsPerServer = 6;
// An idle connection is closed after this long; servers close theirs sooner.
constexpr std::chrono::seconds kIdleLifetime(120);
// A server that announces how long it keeps an idle connection counts from
// when it sent the reply's end, half a round trip before we read it, and our
// next request reaches it half a round trip after we send it: a connection
// is given up this much before the announced time, so a request never meets
// the server's close on the wire. A second covers nearly every path; for an
// announced second or two, half of it is kept, so calls in quick succession
// still share a connection.
constexpr std::chrono::milliseconds kKeepAliveMargin(1000);

using SteadyClock = std::chrono::steady_clock;

bool isSecure(const QUrl &url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

quint16 portOf(const QUrl &url)
{
    return quint16(url.port(isSecure(url) ? 443 : 80));
}

// Connections are shared by exchanges to one server through one proxy.
QString poolKey(const QUrl &url, const QNetworkProxy &proxy)
{
    return url.scheme().toLower() + QLatin1String("://") + url.host().toLower() + QLatin1Char(':')
        + QString::number(portOf(url)) + QLatin1String(" via ") + QString::number(int(proxy.type()))
        + QLatin1Char(' ') + proxy.hostName() + QLatin1Char(':') + QString::number(proxy.port())
        + QLatin1Char(' ') + proxy.user();
}

// Some sites refuse a request without one; this is the one Qt's own stack sends.
QByteArray acceptLanguage()
{
    const QString locale = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (locale == QLatin1String("C"))
        return "en,*";
    if (locale.startsWith(QLatin1String("en-")))
        return (locale + QLatin1String(",*")).toLatin1();
    return (locale + QLatin1String(",en,*")).toLatin1();
}

// The schemes and addresses spoken to at all, first or after a redirect.
bool isSpoken(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

// What the peer sent an idle connection (stray bytes, or its end) may still
// wait in the kernel, unheard by the loop: a peek tells without taking it.
bool quietSinceIdle(QAbstractSocket *socket)
{
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return true;
    char byte = 0;
    return ::recv(int(descriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT) < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

// An idle connection that can carry another exchange: still open, and
// nothing heard on it since its last reply.
bool fitForReuse(QAbstractSocket *socket)
{
    return socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0
        && quietSinceIdle(socket);
}

// Closed at once, so it no longer counts against its server's connections;
// freed once whatever signal of it is under way is over.
void dispose(QAbstractSocket *socket)
{
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

bool isSafeFieldPart(const QByteArray &part)
{
    return !part.contains('\r') && !part.contains('\n') && !part.contains('\0');
}

// A method is a token: anything else would bend the request line.
bool isToken(const QByteArray &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(uchar(c)) || std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

QByteArray requestTarget(const QUrl &url)
{
    QUrl copy = url;
    QUrl::FormattingOptions format = QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment
        | QUrl::RemoveUserInfo | QUrl::FullyEncoded;
    if (copy.path().isEmpty())
        copy.setPath(QStringLiteral("/"));
    else
        format |= QUrl::NormalizePathSegments;
    return copy.toEncoded(format);
}

// The request as it goes on the wire, or nothing when a field would break it.
std::optional<QByteArray> requestBytes(const HttpClient::Request &request)
{
    if (!isToken(request.method))
        return std::nullopt;
    QByteArray out;
    out.reserve(512 + request.body.size());
    out += request.method + ' ' + requestTarget(request.url) + " HTTP/1.1\r\n";
    if (!hasField(request.fields, "Host"))
        out += "Host: " + hostField(request.url) + "\r\n";
    for (const auto &[name, value] : request.fields) {
        if (name.isEmpty() || !isSafeFieldPart(name) || name.contains(':') || !isSafeFieldPart(value))
            return std::nullopt;
        // The body's length is ours to say.
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0
            || name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
            continue;
        out += name + ": " + value + "\r\n";
    }
    if (!request.body.isEmpty() || request.method == "POST" || request.method == "PUT" || request.method == "PATCH")
        out += "Content-Length: " + QByteArray::number(request.body.size()) + "\r\n";
    if (!hasField(request.fields, "Connection"))
        out += "Connection: Keep-Alive\r\n";
    if (!hasField(request.fields, "Accept-Language"))
        out += "Accept-Language: " + acceptLanguage() + "\r\n";
    if (!hasField(request.fields, "User-Agent"))
        out += "User-Agent: Mozilla/5.0\r\n";
    if (request.cookies && !hasField(request.fields, "Cookie")) {
        QByteArray cookie;
        for (const QNetworkCookie &stored : request.cookies->cookiesForUrl(request.url))
            cookie += (cookie.isEmpty() ? "" : "; ") + stored.toRawForm(QNetworkCookie::NameAndValueOnly);
        if (!cookie.isEmpty() && isSafeFieldPart(cookie))
            out += "Cookie: " + cookie + "\r\n";
    }
    out += "\r\n";
    out += request.body;
    return out;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && portOf(a) == portOf(b);
}

// How long a connection may wait idle for the next exchange, by what the
// reply's "Keep-Alive" field says of it; zero or less: not at all.
std::chrono::milliseconds idleLifetime(const QByteArray &keepAlive)
{
    std::chrono::milliseconds lifetime = kIdleLifetime;
    for (const QByteArray &parameter : keepAlive.split(',')) {
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray name = parameter.left(equals).trimmed().toLower();
        bool ok = false;
        const qint64 value = parameter.mid(equals + 1).trimmed().toLongLong(&ok);
        if (!ok || value < 0)
            continue;
        if (name == "timeout") {
            const std::chrono::milliseconds announced = std::chrono::seconds(std::min<qint64>(value, 24 * 3600));
            lifetime = std::min(lifetime, announced - std::min(kKeepAliveMargin, announced / 2));
        } else if (name == "max" && value == 0) {
            // No requests left on it.
            lifetime = std::chrono::milliseconds(0);
        }
    }
    return lifetime;
}

// The proxy the application has for an address (the system's, when the host
// turned that on), as Qt's own stack would ask for it; a proxy is only ever
// used as a tunnel. Nothing when no proxy it names can be one.
std::optional<QNetworkProxy> proxyFor(const QUrl &url)
{
    // A socket keeps loopback off any proxy by itself.
    if (isLoopbackHost(url.host()))
        return QNetworkProxy(QNetworkProxy::DefaultProxy);
    for (const QNetworkProxy &proxy : QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url))) {
        switch (proxy.type()) {
        case QNetworkProxy::NoProxy:
        case QNetworkProxy::Socks5Proxy: return proxy;
        case QNetworkProxy::HttpProxy:
            if (proxy.capabilities() & QNetworkProxy::TunnelingCapability)
                return proxy;
            break;
        default: break;
        }
    }
    return std::nullopt;
}

qint64 codeForSocketError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return URLErrorCannotConnectToHost;
    case QAbstractSocket::HostNotFoundError: return URLErrorCannotFindHost;
    case QAbstractSocket::RemoteHostClosedError: return URLErrorNetworkConnectionLost;
    case QAbstractSocket::SocketTimeoutError: return URLErrorTimedOut;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError: return URLErrorSecureConnectionFailed;
    default: return URLErrorUnknown;
    }
}

// Qt tells a connection the peer reset from one it closed by no sign at all.
// A second descriptor for the connection, taken while it is open, keeps its
// state readable once Qt has let go of its own.
class EndWatch {
public:
    EndWatch() = default;
    ~EndWatch() { stop(); }
    EndWatch(const EndWatch &) = delete;
    EndWatch &operator=(const EndWatch &) = delete;

    void watch(QAbstractSocket *socket)
    {
        stop();
        if (socket && socket->socketDescriptor() >= 0)
            m_descriptor = ::fcntl(int(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    }
    void stop()
    {
        if (m_descriptor >= 0)
            ::close(std::exchange(m_descriptor, -1));
    }
    // The connection was reset (or failed), not closed: after a close it
    // still waits for our side's end.
    bool wasReset() const
    {
        tcp_info info{};
        socklen_t size = sizeof info;
        return m_descriptor >= 0 && ::getsockopt(m_descriptor, IPPROTO_TCP, TCP_INFO, &info, &size) == 0
            && info.tcpi_state == TCP_CLOSE;
    }

private:
    int m_descriptor = -1;
};

} // namespace

QByteArray fieldValue(const HttpFields &fields, const QByteArray &name)
{
    for (const auto &field : fields)
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    return {};
}

bool hasField(const HttpFields &fields, const QByteArray &name)
{
    for (const auto &field : fields)
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isLoopbackHost(const QString &host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback();
}

QByteArray hostField(const QUrl &url)
{
    const QString host = url.host();
    QByteArray field;
    QHostAddress address;
    if (address.setAddress(host))
        field = address.protocol() == QAbstractSocket::IPv6Protocol ? '[' + host.toLatin1() + ']' : host.toLatin1();
    else
        field = QUrl::toAce(host);
    if (url.port() != -1)
        field += ':' + QByteArray::number(url.port());
    return field;
}

struct HttpPool : std::enable_shared_from_this<HttpPool> {
    struct Idle {
        QAbstractSocket *socket;
        // Owns what watches it while idle, its timer among them.
        QObject *watch;
        SteadyClock::time_point expires;
    };
    std::multimap<QString, Idle> idle;
    std::set<std::shared_ptr<HttpExchange>> active;
    // Per server: the connections carrying an exchange or being opened for
    // one (the idle ones are in `idle`; together never more than the limit),
    // and the exchanges waiting for one, first come first served. A waiter
    // is handed a connection, or null for a place to open its own, and says
    // whether it still wants it.
    std::map<QString, int> busy;
    std::map<QString, std::deque<std::function<bool(QAbstractSocket *)>>> waiting;

    ~HttpPool()
    {
        for (const auto &entry : idle)
            delete entry.second.socket;
    }

    // An exchange is done with its connection to `key`, and hands on
    // `socket` when it can carry another exchange. The first waiter that
    // still wants one has it, or the place it leaves, at once: pooled first,
    // it would be any newcomer's to take, and the waiter would open one more.
    // With no waiter the connection is kept idle until `expires`.
    void release(const QString &key, QAbstractSocket *socket = nullptr, SteadyClock::time_point expires = {})
    {
        auto queue = waiting.find(key);
        while (queue != waiting.end() && !queue->second.empty()) {
            const std::function<bool(QAbstractSocket *)> next = std::move(queue->second.front());
            queue->second.pop_front();
            if (next(socket)) {
                if (queue->second.empty())
                    waiting.erase(queue);
                return;
            }
        }
        if (queue != waiting.end())
            waiting.erase(queue);
        if (auto it = busy.find(key); it != busy.end() && --it->second <= 0)
            busy.erase(it);
        if (socket)
            put(key, socket, expires);
    }

    // An idle connection to `key` still fit for an exchange, or null.
    QAbstractSocket *take(const QString &key)
    {
        auto it = idle.find(key);
        while (it != idle.end() && it->first == key) {
            const Idle entry = it->second;
            it = idle.erase(it);
            delete entry.watch;
            if (SteadyClock::now() < entry.expires && fitForReuse(entry.socket))
                return entry.socket;
            dispose(entry.socket);
        }
        return nullptr;
    }

    void put(const QString &key, QAbstractSocket *socket, SteadyClock::time_point expires)
    {
        // Anything an idle connection hears (more bytes, its end, an error)
        // makes it unfit for another exchange, as does its time running out.
        auto *watch = new QObject(socket);
        const auto drop = [weak = weak_from_this(), socket]() {
            if (auto p = weak.lock())
                p->discard(socket);
        };
        QObject::connect(socket, &QIODevice::readyRead, watch, drop);
        QObject::connect(socket, &QAbstractSocket::disconnected, watch, drop);
        QObject::connect(socket, &QAbstractSocket::errorOccurred, watch, drop);
        auto *timer = new QTimer(watch);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, watch, drop);
        timer->start(std::chrono::duration_cast<std::chrono::milliseconds>(expires - SteadyClock::now()));
        idle.emplace(key, Idle{socket, watch, expires});
    }

    void discard(QAbstractSocket *socket)
    {
        for (auto it = idle.begin(); it != idle.end(); ++it) {
            if (it->second.socket == socket) {
                idle.erase(it);
                dispose(socket);
                return;
            }
        }
    }
};

namespace {

class Exchange final : public HttpExchange, public std::enable_shared_from_this<Exchange> {
public:
    Exchange(std::weak_ptr<HttpPool> pool, HttpClient::Request request, HttpHandler handler)
        : m_pool(std::move(pool)), m_request(std::move(request)), m_handler(std::move(handler)),
          m_url(m_request.url), m_reply(m_request.method == "HEAD")
    {
    }
    ~Exchange() override { closeSocket(); }

    // Begun, or failed, on the next turn: nothing is heard inside start().
    void begin()
    {
        if (aimAt(m_url))
            onNextTurn([](Exchange &e) { e.proceed(); });
        else
            onNextTurn([](Exchange &e) { e.finish(URLErrorUnsupportedURL); });
    }

    void abort(qint64 code) override { finish(code); }

private:
    // While the socket is in one of its own signals it must outlive them.
    struct InSocketCall {
        explicit InSocketCall(Exchange &e) : exchange(e) { ++exchange.m_inSocketCall; }
        ~InSocketCall() { --exchange.m_inSocketCall; }
        Exchange &exchange;
    };
    template <typename F>
    auto heard(F what)
    {
        return [weak = weak_from_this(), what]() {
            if (auto self = weak.lock()) {
                const InSocketCall inCall(*self);
                what(*self);
            }
        };
    }

    template <typename F>
    void onNextTurn(F what)
    {
        QTimer::singleShot(0, &m_timerContext, [weak = weak_from_this(), what] {
            if (auto self = weak.lock())
                what(*self);
        });
    }

    // The request for `url` (the first address, or where a redirect leads),
    // ready to send; false when it is not one this client speaks.
    bool aimAt(const QUrl &url)
    {
        if (!isSpoken(url))
            return false;
        const std::optional<QByteArray> bytes = requestBytes(requestFor(url));
        if (!bytes)
            return false;
        m_url = url;
        m_bytes = *bytes;
        return true;
    }

    HttpClient::Request requestFor(const QUrl &url) const
    {
        HttpClient::Request request = m_request;
        request.url = url;
        if (url != m_request.url) {
            // A redirect is a plain fetch of the new address; a HEAD stays
            // one, as its reply is read as one.
            request.method = m_request.method == "HEAD" ? QByteArray("HEAD") : QByteArray("GET");
            request.body.clear();
        }
        // The caller's credentials are for the origin it asked; as in a
        // browser, they stay behind once a redirect has left it.
        if (m_leftOrigin)
            request.fields.removeIf([](const auto &field) {
                return field.first.compare("Authorization", Qt::CaseInsensitive) == 0;
            });
        return request;
    }

    // Onto an idle connection to the address, else a new one.
    void proceed()
    {
        if (m_done)
            return;
        const std::optional<QNetworkProxy> proxy = proxyFor(m_url);
        if (!proxy) {
            finish(URLErrorUnknown);
            return;
        }
        m_proxy = *proxy;
        m_key = poolKey(m_url, m_proxy);
        auto pool = m_pool.lock();
        QAbstractSocket *reused = std::exchange(m_handedOn, nullptr);
        if (reused && !fitForReuse(reused)) {
            dispose(reused);
            reused = nullptr;
        }
        // An idle connection is one of the server's already: taking it keeps
        // the count.
        if (!reused && pool)
            reused = pool->take(m_key);
        if (pool && !m_holdsConnection) {
            if (!reused && pool->busy[m_key] >= kMaxConnectionsPerServer) {
                pool->waiting[m_key].push_back([weak = weak_from_this()](QAbstractSocket *socket) {
                    auto self = weak.lock();
                    if (!self || self->m_done)
                        return false;
                    self->m_holdsConnection = true;
                    self->m_handedOn = socket;
                    self->onNextTurn([](Exchange &e) { e.proceed(); });
                    return true;
                });
                return;
            }
            ++pool->busy[m_key];
            m_holdsConnection = true;
        }
        if (reused) {
            attach(reused, true);
            send();
        } else {
            connectAnew();
        }
    }

    // This exchange no longer needs a connection to its server.
    void releaseConnection()
    {
        if (!std::exchange(m_holdsConnection, false))
            return;
        if (auto pool = m_pool.lock())
            pool->release(m_key);
    }

    void connectAnew()
    {
        QAbstractSocket *socket = nullptr;
        if (isSecure(m_url)) {
            if (!QSslSocket::supportsSsl()) {
                finish(URLErrorSecureConnectionFailed);
                return;
            }
            socket = new QSslSocket;
        } else {
            socket = new QTcpSocket;
        }
        socket->setReadBufferSize(kSocketReadBuffer);
        socket->setProxy(m_proxy);
        attach(socket, false);
        if (auto *ssl = qobject_cast<QSslSocket *>(socket)) {
            QObject::connect(ssl, &QSslSocket::encrypted, m_context.get(), heard([](Exchange &e) { e.send(); }));
            ssl->connectToHostEncrypted(m_url.host(), portOf(m_url));
        } else {
            QObject::connect(socket, &QAbstractSocket::connected, m_context.get(), heard([](Exchange &e) { e.send(); }));
            socket->connectToHost(m_url.host(), portOf(m_url));
        }
    }

    void attach(QAbstractSocket *socket, bool reused)
    {
        m_socket = socket;
        m_reused = reused;
        m_context = std::make_unique<QObject>();
        QObject::connect(socket, &QIODevice::readyRead, m_context.get(), heard([](Exchange &e) { e.readAvailable(); }));
        QObject::connect(socket, &QIODevice::bytesWritten, m_context.get(), [weak = weak_from_this()](qint64 written) {
            if (auto self = weak.lock()) {
                const InSocketCall inCall(*self);
                self->wrote(written);
            }
        });
        QObject::connect(socket, &QAbstractSocket::disconnected, m_context.get(), heard([](Exchange &e) { e.closedByPeer(); }));
        QObject::connect(socket, &QAbstractSocket::errorOccurred, m_context.get(),
                         [weak = weak_from_this()](QAbstractSocket::SocketError error) {
            if (auto self = weak.lock()) {
                const InSocketCall inCall(*self);
                self->socketError(error);
            }
        });
    }

    void send()
    {
        if (m_done || !m_socket)
            return;
        m_written = 0;
        m_socket->write(m_bytes);
    }

    void wrote(qint64 written)
    {
        if (m_done)
            return;
        m_written += written;
        notify(m_handler.progressed);
        if (m_written >= m_bytes.size()) {
            m_wholeWritten = true;
            if (!std::exchange(m_toldSent, true))
                notify(m_handler.requestSent);
        }
    }

    void readAvailable()
    {
        if (m_done || !m_socket)
            return;
        // Read in slices, stopping as soon as the exchange is over: the
        // socket keeps no more than its buffer, the rest waits in the kernel.
        while (!m_done && m_socket && m_socket->bytesAvailable() > 0) {
            const QByteArray slice = m_socket->read(kSocketReadBuffer);
            if (slice.isEmpty())
                break;
            m_heardReply = true;
            notify(m_handler.progressed);
            if (!take(slice))
                return;
        }
    }

    // The peer closed its side.
    void closedByPeer()
    {
        if (m_done)
            return;
        readAvailable();
        if (m_done)
            return;
        if (m_reply.readsUntilClose()) {
            // A reset is no end: what came may be any part of the body.
            if (m_endWatch.wasReset())
                finish(URLErrorNetworkConnectionLost);
            else
                complete();
            return;
        }
        lost();
    }

    void socketError(QAbstractSocket::SocketError error)
    {
        if (m_done)
            return;
        if (error == QAbstractSocket::RemoteHostClosedError) {
            closedByPeer();
            return;
        }
        finish(codeForSocketError(error));
    }

    // The connection went before the reply was whole.
    void lost()
    {
        // A fetch on a reused connection that the server had already closed
        // goes out once more on a new one; any other request is never sent
        // twice.
        if (m_request.isFetch && m_reused && !m_heardReply && !m_retried) {
            m_retried = true;
            closeSocket();
            resetReading();
            connectAnew();
            return;
        }
        finish(URLErrorNetworkConnectionLost);
    }

    // Feeds bytes to the reading; false once the exchange is over.
    bool take(const QByteArray &bytes)
    {
        qsizetype at = 0;
        while (!m_done) {
            qsizetype taken = 0;
            const HttpReplyParser::Event event = m_reply.read(QByteArrayView(bytes).sliced(at), taken);
            at += taken;
            m_leftInSlice = bytes.size() - at;
            switch (event) {
            case HttpReplyParser::Event::NeedMore: return true;
            case HttpReplyParser::Event::Head:
                if (!headEnded())
                    return false;
                break;
            case HttpReplyParser::Event::Body:
                if (!deliver(bytes.mid(at - m_reply.body().size(), m_reply.body().size())))
                    return false;
                break;
            case HttpReplyParser::Event::End: complete(); return false;
            case HttpReplyParser::Event::Bad: finish(URLErrorBadServerResponse); return false;
            }
        }
        return false;
    }

    bool headEnded()
    {
        const HttpFields &fields = m_reply.fields();
        // A redirect's cookies count too: the next hop may need them.
        if (m_request.cookies && hasField(fields, "Set-Cookie"))
            m_request.cookies->setCookiesFromUrl(QNetworkCookie::parseCookies(fieldValue(fields, "Set-Cookie")), m_url);
        if (m_request.isFetch && isRedirect(m_reply.status()) && hasField(fields, "Location"))
            return redirect(m_url.resolved(QUrl::fromEncoded(fieldValue(fields, "Location"))));
        if (m_handler.head && !m_handler.head(m_reply.status(), fields, m_url)) {
            finish(URLErrorCancelled);
            return false;
        }
        if (m_done)
            return false;
        if (m_reply.readsUntilClose())
            m_endWatch.watch(m_socket);
        return true;
    }

    bool redirect(const QUrl &to)
    {
        if (++m_redirects > kMaxRedirects) {
            finish(URLErrorHTTPTooManyRedirects);
            return false;
        }
        if (!to.isValid() || !m_handler.allowRedirect || !m_handler.allowRedirect(m_url, to)) {
            finish(URLErrorCancelled);
            return false;
        }
        if (m_done)
            return false;
        if (!sameOrigin(m_url, to))
            m_leftOrigin = true;
        // Another scheme is not spoken to as if it were this one.
        if (!aimAt(to)) {
            finish(URLErrorUnsupportedURL);
            return false;
        }
        // What the old address still sends is not read: its connection goes.
        closeSocket();
        releaseConnection();
        resetReading();
        m_retried = false;
        proceed();
        return false;
    }

    bool deliver(const QByteArray &bytes)
    {
        if (bytes.isEmpty() || !m_handler.body)
            return true;
        if (!m_handler.body(bytes)) {
            if (!m_done)
                finish(URLErrorCancelled);
            return false;
        }
        return !m_done;
    }

    // The reply is whole. The connection carries the next exchange when
    // nothing of this one is left on it and both sides meant to keep it.
    void complete()
    {
        const bool exactEnd = m_leftInSlice == 0;
        const std::chrono::milliseconds lifetime = idleLifetime(fieldValue(m_reply.fields(), "Keep-Alive"));
        const bool reusable = exactEnd && m_reply.leavesConnectionOpen() && lifetime.count() > 0
            && !fieldValue(m_request.fields, "Connection").toLower().contains("close") && m_wholeWritten
            && m_socket && m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0
            && m_socket->bytesToWrite() == 0;
        if (reusable) {
            QAbstractSocket *socket = std::exchange(m_socket, nullptr);
            m_context.reset();
            auto pool = m_pool.lock();
            if (pool && std::exchange(m_holdsConnection, false))
                pool->release(m_key, socket, SteadyClock::now() + lifetime);
            else
                dispose(socket);
        }
        finish(std::nullopt);
    }

    void finish(std::optional<qint64> error)
    {
        if (m_done)
            return;
        m_done = true;
        auto self = shared_from_this(); // the pool may hold the last reference
        closeSocket();
        releaseConnection();
        if (!std::exchange(m_toldSent, true))
            notify(m_handler.requestSent);
        // The other handlers stay: one of them may be what called this.
        auto finished = std::move(m_handler.finished);
        if (finished)
            finished(error);
        if (auto pool = m_pool.lock())
            pool->active.erase(self);
    }

    void closeSocket()
    {
        if (QAbstractSocket *handedOn = std::exchange(m_handedOn, nullptr))
            dispose(handedOn);
        m_endWatch.stop();
        m_context.reset();
        if (QAbstractSocket *socket = std::exchange(m_socket, nullptr)) {
            socket->disconnect();
            socket->abort();
            if (m_inSocketCall > 0)
                socket->deleteLater();
            else
                delete socket;
        }
    }

    void resetReading()
    {
        m_reply = HttpReplyParser(m_request.method == "HEAD");
        m_leftInSlice = 0;
        m_heardReply = false;
        m_wholeWritten = false;
        m_written = 0;
    }

    void notify(const std::function<void()> &what)
    {
        if (what)
            what();
    }

    std::weak_ptr<HttpPool> m_pool;
    HttpClient::Request m_request;
    HttpHandler m_handler;
    QUrl m_url;
    QNetworkProxy m_proxy;
    QString m_key;
    QByteArray m_bytes;
    QAbstractSocket *m_socket = nullptr;
    // A connection the exchange before handed on, taken up on the next turn.
    QAbstractSocket *m_handedOn = nullptr;
    // Owns the connections to the socket's signals while it is ours.
    std::unique_ptr<QObject> m_context;
    QObject m_timerContext;
    bool m_reused = false;
    bool m_holdsConnection = false;
    bool m_retried = false;
    bool m_done = false;
    bool m_toldSent = false;
    bool m_wholeWritten = false;
    int m_inSocketCall = 0;
    // What the slice being read holds beyond what has been taken of it.
    qsizetype m_leftInSlice = 0;
    bool m_heardReply = false;
    qint64 m_written = 0;
    int m_redirects = 0;
    // A redirect has led away from the origin first asked.
    bool m_leftOrigin = false;
    HttpReplyParser m_reply;
    EndWatch m_endWatch;
};

} // namespace

HttpClient::HttpClient() : m_pool(std::make_shared<HttpPool>()) {}

HttpClient::~HttpClient()
{
    // Every exchange still under way ends with a cancel, so its owner hears
    // its end exactly once.
    const auto active = m_pool->active;
    for (const auto &exchange : active)
        exchange->abort(URLErrorCancelled);
}

std::shared_ptr<HttpExchange> HttpClient::start(Request request, HttpHandler handler)
{
    auto exchange = std::make_shared<Exchange>(m_pool, std::move(request), std::move(handler));
    m_pool->active.insert(exchange);
    exchange->begin();
    return exchange;
}

} // namespace kova::platform::internal
