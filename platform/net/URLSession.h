#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

class QNetworkCookieJar;


namespace kova::platform {

namespace internal {
class HttpClient;
}

using HeaderFields = QList<QPair<QByteArray, QByteArray>>;

struct URLRequest {
    QUrl url;
    QByteArray httpMethod = QByteArrayLiteral("POST");
    HeaderFields headerFields; // in the order they were set
    QByteArray httpBody;

    // Header names compare case-insensitively, as HTTP says.
    QByteArray value(const QByteArray &field) const;
    bool hasValue(const QByteArray &field) const;
    // Replaces an existing field of that name (any case) or appends it.
    void setValue(const QByteArray &value, const QByteArray &field);
};

struct HTTPURLResponse {
    QUrl url;
    int statusCode = 0;
    HeaderFields headerFields;

    bool hasSuccessStatus() const { return statusCode >= 200 && statusCode <= 299; }
};

struct URLSessionConfiguration {
    // Longest wait for the next bytes of a reply.
    std::chrono::milliseconds timeoutIntervalForRequest{std::chrono::seconds(60)};
    // Longest time for the whole exchange.
    std::chrono::milliseconds timeoutIntervalForResource{std::chrono::hours(24 * 7)};
    // Longest reply body read into memory; 0 reads any size. A longer reply
    // fails with URLErrorDataLengthExceedsMaximum as soon as it is known to be.
    // The bound holds for a packed (gzip, deflate) reply once unpacked, and
    // the reply is taken in only as fast as it is read, so memory stays near
    // the bound however fast the server sends.
    qint64 maximumReplyBytes = 0;
};

// (data, response, error): data is empty and error set on a transport
// failure; an HTTP status of any value is a response, never an error.
using DataTaskCompletion =
    std::function<void(const QByteArray &data, const std::optional<HTTPURLResponse> &response,
                       const std::optional<Error> &error)>;

// Transport error codes of the "NSURLErrorDomain", kept so hosts can match them.
enum URLErrorCode : qint64 {
    URLErrorUnknown = -1,
    URLErrorCancelled = -999,
    URLErrorTimedOut = -1001,
    URLErrorUnsupportedURL = -1002,
    URLErrorCannotFindHost = -1003,
    URLErrorCannotConnectToHost = -1004,
    URLErrorNetworkConnectionLost = -1005,
    URLErrorHTTPTooManyRedirects = -1007,
    URLErrorNotConnectedToInternet = -1009,
    URLErrorBadServerResponse = -1011,
    URLErrorCannotDecodeContentData = -1016,
    URLErrorAppTransportSecurityRequiresSecureConnection = -1022,
    URLErrorDataLengthExceedsMaximum = -1103,
    URLErrorSecureConnectionFailed = -1200,
};

// Plain http goes only to loopback hosts unless the host application opts in
// with the environment variable "KOVA_ALLOWS_ARBITRARY_LOADS" set to "YES"
// (any case); any other address fails at once with
// URLErrorAppTransportSecurityRequiresSecureConnection.
bool isAllowedByTransportSecurity(const QUrl &url);

Error urlError(qint64 code, const QUrl &failingURL);

// Asynchronous HTTP/1.1 (plain or over TLS) on the main loop, keeping
// connections alive between exchanges and the cookies its servers set. A
// session belongs to the main thread: it is made, used and destroyed there,
// and completions run on the main loop.
class URLSession {
public:
    static URLSession &shared();

    explicit URLSession(URLSessionConfiguration configuration = {});
    ~URLSession();
    URLSession(const URLSession &) = delete;
    URLSession &operator=(const URLSession &) = delete;

    const URLSessionConfiguration &configuration() const { return m_configuration; }

    // Starts the exchange at once; the completion runs exactly once, on a
    // later turn of the main loop. A call with a body reaches the server at
    // most once: when its connection closes before the reply it is never sent
    // again but fails with URLErrorNetworkConnectionLost. A fetch whose reused
    // connection turns out closed before any reply goes out once more on a
    // new one.
    void dataTask(const URLRequest &request, DataTaskCompletion completion);

    // Runs `done` on the main thread once the body of every request started
    // so far, by any session, has been handed to the network (or its
    // exchange has ended without it); with none under way, on the next turn.
    // A body goes out from the main loop once its connection is up, so work
    // that would hold the main loop up can wait for this instead of holding
    // up the request. Main thread only.
    static void whenRequestBodiesSent(std::function<void()> done);

private:
    struct Timing;
    // Aborts the exchanges whose time is up and asks to be called again at
    // the next deadline.
    void checkDeadlines();
    void watchUntil(std::chrono::steady_clock::time_point when);

    URLSessionConfiguration m_configuration;
    std::unique_ptr<internal::HttpClient> m_client;
    // The cookies its servers set, kept for the session's life and sent back
    // to them.
    std::shared_ptr<QNetworkCookieJar> m_cookies;
    std::shared_ptr<Timing> m_timing;
};

} // namespace kova::platform
