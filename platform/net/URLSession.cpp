#include "platform/net/URLSession.h"
#include "platform/net/internal/HttpClient.h"
#include "platform/net/internal/ReplyBody.h"
#include "platform/net/internal/SharedSessionReset.h"

#include <QCoreApplication>
#include <QNetworkCookieJar>
#include <map>
#include <utility>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/net/DeadlineWatch.h"

namespace kova::platform {

QByteArray URLRequest::value(const QByteArray &field) const
{
    return internal::fieldValue(headerFields, field);
}

bool URLRequest::hasValue(const QByteArray &field) const
{
    return internal::hasField(headerFields, field);
}

void URLRequest::setValue(const QByteArray &value, const QByteArray &field)
{
    for (auto &header : headerFields) {
        if (header.first.compare(field, Qt::CaseInsensitive) == 0) {
            header.second = value;
            return;
        }
    }
    headerFields.append({field, value});
}

Error urlError(qint64 code, const QUrl &failingURL)
{
    QString description;
    switch (code) {
    case URLErrorTimedOut: description = QStringLiteral("The request timed out."); break;
    case URLErrorUnsupportedURL: description = QStringLiteral("unsupported URL"); break;
    case URLErrorCannotFindHost: description = QStringLiteral("A server with the specified hostname could not be found."); break;
    case URLErrorCannotConnectToHost: description = QStringLiteral("Could not connect to the server."); break;
    case URLErrorNetworkConnectionLost: description = QStringLiteral("The network connection was lost."); break;
    case URLErrorHTTPTooManyRedirects: description = QStringLiteral("too many HTTP redirects"); break;
    case URLErrorNotConnectedToInternet: description = QStringLiteral("The Internet connection appears to be offline."); break;
    case URLErrorBadServerResponse: description = QStringLiteral("The server returned an invalid response."); break;
    case URLErrorCannotDecodeContentData: description = QStringLiteral("cannot decode content data"); break;
    case URLErrorSecureConnectionFailed:
        description = QStringLiteral("An SSL error has occurred and a secure connection to the server cannot be made.");
        break;
    case URLErrorCancelled: description = QStringLiteral("cancelled"); break;
    case URLErrorAppTransportSecurityRequiresSecureConnection:
        description = QStringLiteral("The resource could not be loaded because the App Transport Security policy "
                                     "requires the use of a secure connection.");
        break;
    case URLErrorDataLengthExceedsMaximum: description = QStringLiteral("resource exceeds maximum size"); break;
    default: description = QStringLiteral("An unknown error occurred."); break;
    }
    return Error(NSURLErrorDomain, code,
                 {{NSLocalizedDescriptionKey, description},
                  {QStringLiteral("NSErrorFailingURLStringKey"), failingURL.toString()}});
}

namespace {

// Bodies not yet read out to the network, and who waits for them (main thread).
struct UnsentBodies {
    int count = 0;
    std::vector<std::function<void()>> waiting;

