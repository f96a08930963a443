#include "sandbox/HttpRequestReader.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QUrl>

#include <cctype>
#include <optional>
#include <utility>

namespace kova::sandbox {

namespace {

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

// Request targets in origin form only: "/path?query", visible ASCII.
bool isOriginTarget(const QByteArray &target)
{
    if (!target.startsWith('/'))
        return false;
    for (char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f)
            return false;
    }
    return true;
}

bool isFieldValue(const QByteArray &value)
{
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7f)
            return false;
    }
    return true;
}

bool hasConnectionToken(const QByteArray &value, const QByteArray &token)
{
    for (const QByteArray &part : value.split(',')) {
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The end of the head (index just past the blank line) and the size of the
// terminator found, or -1. Bare LF line ends are tolerated, as RFC 9112 allows.
qsizetype headEnd(const QByteArray &buffer)
{
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer.at(i) != '\n')
            continue;
        qsizetype j = i + 1;
        if (j < buffer.size() && buffer.at(j) == '\r')
            ++j;
        if (j < buffer.size() && buffer.at(j) == '\n')
            return j + 1;
    }
    return -1;
}

} // namespace

HttpRequestReader::HttpRequestReader() : HttpRequestReader(Limits{}) {}

HttpRequestReader::HttpRequestReader(Limits limits) : m_limits(limits) {}

void HttpRequestReader::append(const QByteArray &data)
{
    if (m_phase != Phase::Failed)
        m_buffer.append(data);
}

HttpRequestReader::Status HttpRequestReader::next()
{
    if (m_phase == Phase::Failed)
        return Status::Failed;
    if (m_phase == Phase::Head) {
        const Status status = readHead();
        if (status != Status::Ready)
            return status;
    }
    return readBody();
}

RecordedRequest HttpRequestReader::takeRequest()
{
    return std::exchange(m_ready, RecordedRequest{});
}

bool HttpRequestReader::takeContinueRequest()
{
    return std::exchange(m_continuePending, false);
}

HttpRequestReader::Status HttpRequestReader::fail(int status, const QByteArray &reason)
{
    m_phase = Phase::Failed;
    m_failureStatus = status;
    m_failureReason = reason;
    m_buffer.clear();
    m_keepAlive = false;
    return Status::Failed;
}

HttpRequestReader::Status HttpRequestReader::readHead()
{
    // Empty lines ahead of a request line are ignored (RFC 9112 2.2), within
    // the same bound as the head itself.
    qsizetype skip = 0;
    while (skip < m_buffer.size() && (m_buffer.at(skip) == '\r' || m_buffer.at(skip) == '\n'))
        ++skip;
    if (skip > 0) {
        if (skip > m_limits.maxHeadBytes)
            return fail(400, "Bad Request");
        m_buffer.remove(0, skip);
    }
    if (m_buffer.isEmpty())
        return Status::NeedMore;

    const qsizetype end = headEnd(m_buffer);
    if (end < 0) {
        if (m_buffer.size() > m_limits.maxHeadBytes)
            return fail(431, "Request head too large");
        return Status::NeedMore;
    }
    if (end > m_limits.maxHeadBytes)
        return fail(431, "Request head too large");

    const QByteArray head = m_buffer.left(end);
    m_buffer.remove(0, end);

    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return fail(400, "Missing request line");

    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3)
        return fail(400, "Malformed request line");
    const QByteArray &method = parts.at(0);
    const QByteArray &target = parts.at(1);
    const QByteArray &version = parts.at(2);
    if (!isToken(method))
        return fail(400, "Malformed method");
    if (!isOriginTarget(target))
        return fail(400, "Malformed request target");
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        const bool looksLikeHttp = version.size() == 8 && version.startsWith("HTTP/")
                && std::isdigit(static_cast<unsigned char>(version.at(5))) && version.at(6) == '.'
                && std::isdigit(static_cast<unsigned char>(version.at(7)));
        return looksLikeHttp ? fail(505, "HTTP version not supported") : fail(400, "Malformed HTTP version");
    }

    RecordedRequest request;
    request.method = QString::fromLatin1(method);
    const qsizetype question = target.indexOf('?');
    const QByteArray rawPath = question < 0 ? target : target.left(question);
    request.path = QString::fromUtf8(QByteArray::fromPercentEncoding(rawPath));
    if (question >= 0)
        request.query = QUrlQuery(QString::fromLatin1(target.mid(question + 1)));

    std::optional<qint64> contentLength;
    bool expectContinue = false;
    bool closeRequested = false;
    bool keepAliveRequested = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.startsWith(' ') || line.startsWith('\t'))
            return fail(400, "Folded header lines are not accepted");
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return fail(400, "Malformed header line");
        const QByteArray name = line.left(colon);
        if (!isToken(name))
            return fail(400, "Malformed header name");
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!isFieldValue(value))
            return fail(400, "Malformed header value");
        if (request.headers.size() >= m_limits.maxHeaderCount)
            return fail(431, "Too many header fields");
        request.headers.append({name, value});

        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Digits only, and every copy must agree: anything else could
            // desynchronise the stream.
            if (value.isEmpty() || value.size() > 15)
                return fail(400, "Malformed Content-Length");
            for (char c : value) {
                if (c < '0' || c > '9')
                    return fail(400, "Malformed Content-Length");
            }
            const qint64 length = value.toLongLong();
            if (contentLength && *contentLength != length)
                return fail(400, "Conflicting Content-Length");
            contentLength = length;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            return fail(411, "A body needs a Content-Length");
        } else if (name.compare("Expect", Qt::CaseInsensitive) == 0) {
            if (value.compare("100-continue", Qt::CaseInsensitive) == 0)
                expectContinue = true;
        } else if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
            closeRequested = closeRequested || hasConnectionToken(value, "close");
            keepAliveRequested = keepAliveRequested || hasConnectionToken(value, "keep-alive");
        }
    }

    const qint64 length = contentLength.value_or(0);
    if (length > m_limits.maxBodyBytes)
        return fail(413, "Request body too large");

    m_currentKeepAlive = version == "HTTP/1.1" ? !closeRequested : (keepAliveRequested && !closeRequested);
    m_current = std::move(request);
    m_bodyLength = length;
    m_continuePending = expectContinue && length > 0 && m_buffer.size() < length;
    m_phase = Phase::Body;
    return Status::Ready;
}

HttpRequestReader::Status HttpRequestReader::readBody()
{
    if (m_buffer.size() < m_bodyLength)
        return Status::NeedMore;
    m_current.body = m_buffer.left(m_bodyLength);
    m_buffer.remove(0, m_bodyLength);

    const QJsonDocument document = QJsonDocument::fromJson(m_current.body);
    if (document.isObject()) {
        m_current.json = document.object();
        const QJsonValue action = m_current.json.value(QStringLiteral("action"));
        if (action.isString())
            m_current.action = action.toString();
    }

    m_ready = std::exchange(m_current, RecordedRequest{});
    m_keepAlive = m_currentKeepAlive;
    m_continuePending = false;
    m_bodyLength = 0;
    m_phase = Phase::Head;
    return Status::Ready;
}

} // namespace kova::sandbox
