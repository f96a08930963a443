#include "platform/net/internal/ReplyBody.h"

#include <utility>
#include <zlib.h>

namespace kova::platform::internal {

namespace {
// Unpacked a piece at a time, so one small packed piece that unpacks to a
// great deal is checked against the bound before the next piece is made.
constexpr int kUnpackPiece = 64 * 1024;
} // namespace

ReplyBody::ReplyBody(qint64 maximum) : m_maximum(maximum) {}

ReplyBody::~ReplyBody()
{
    if (m_stream)
        inflateEnd(m_stream.get());
}

void ReplyBody::setContentEncoding(const QByteArray &encoding)
{
    m_encodingKnown = true;
    const QByteArray name = encoding.trimmed().toLower();
    if (name == "deflate")
        m_deflate = true;
    else if (name == "gzip" || name == "x-gzip")
        startUnpacking(MAX_WBITS + 32);
}

// Either wrapping, gzip or zlib, whichever the header shows, or none.
bool ReplyBody::startUnpacking(int windowBits)
{
    auto stream = std::make_unique<z_stream_s>();
    if (inflateInit2(stream.get(), windowBits) != Z_OK)
        return false;
    m_stream = std::move(stream);
    return true;
}

ReplyBody::State ReplyBody::append(const QByteArray &bytes)
{
    if (m_state != State::Reading || bytes.isEmpty())
        return m_state;
    if (m_deflate && !m_stream) {
        m_deflateStart += bytes;
        if (m_deflateStart.size() < 2)
            return m_state;
        const uchar first = uchar(m_deflateStart[0]);
        const uchar second = uchar(m_deflateStart[1]);
        // A zlib header names deflate with a window zlib can hold and is a
        // multiple of 31; a bare stream starting so would need padding bits
        // no packer sets.
        const bool zlib = (first & 0x0f) == Z_DEFLATED && (first >> 4) <= 7 && ((first << 8) | second) % 31 == 0;
        const bool gzip = first == 0x1f && second == 0x8b;
        if (!startUnpacking(zlib || gzip ? MAX_WBITS + 32 : -MAX_WBITS))
            return m_state = State::Undecodable;
        return m_state = unpack(std::exchange(m_deflateStart, {}));
    }
    if (m_stream)
        return m_state = unpack(bytes);
    if (m_maximum > 0 && m_data.size() + bytes.size() > m_maximum)
        return m_state = State::TooLarge;
    m_data.append(bytes);
    return m_state;
}

ReplyBody::State ReplyBody::unpack(const QByteArray &bytes)
{
    // Whatever follows the end of the packed stream is not part of the body.
    if (m_streamEnded)
        return State::Reading;
    z_stream_s &stream = *m_stream;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    char piece[kUnpackPiece];
    do {
        stream.next_out = reinterpret_cast<Bytef *>(piece);
        stream.avail_out = sizeof piece;
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return State::Undecodable;
        const qint64 made = qint64(sizeof piece) - stream.avail_out;
        if (m_maximum > 0 && m_data.size() + made > m_maximum)
            return State::TooLarge;
        m_data.append(piece, made);
        if (result == Z_STREAM_END) {
            m_streamEnded = true;
            break;
        }
        if (result == Z_BUF_ERROR && made == 0)
            break; // wants more input
        // A full piece may leave more waiting inside the stream.
    } while (stream.avail_in > 0 || stream.avail_out == 0);
    return State::Reading;
}

ReplyBody::State ReplyBody::finish()
{
    const bool started = !m_deflateStart.isEmpty() || (m_stream && m_stream->total_in > 0);
    if (m_state == State::Reading && started && !m_streamEnded)
        m_state = State::Undecodable;
    return m_state;
}

} // namespace kova::platform::internal