    static UnsentBodies &instance()
    {
        static UnsentBodies unsent;
        return unsent;
    }
    void add() { ++count; }
    void sent()
    {
        if (--count > 0)
            return;
        for (auto &done : std::exchange(waiting, {}))
            MainQueue::async(std::move(done));
    }
};

// Aborting finishes an exchange at once, which edits the list of those in
// flight: a copy of it is walked instead.
void abortEach(const std::vector<std::shared_ptr<internal::HttpExchange>> &exchanges, qint64 code)
{
    for (const auto &exchange : exchanges)
        exchange->abort(code);
}

bool isIdempotent(const QByteArray &method)
{
    return method == "GET" || method == "HEAD" || method == "OPTIONS";
}

// Far beyond any picture a screen shows.
constexpr qint64 kSharedSessionMaximumReplyBytes = 16ll * 1024 * 1024;

} // namespace

bool isAllowedByTransportSecurity(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return true;
    if (internal::isLoopbackHost(url.host()))
        return true;
    return ProcessInfo::environmentValue("KOVA_ALLOWS_ARBITRARY_LOADS").compare(QLatin1String("YES"), Qt::CaseInsensitive)
        == 0;
}

namespace {
// Lives until the application object goes: its connections belong to the
// application's event loop and are closed while it still exists.
URLSession *s_shared = nullptr;
} // namespace

URLSession &URLSession::shared()
{
    if (!s_shared) {
        // It fetches pictures and pages' assets: a reply far beyond any of
        // them is refused as soon as its length is known, not read whole.
        URLSessionConfiguration configuration;
        configuration.maximumReplyBytes = kSharedSessionMaximumReplyBytes;
        s_shared = new URLSession(configuration);
        static const bool endsWithTheApplication = [] {
            qAddPostRoutine(&internal::resetSharedURLSession);
            return true;
        }();
        Q_UNUSED(endsWithTheApplication);
    }
    return *s_shared;
}

void internal::resetSharedURLSession()
{
    delete s_shared;
    s_shared = nullptr;
}

using SteadyClock = std::chrono::steady_clock;

// The exchanges in flight with their two deadlines: the whole exchange, and
// the next bytes (pushed back by every sign of progress).
struct URLSession::Timing {
    struct InFlight {
        std::shared_ptr<internal::HttpExchange> exchange;
        SteadyClock::time_point resourceDeadline;
        SteadyClock::time_point idleDeadline;
    };
    std::map<quint64, InFlight> inFlight;
    quint64 nextTask = 1;
    std::optional<SteadyClock::time_point> watchingUntil;
};

URLSession::URLSession(URLSessionConfiguration configuration)
    : m_configuration(configuration), m_client(std::make_unique<internal::HttpClient>()),
      m_cookies(std::make_shared<QNetworkCookieJar>()), m_timing(std::make_shared<Timing>())
{
}

URLSession::~URLSession()
{
    // In-flight exchanges end with an error rather than vanish: every
    // completion runs exactly once.
    std::vector<std::shared_ptr<internal::HttpExchange>> exchanges;
    for (const auto &entry : m_timing->inFlight)
        exchanges.push_back(entry.second.exchange);
    abortEach(exchanges, URLErrorTimedOut);
}

void URLSession::watchUntil(SteadyClock::time_point when)
{
    // One wake-up at a time: the earliest deadline of the exchanges.
    if (m_timing->watchingUntil && *m_timing->watchingUntil <= when)
        return;
    m_timing->watchingUntil = when;
    // The session is known only through its timing: a session gone by then
    // has nothing left to check.
    DeadlineWatch::at(when, [this, timing = std::weak_ptr<Timing>(m_timing), when]() {
        auto t = timing.lock();
        if (!t || t->watchingUntil != when)
            return;
        t->watchingUntil.reset();
        checkDeadlines();
    });
}

void URLSession::checkDeadlines()
{
    const SteadyClock::time_point now = SteadyClock::now();
    std::optional<SteadyClock::time_point> next;
    std::vector<std::shared_ptr<internal::HttpExchange>> expired;
    for (const auto &[task, entry] : m_timing->inFlight) {
        const SteadyClock::time_point due = std::min(entry.resourceDeadline, entry.idleDeadline);
        if (due <= now)
            expired.push_back(entry.exchange);
        else if (!next || due < *next)
            next = due;
    }
    abortEach(expired, URLErrorTimedOut);
    if (next)
        watchUntil(*next);
}

void URLSession::whenRequestBodiesSent(std::function<void()> done)
{
    UnsentBodies &unsent = UnsentBodies::instance();
    if (unsent.count > 0)
        unsent.waiting.push_back(std::move(done));
    else
        MainQueue::async(std::move(done));
}

void URLSession::dataTask(const URLRequest &request, DataTaskCompletion completion)
{
    if (!isAllowedByTransportSecurity(request.url)) {
        const Error error = urlError(URLErrorAppTransportSecurityRequiresSecureConnection, request.url);
        MainQueue::async([completion = std::move(completion), error]() { completion({}, std::nullopt, error); });
        return;
    }

    const qint64 maximum = m_configuration.maximumReplyBytes;
    internal::HttpClient::Request exchange;
    exchange.method = request.httpMethod;
    exchange.url = request.url;
    exchange.fields = request.headerFields;
    exchange.body = request.httpBody;
    // A packed reply is unpacked piece by piece, within the bound; a caller
    // that named the encodings it takes gets the bytes as sent.
    const bool unpacks = maximum > 0 && !request.hasValue("Accept-Encoding");
    if (unpacks)
        exchange.fields.append({QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("gzip, deflate")});
    // A fetch follows redirects, as long as each new address is one this
    // session would have been allowed to ask for itself and is no less safe;
    // a call with a body never does (it would silently turn into a GET).
    exchange.isFetch = isIdempotent(request.httpMethod) && request.httpBody.isEmpty();
    exchange.cookies = m_cookies;

    // What the exchange has told so far, and why it was given up, if it was.
    struct Reading {
        explicit Reading(qint64 maximum) : body(maximum) {}
        internal::ReplyBody body;
        std::optional<HTTPURLResponse> response;
        std::optional<qint64> refusal;
    };
    auto reading = std::make_shared<Reading>(maximum);
    const quint64 task = m_timing->nextTask++;
    const auto idle = m_configuration.timeoutIntervalForRequest;
    const std::weak_ptr<Timing> timing = m_timing;

    internal::HttpHandler handler;
    // Each hop is held to the one before it: no step from https down to http.
    handler.allowRedirect = [reading](const QUrl &from, const QUrl &to) {
        const bool downgrade = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
            && to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
        if (!downgrade && isAllowedByTransportSecurity(to))
            return true;
        reading->refusal = URLErrorAppTransportSecurityRequiresSecureConnection;
        return false;
    };
    handler.head = [reading, maximum, unpacks](int status, const internal::HttpFields &fields, const QUrl &url) {
        HTTPURLResponse response;
        response.url = url;
        response.statusCode = status;
        response.headerFields = fields;
        // Refused as soon as it is known to be too long.
        if (maximum > 0) {
            bool known = false;
            const qint64 length = internal::fieldValue(fields, "Content-Length").trimmed().toLongLong(&known);
            if (known && length > maximum) {
                reading->refusal = URLErrorDataLengthExceedsMaximum;
                return false;
            }
        }
        reading->body.setContentEncoding(unpacks ? internal::fieldValue(fields, "Content-Encoding") : QByteArray());
        reading->response = std::move(response);
        return true;
    };
    // The body is taken in as it comes, and the socket read no faster.
    handler.body = [reading](const QByteArray &bytes) {
        switch (reading->body.append(bytes)) {
        case internal::ReplyBody::State::Reading: return true;
        case internal::ReplyBody::State::TooLarge: reading->refusal = URLErrorDataLengthExceedsMaximum; break;
        case internal::ReplyBody::State::Undecodable: reading->refusal = URLErrorCannotDecodeContentData; break;
        }
        return false;
    };
    handler.progressed = [timing, task, idle]() {
        if (auto t = timing.lock())
            if (auto it = t->inFlight.find(task); it != t->inFlight.end())
                it->second.idleDeadline = SteadyClock::now() + idle;
    };
    if (!request.httpBody.isEmpty()) {
        UnsentBodies::instance().add();
        handler.requestSent = []() { UnsentBodies::instance().sent(); };
    }
    handler.finished = [reading, timing, task, url = request.url,
                        completion = std::move(completion)](std::optional<qint64> failure) mutable {
        if (auto t = timing.lock())
            t->inFlight.erase(task);
        std::optional<HTTPURLResponse> response;
        std::optional<Error> error;
        QByteArray data;
        if (reading->refusal) {
            error = urlError(*reading->refusal, url);
        } else if (failure) {
            error = urlError(*failure, url);
        } else {
            switch (reading->body.finish()) {
            case internal::ReplyBody::State::Reading:
                response = std::move(reading->response);
                data = reading->body.take();
                break;
            case internal::ReplyBody::State::TooLarge: error = urlError(URLErrorDataLengthExceedsMaximum, url); break;
            case internal::ReplyBody::State::Undecodable: error = urlError(URLErrorCannotDecodeContentData, url); break;
            }
        }
        // Completions never run inside the reading of a socket.
        MainQueue::async([completion = std::move(completion), data = std::move(data), response = std::move(response),
                          error = std::move(error)]() { completion(data, response, error); });
    };

    const SteadyClock::time_point now = SteadyClock::now();
    Timing::InFlight entry{m_client->start(std::move(exchange), std::move(handler)),
                           now + m_configuration.timeoutIntervalForResource, now + idle};
    m_timing->inFlight.emplace(task, entry);
    watchUntil(std::min(entry.resourceDeadline, entry.idleDeadline));
}

} // namespace kova::platform
