#include "platform/net/URLSession.h"
#include "platform/net/internal/ReplyBody.h"
#include "platform/net/internal/SharedSessionReset.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <map>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/net/DeadlineWatch.h"

namespace kova::platform {

QByteArray URLRequest::value(const QByteArray &field) const
{
    for (const auto &[name, value] : headerFields)
        if (name.compare(field, Qt::CaseInsensitive) == 0)
            return value;
    return QByteArray();
}

bool URLRequest::hasValue(const QByteArray &field) const
{
    for (const auto &header : headerFields)
        if (header.first.compare(field, Qt::CaseInsensitive) == 0)
            return true;
    return false;
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

qint64 codeFor(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError: return URLErrorCannotConnectToHost;
    case QNetworkReply::HostNotFoundError: return URLErrorCannotFindHost;
    case QNetworkReply::SslHandshakeFailedError: return URLErrorSecureConnectionFailed;
    case QNetworkReply::RemoteHostClosedError:
    // The connection closed after the body had gone out, and the body refused
    // to be sent again.
    case QNetworkReply::ContentReSendError: return URLErrorNetworkConnectionLost;
    // Our own time-outs abort the reply, which Qt reports as a cancel.
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: return URLErrorTimedOut;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError: return URLErrorNotConnectedToInternet;
    case QNetworkReply::ProtocolUnknownError: return URLErrorUnsupportedURL;
    case QNetworkReply::ProtocolFailure: return URLErrorBadServerResponse;
    default: return URLErrorUnknown;
    }
}

// Qt reports an HTTP error status through these codes; the reply itself is intact.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    return error == QNetworkReply::NoError
        || (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || error == QNetworkReply::ProtocolInvalidOperationError
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

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

// A request body that can be read through once. Qt's HTTP stack sends a
// request again on a new connection when the one it used closes before the
// reply, which for a reused keep-alive connection can happen after the server
// has read and acted on the whole request. Refusing to rewind makes that
// second sending fail instead, so a request reaches the server at most once;
// the connection is still reused for the requests that follow.
class OnceReadBody : public QIODevice {
public:
    OnceReadBody(QByteArray data, QObject *parent) : QIODevice(parent), m_data(std::move(data))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        if (!m_data.isEmpty())
            UnsentBodies::instance().add();
        else
            m_counted = false;
    }
    ~OnceReadBody() override { markSent(); }
    bool isSequential() const override { return true; }
    qint64 size() const override { return m_data.size(); }
    qint64 bytesAvailable() const override { return m_data.size() - m_position; }
    bool atEnd() const override { return m_position >= m_data.size(); }
    // Rewinding is fine until the first byte has been handed out.
    bool reset() override { return m_position == 0; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, m_data.size() - m_position);
        if (count <= 0)
            return -1;
        std::memcpy(data, m_data.constData() + m_position, size_t(count));
        m_position += count;
        if (m_position == m_data.size())
            markSent();
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    void markSent()
    {
        if (!std::exchange(m_counted, false))
            return;
        if (MainQueue::isMainThread())
            UnsentBodies::instance().sent();
        else
            MainQueue::async([] { UnsentBodies::instance().sent(); });
    }

    QByteArray m_data;
    qint64 m_position = 0;
    bool m_counted = true;
};

bool isIdempotent(const QByteArray &method)
{
    return method == "GET" || method == "HEAD" || method == "OPTIONS";
}

const char *const kTooLargeProperty = "kovaReplyTooLarge";
const char *const kUndecodableProperty = "kovaReplyUndecodable";
// What Qt may hold of a bounded reply before it is read out: its network
// thread stops taking in more until this much has been read.
constexpr qint64 kBoundedReadBuffer = 64 * 1024;
const char *const kRefusedRedirectProperty = "kovaRefusedRedirect";
// Far beyond any picture a screen shows.
constexpr qint64 kSharedSessionMaximumReplyBytes = 16ll * 1024 * 1024;

} // namespace

