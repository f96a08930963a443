#pragma once

#include <QByteArray>

#include "sandbox/RecordedRequest.h"

namespace kova::sandbox {

// Reads HTTP/1.1 requests off a byte stream, one at a time. Everything it
// reads comes from an untrusted peer: the head and the body are bounded, a
// body needs a Content-Length, and anything it cannot read with certainty is
// refused with a status instead of being guessed at.
class HttpRequestReader {
public:
    struct Limits {
        qsizetype maxHeadBytes = 32 * 1024;
        int maxHeaderCount = 100;
        qsizetype maxBodyBytes = 8 * 1024 * 1024;
    };
    enum class Status { NeedMore, Ready, Failed };

    HttpRequestReader();
    explicit HttpRequestReader(Limits limits);

    void append(const QByteArray &data);
    // Tries to complete the next request from the bytes buffered so far.
    // After Failed the reader stays failed: the stream cannot be resynchronised.
    Status next();

    // The request completed by the last next() that returned Ready.
    RecordedRequest takeRequest();
    // Whether the connection may carry another request after this one.
    bool keepAlive() const { return m_keepAlive; }
    // True once per request whose head asked for "100-continue" and whose body
    // has not fully arrived yet.
    bool takeContinueRequest();

    int failureStatus() const { return m_failureStatus; }
    QByteArray failureReason() const { return m_failureReason; }

private:
    Status fail(int status, const QByteArray &reason);
    Status readHead();
    Status readBody();

    Limits m_limits;
    QByteArray m_buffer;
    enum class Phase { Head, Body, Failed } m_phase = Phase::Head;
    RecordedRequest m_current;
    RecordedRequest m_ready;
    qsizetype m_bodyLength = 0;
    bool m_keepAlive = true;
    bool m_currentKeepAlive = true;
    bool m_continuePending = false;
    int m_failureStatus = 0;
    QByteArray m_failureReason;
};

} // namespace kova::sandbox
