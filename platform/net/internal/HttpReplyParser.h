#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

#include "platform/net/internal/HttpClient.h"

namespace kova::platform::internal {

// Reads one HTTP/1.1 reply from the bytes of its connection as they come, in
// pieces of any size: its status and fields, then its body piece by piece,
// then its end. It owns no socket and waits for nothing, so whoever feeds it
// decides how fast the reply is read. A reply whose framing could be read
// more than one way is a bad one, never a guess. Not part of the installed
// headers.
class HttpReplyParser {
public:
    enum class Event {
        NeedMore, // every byte given was taken; the reply goes on
        Head,     // status() and fields() are known; the body follows
        Body,     // body(), the last bytes taken, is the next piece of the body
        End,      // the reply is whole; the bytes not taken are not part of it
        Bad,      // no reply this client can read; the connection is unfit
    };

    // A reply to HEAD has no body, whatever its head announces.
    explicit HttpReplyParser(bool toHead = false) : m_toHead(toHead) {}

    // Reads from the front of `bytes` up to the next event, and says how
    // many of them that took. Nothing more is read after End or Bad.
    Event read(QByteArrayView bytes, qsizetype &taken);

    int status() const { return m_status; }
    const HttpFields &fields() const { return m_fields; }
    QByteArrayView body() const { return m_body; }
    // The body runs until the connection ends, and is under way: a clean end
    // of the connection now is the end of the reply.
    bool readsUntilClose() const { return m_state == State::Body && m_framing == Framing::UntilClose; }
    // The connection may carry another exchange once this reply is whole:
    // both its fields and its framing leave no doubt where it ended.
    bool leavesConnectionOpen() const;

private:
    enum class State { Status, Fields, Body, ChunkSize, ChunkEnd, Trailer, Ended, Failed };
    enum class Framing { None, Length, Chunked, UntilClose };

    // Each gives the event a line ends in, or nothing when the reply goes on.
    std::optional<Event> readLine(QByteArrayView bytes, qsizetype &taken);
    std::optional<Event> takeLine(const QByteArray &line);
    std::optional<Event> takeStatusLine(const QByteArray &line);
    std::optional<Event> takeFieldLine(const QByteArray &line);
    std::optional<Event> takeChunkSize(const QByteArray &line);
    std::optional<Event> headEnded();
    bool setFraming();
    Event fail();

    bool m_toHead;
    State m_state = State::Status;
    int m_status = 0;
    bool m_version1_0 = false;
    HttpFields m_fields;
    int m_fieldCount = 0;
    // Where the last field line went, for a line folded onto it.
    qsizetype m_lastField = -1;
    // Of a line not yet whole, and of the head (or trailer) so far.
    QByteArray m_line;
    qsizetype m_headSize = 0;
    Framing m_framing = Framing::None;
    // Both a length and chunked, or chunked from an HTTP/1.0 server: read as
    // chunked, but the connection is not trusted with another exchange.
    bool m_framingInDoubt = false;
    // Of the body (or of the chunk) still to come.
    qint64 m_remaining = 0;
    QByteArrayView m_body;
};

} // namespace kova::platform::internal
