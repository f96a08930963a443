#include "platform/net/internal/HttpReplyParser.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace kova::platform::internal {

namespace {

// A reply's status line and fields, and a chunk's size line, are never read
// beyond these: a peer sending no end to them gets a bad-reply error.
constexpr qsizetype kMaxHeadBytes = 256 * 1024;
constexpr int kMaxFields = 1000;
constexpr qsizetype kMaxChunkLine = 4096;

template <typename Predicate>
bool consistsOf(const QByteArray &bytes, Predicate is)
{
    return !bytes.isEmpty() && std::all_of(bytes.begin(), bytes.end(), [is](char c) { return is(uchar(c)) != 0; });
}

// Fields of one name become one, as a reply's fields are read elsewhere;
// gives where the value went.
qsizetype addField(HttpFields &fields, const QByteArray &name, const QByteArray &value)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].first.compare(name, Qt::CaseInsensitive) == 0) {
            fields[i].second += (name.compare("Set-Cookie", Qt::CaseInsensitive) == 0 ? "\n" : ", ") + value;
            return i;
        }
    }
    fields.append({name, value});
    return fields.size() - 1;
}

} // namespace

HttpReplyParser::Event HttpReplyParser::read(QByteArrayView bytes, qsizetype &taken)
{
    taken = 0;
    m_body = {};
    for (;;) {
        switch (m_state) {
        case State::Ended: return Event::End;
        case State::Failed: return Event::Bad;
        case State::Body: {
            if (m_framing != Framing::UntilClose && m_remaining == 0) {
                if (m_framing == Framing::Length) {
                    m_state = State::Ended;
                    return Event::End;
                }
                m_state = State::ChunkEnd;
                break;
            }
            if (taken == bytes.size())
                return Event::NeedMore;
            qsizetype count = bytes.size() - taken;
            if (m_framing != Framing::UntilClose) {
                count = qsizetype(std::min<qint64>(count, m_remaining));
                m_remaining -= count;
            }
            m_body = bytes.sliced(taken, count);
            taken += count;
            return Event::Body;
        }
        default:
            if (taken == bytes.size())
                return Event::NeedMore;
            if (const std::optional<Event> event = readLine(bytes, taken))
                return *event;
        }
    }
}

bool HttpReplyParser::leavesConnectionOpen() const
{
    const QByteArray connection = fieldValue(m_fields, "Connection").toLower();
    const bool keepAlive = m_version1_0 ? connection.contains("keep-alive") : !connection.contains("close");
    return keepAlive && m_state == State::Ended && m_framing != Framing::UntilClose && !m_framingInDoubt;
}

std::optional<HttpReplyParser::Event> HttpReplyParser::readLine(QByteArrayView bytes, qsizetype &taken)
{
    const qsizetype end = bytes.indexOf('\n', taken);
    const qsizetype upTo = end < 0 ? bytes.size() : end + 1;
    m_line.append(bytes.sliced(taken, upTo - taken));
    taken = upTo;
    // Chunk size lines are short; a head and the trailer fields together
    // stay within their bound.
    const bool chunkLine = m_state == State::ChunkSize || m_state == State::ChunkEnd;
    if (chunkLine ? m_line.size() > kMaxChunkLine : m_headSize + m_line.size() > kMaxHeadBytes)
        return fail();
    if (end < 0)
        return std::nullopt;
    QByteArray line = std::exchange(m_line, {});
    if (!chunkLine)
        m_headSize += line.size();
    line.chop(line.endsWith("\r\n") ? 2 : 1);
    return takeLine(line);
}

std::optional<HttpReplyParser::Event> HttpReplyParser::takeLine(const QByteArray &line)
{
    switch (m_state) {
    case State::Status: return takeStatusLine(line);
    case State::Fields: return takeFieldLine(line);
    case State::ChunkSize: return takeChunkSize(line);
    case State::ChunkEnd:
        if (!line.isEmpty())
            return fail();
        m_state = State::ChunkSize;
        return std::nullopt;
    case State::Trailer:
        if (!line.isEmpty())
            return std::nullopt;
        m_state = State::Ended;
        return Event::End;
    default: return std::nullopt;
    }
}