bool isAllowedByTransportSecurity(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return true;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback())
        return true;
    return ProcessInfo::environmentValue("KOVA_ALLOWS_ARBITRARY_LOADS").compare(QLatin1String("YES"), Qt::CaseInsensitive)
        == 0;
}

namespace {
// Lives until the application object goes: its network thread must not
// outlive the application, or an event that thread still handles as the
// process exits finds no application and crashes it.
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
        QPointer<QNetworkReply> reply;
        SteadyClock::time_point resourceDeadline;
        SteadyClock::time_point idleDeadline;
    };
    std::map<QNetworkReply *, InFlight> inFlight;
    std::optional<SteadyClock::time_point> watchingUntil;
};

URLSession::URLSession(URLSessionConfiguration configuration)
    : m_configuration(configuration), m_manager(std::make_unique<QNetworkAccessManager>()),
      m_timing(std::make_shared<Timing>())
{
    // Redirects would silently turn a POST into something else.
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

URLSession::~URLSession()
{
    // In-flight exchanges end with an error rather than vanish: every
    // completion runs exactly once.
    for (QNetworkReply *reply : m_manager->findChildren<QNetworkReply *>())
        reply->abort();
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
    QList<QPointer<QNetworkReply>> expired;
    for (const auto &[reply, entry] : m_timing->inFlight) {
        const SteadyClock::time_point due = std::min(entry.resourceDeadline, entry.idleDeadline);
        if (due <= now)
            expired.append(entry.reply);
        else if (!next || due < *next)
            next = due;
    }
    // Aborting finishes the reply at once, which edits the list: done last.
    for (const auto &reply : expired)
        if (reply)
            reply->abort();
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

    QNetworkRequest qrequest(request.url);
    for (const auto &[name, value] : request.headerFields)
        qrequest.setRawHeader(name, value);
    const qint64 maximum = m_configuration.maximumReplyBytes;
    // Qt unpacks a packed reply whole before the bound could see it (and
    // fails one packed very tightly, even far within the bound): a bounded
    // session unpacks it itself, piece by piece. A caller that named the
    // encodings it takes gets the bytes as sent.
    const bool unpacks = maximum > 0 && !request.hasValue("Accept-Encoding");
    if (unpacks)
        qrequest.setRawHeader("Accept-Encoding", "gzip, deflate");

    QNetworkReply *reply = nullptr;
    const bool idempotent = isIdempotent(request.httpMethod) && request.httpBody.isEmpty();
    if (idempotent) {
        // A fetch follows redirects, as long as each new address is one this
        // session would have been allowed to ask for itself and is no less
        // safe; a POST never does (it would silently turn into a GET).
        qrequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
        reply = m_manager->sendCustomRequest(qrequest, request.httpMethod, request.httpBody);
        QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, from = request.url](const QUrl &to) {
            const bool downgrade = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
                && to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
            if (!downgrade && isAllowedByTransportSecurity(to)) {
                emit reply->redirectAllowed();
                return;
            }
            reply->setProperty(kRefusedRedirectProperty, true);
            reply->abort();
        });
    } else {
        // Streamed from the device (not copied into Qt's own rewindable
        // buffer), which needs the length up front.
        qrequest.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
        qrequest.setHeader(QNetworkRequest::ContentLengthHeader, request.httpBody.size());
        auto *body = new OnceReadBody(request.httpBody, nullptr);
        reply = m_manager->sendCustomRequest(qrequest, request.httpMethod, body);
        body->setParent(reply);
    }

    // The network thread then reads no further ahead of what is taken out
    // below. Qt hands the size to its network thread when the exchange
    // starts, on a later turn, but not for a request with a body; set again
    // once it has started, the size reaches that thread ahead of the reply.
    if (maximum > 0) {
        reply->setReadBufferSize(kBoundedReadBuffer);
        QMetaObject::invokeMethod(reply, [reply]() { reply->setReadBufferSize(kBoundedReadBuffer); }, Qt::QueuedConnection);
    }

    const SteadyClock::time_point now = SteadyClock::now();
    const auto idle = m_configuration.timeoutIntervalForRequest;
    Timing::InFlight entry{reply, now + m_configuration.timeoutIntervalForResource, now + idle};
    m_timing->inFlight.emplace(reply, entry);
    watchUntil(std::min(entry.resourceDeadline, entry.idleDeadline));
    auto progressed = [timing = std::weak_ptr<Timing>(m_timing), reply, idle]() {
        if (auto t = timing.lock())
            if (auto it = t->inFlight.find(reply); it != t->inFlight.end())
                it->second.idleDeadline = SteadyClock::now() + idle;
    };
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, progressed);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, progressed);

    // The body is taken out as it arrives, so what Qt holds stays small.
    auto body = std::make_shared<internal::ReplyBody>(maximum);
    auto readBody = [reply, body, unpacks]() {
        if (!body->encodingKnown())
            body->setContentEncoding(unpacks ? reply->rawHeader("Content-Encoding") : QByteArray());
        while (body->state() == internal::ReplyBody::State::Reading && reply->bytesAvailable() > 0)
            body->append(reply->read(kBoundedReadBuffer));
        return body->state();
    };
    // Marks why the reply was given up, for the completion to report.
    auto refuse = [reply](const char *why) {
        reply->setProperty(why, true);
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [readBody, refuse]() {
        switch (readBody()) {
        case internal::ReplyBody::State::Reading: break;
        case internal::ReplyBody::State::TooLarge: refuse(kTooLargeProperty); break;
        case internal::ReplyBody::State::Undecodable: refuse(kUndecodableProperty); break;
        }
    });

    if (maximum > 0) {
        // Stopped as soon as the reply is known to be too long: by its
        // declared length, else by what has arrived.
        auto tooLarge = [refuse]() { refuse(kTooLargeProperty); };
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maximum, tooLarge]() {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > maximum)
                tooLarge();
        });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [maximum, tooLarge](qint64 received, qint64) {
            if (received > maximum)
                tooLarge();
        });
    }

    const QUrl url = request.url;
    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, url, body, readBody, timing = std::weak_ptr<Timing>(m_timing),
                      completion = std::move(completion)]() mutable {
        if (!completion)
            return; // told once already
        if (auto t = timing.lock())
            t->inFlight.erase(reply);
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool refused = reply->property(kTooLargeProperty).toBool() || reply->property(kUndecodableProperty).toBool()
            || reply->property(kRefusedRedirectProperty).toBool();
        internal::ReplyBody::State state = body->state();
        if (!refused && status.isValid() && isHttpStatusError(reply->error())) {
            readBody();
            state = body->finish();
        }
        std::optional<HTTPURLResponse> response;
        std::optional<Error> error;
        QByteArray data;
        if (reply->property(kTooLargeProperty).toBool() || state == internal::ReplyBody::State::TooLarge) {
            error = urlError(URLErrorDataLengthExceedsMaximum, url);
        } else if (reply->property(kUndecodableProperty).toBool() || state == internal::ReplyBody::State::Undecodable) {
            error = urlError(URLErrorCannotDecodeContentData, url);
        } else if (reply->property(kRefusedRedirectProperty).toBool()) {
            error = urlError(URLErrorAppTransportSecurityRequiresSecureConnection, url);
        } else if (status.isValid() && isHttpStatusError(reply->error())) {
            // Qt flags 4xx and 5xx as errors; for us a status is a reply like any other.
            HTTPURLResponse r;
            r.url = reply->url();
            r.statusCode = status.toInt();
            for (const auto &pair : reply->rawHeaderPairs())
                r.headerFields.append(pair);
            response = r;
            data = body->take();
        } else {
            error = urlError(codeFor(reply->error()), url);
        }
        // Completions never run inside Qt's signal emission. Posted before the
        // reply is let go of, so the caller has its result ahead of Qt taking
        // the exchange apart (tens of microseconds) rather than after it.
        MainQueue::async([completion = std::move(completion), data = std::move(data), response = std::move(response),
                          error = std::move(error)]() { completion(data, response, error); });
        reply->deleteLater();
    });
}

} // namespace kova::platform
