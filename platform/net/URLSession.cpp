#include "platform/net/URLSession.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <climits>

#include "platform/dispatch/MainQueue.h"

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
    case URLErrorSecureConnectionFailed:
        description = QStringLiteral("An SSL error has occurred and a secure connection to the server cannot be made.");
        break;
    case URLErrorCancelled: description = QStringLiteral("cancelled"); break;
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
    case QNetworkReply::RemoteHostClosedError: return URLErrorNetworkConnectionLost;
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

} // namespace

URLSession &URLSession::shared()
{
    static URLSession *session = new URLSession(); // lives for the process
    return *session;
}

URLSession::URLSession(URLSessionConfiguration configuration)
    : m_configuration(configuration), m_manager(std::make_unique<QNetworkAccessManager>())
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

void URLSession::dataTask(const URLRequest &request, DataTaskCompletion completion)
{
    QNetworkRequest qrequest(request.url);
    for (const auto &[name, value] : request.headerFields)
        qrequest.setRawHeader(name, value);
    qrequest.setTransferTimeout(int(std::min<qint64>(m_configuration.timeoutIntervalForRequest.count(), INT_MAX)));

    QNetworkReply *reply = m_manager->sendCustomRequest(qrequest, request.httpMethod, request.httpBody);

    auto *resourceTimer = new QTimer(reply);
    resourceTimer->setSingleShot(true);
    QObject::connect(resourceTimer, &QTimer::timeout, reply, &QNetworkReply::abort);
    resourceTimer->start(std::min<qint64>(m_configuration.timeoutIntervalForResource.count(), INT_MAX));

    const QUrl url = request.url;
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, url, completion = std::move(completion)]() {
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        std::optional<HTTPURLResponse> response;
        std::optional<Error> error;
        QByteArray data;
        // Qt flags 4xx and 5xx as errors; for us a status is a reply like any other.
        if (status.isValid() && isHttpStatusError(reply->error())) {
            HTTPURLResponse r;
            r.url = reply->url();
            r.statusCode = status.toInt();
            for (const auto &pair : reply->rawHeaderPairs())
                r.headerFields.append(pair);
            response = r;
            data = reply->readAll();
        } else {
            error = urlError(codeFor(reply->error()), url);
        }
        // Completions never run inside Qt's signal emission.
        MainQueue::async([completion, data, response, error]() { completion(data, response, error); });
    });
}

} // namespace kova::platform