std::optional<HttpReplyParser::Event> HttpReplyParser::takeStatusLine(const QByteArray &line)
{
    // Blank lines a server left after an earlier reply are skipped.
    if (line.isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = line.split(' ');
    const QByteArray digits = parts.value(1);
    if (!line.startsWith("HTTP/1.") || digits.size() != 3 || !consistsOf(digits, ::isdigit) || digits.toInt() < 100)
        return fail();
    m_status = digits.toInt();
    m_version1_0 = line.startsWith("HTTP/1.0");
    m_fields.clear();
    m_fieldCount = 0;
    m_lastField = -1;
    m_state = State::Fields;
    return std::nullopt;
}

std::optional<HttpReplyParser::Event> HttpReplyParser::takeFieldLine(const QByteArray &line)
{
    if (line.isEmpty())
        return headEnded();
    if (line.startsWith(' ') || line.startsWith('\t')) {
        // A field folded onto the next line goes on where the line before
        // went, which a repeated name joined to an earlier field. Before any
        // field it belongs to nothing, and someone reading it as a field of
        // its own would see another reply than ours.
        if (m_lastField < 0)
            return fail();
        m_fields[m_lastField].second += ' ' + line.trimmed();
        return std::nullopt;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || ++m_fieldCount > kMaxFields)
        return fail();
    m_lastField = addField(m_fields, line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    return std::nullopt;
}

std::optional<HttpReplyParser::Event> HttpReplyParser::takeChunkSize(const QByteArray &line)
{
    const qsizetype extension = line.indexOf(';');
    const QByteArray size = (extension < 0 ? line : line.left(extension)).trimmed();
    // Hex digits only: the number reading alone also takes a sign and a "0x".
    bool ok = consistsOf(size, ::isxdigit);
    const qint64 length = ok ? size.toLongLong(&ok, 16) : 0;
    if (!ok || length < 0)
        return fail();
    if (length == 0) {
        m_headSize = 0;
        m_state = State::Trailer;
        return std::nullopt;
    }
    m_remaining = length;
    m_state = State::Body;
    return std::nullopt;
}

std::optional<HttpReplyParser::Event> HttpReplyParser::headEnded()
{
    if (m_status >= 100 && m_status < 200 && m_status != 101) {
        // An interim reply: the real one follows.
        m_state = State::Status;
        return std::nullopt;
    }
    // This client never asks for another protocol: what follows a switch to
    // one is nothing it can read, and the connection is no longer HTTP.
    if (m_status == 101 || !setFraming())
        return fail();
    switch (m_framing) {
    case Framing::None: m_state = State::Ended; break;
    case Framing::Chunked: m_state = State::ChunkSize; break;
    case Framing::Length:
    case Framing::UntilClose: m_state = State::Body; break;
    }
    return Event::Head;
}

bool HttpReplyParser::setFraming()
{
    m_framingInDoubt = false;
    if (m_toHead || m_status == 204 || m_status == 304) {
        m_framing = Framing::None;
        return true;
    }
    if (hasField(m_fields, "Transfer-Encoding")) {
        // Only chunked, given once and alone, is taken off here; with any
        // other coding the caller would get the body still coded.
        QList<QByteArray> codings;
        for (const QByteArray &coding : fieldValue(m_fields, "Transfer-Encoding").split(','))
            if (!coding.trimmed().isEmpty())
                codings.append(coding.trimmed());
        if (codings.size() != 1 || codings.first().compare("chunked", Qt::CaseInsensitive) != 0)
            return false;
        m_framing = Framing::Chunked;
        // Chunked wins over a length, and an HTTP/1.0 server should never
        // have sent it: something else on the way may have read the reply
        // to end elsewhere, so its connection carries nothing more.
        m_framingInDoubt = m_version1_0 || hasField(m_fields, "Content-Length");
        return true;
    }
    if (!hasField(m_fields, "Content-Length")) {
        m_framing = Framing::UntilClose;
        return true;
    }
    // Repeated fields came joined: each part must say the same length.
    qint64 length = -1;
    for (const QByteArray &part : fieldValue(m_fields, "Content-Length").split(',')) {
        bool ok = false;
        const QByteArray digits = part.trimmed();
        const qint64 value = digits.toLongLong(&ok);
        if (!ok || value < 0 || digits.startsWith('+') || (length != -1 && value != length))
            return false;
        length = value;
    }
    m_framing = length == 0 ? Framing::None : Framing::Length;
    m_remaining = length;
    return true;
}

HttpReplyParser::Event HttpReplyParser::fail()
{
    m_state = State::Failed;
    return Event::Bad;
}

} // namespace kova::platform::internal
