#pragma once

#include <QByteArray>
#include <memory>

struct z_stream_s;

namespace kova::platform::internal {

// A reply body gathered as it arrives, unpacked from gzip or deflate when the
// server sent it packed, and never held beyond its bound: what the bound
// limits is the body the caller gets, however small the packed form was.
// Not part of the installed headers.
class ReplyBody {
public:
    enum class State { Reading, TooLarge, Undecodable };

    // A maximum of 0 takes any size.
    explicit ReplyBody(qint64 maximum);
    ~ReplyBody();
    ReplyBody(const ReplyBody &) = delete;
    ReplyBody &operator=(const ReplyBody &) = delete;

    // The reply's "Content-Encoding", given before the first bytes. An
    // encoding other than gzip or deflate is kept as it came.
    void setContentEncoding(const QByteArray &encoding);
    bool encodingKnown() const { return m_encodingKnown; }

    // Takes the next bytes as they came over the wire.
    State append(const QByteArray &bytes);
    // The wire is done: a packed body must have come whole.
    State finish();
    State state() const { return m_state; }
    QByteArray take() { return std::move(m_data); }

private:
    State unpack(const QByteArray &bytes);
    bool startUnpacking(int windowBits);

    qint64 m_maximum;
    QByteArray m_data;
    State m_state = State::Reading;
    bool m_encodingKnown = false;
    bool m_streamEnded = false;
    // "deflate" is meant to be zlib-wrapped, but some servers send it bare:
    // its first two bytes tell which, and wait here until both are in.
    bool m_deflate = false;
    QByteArray m_deflateStart;
    std::unique_ptr<z_stream_s> m_stream;
};

} // namespace kova::platform::internal
