// Arbitrary bytes as what a server sends back on a connection: read as an
// HTTP reply (status line, fields, framing, chunks, trailer) and its body
// unpacked as its Content-Encoding says. The same bytes read whole, a byte at
// a time and in pieces of random sizes must give the same reply: a reading
// that depends on how the network cut the bytes is a fault.
//
// The first byte steers: its lowest bit makes the reply one to HEAD, the
// rest seeds the piece sizes.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/net/internal/HttpReplyParser.h"
#include "platform/net/internal/ReplyBody.h"

namespace {

using kova::platform::internal::HttpFields;
using kova::platform::internal::HttpReplyParser;
using kova::platform::internal::ReplyBody;
using Event = HttpReplyParser::Event;

// Small enough to be met by a small packed body.
constexpr qint64 kBound = 256 * 1024;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

struct Reading {
    Event outcome = Event::NeedMore;
    bool endedByClose = false;
    qsizetype taken = 0;
    int status = 0;
    HttpFields fields;
    QByteArray body;
    bool leavesConnectionOpen = false;
    bool unpacked = false;
    QByteArray unpackedBody;

    bool operator==(const Reading &) const = default;
};

// Reads `reply` handed over in pieces of the sizes `nextSize` gives.
template <typename Sizes>
Reading read(QByteArrayView reply, bool toHead, Sizes nextSize)
{
    HttpReplyParser parser(toHead);
    ReplyBody body(kBound);
    Reading r;
    bool headSeen = false;
    qsizetype at = 0;
    while (r.outcome == Event::NeedMore && at < reply.size()) {
        const QByteArrayView piece = reply.sliced(at, std::min(nextSize(), reply.size() - at));
        qsizetype used = 0;
        for (Event event = Event::Body; event != Event::NeedMore && r.outcome == Event::NeedMore;) {
            qsizetype taken = 0;
            event = parser.read(piece.sliced(used), taken);
            check(taken >= 0 && used + taken <= piece.size());
            used += taken;
            switch (event) {
            case Event::NeedMore: check(used == piece.size()); break;
            case Event::Head:
                check(!headSeen);
                headSeen = true;
                r.status = parser.status();
                r.fields = parser.fields();
                body.setContentEncoding(kova::platform::internal::fieldValue(r.fields, "Content-Encoding"));
                break;
            case Event::Body: {
                const QByteArrayView bytes = parser.body();
                check(headSeen && !bytes.isEmpty() && bytes.size() <= taken);
                check(bytes.data() + bytes.size() == piece.data() + used);
                r.body += bytes;
                body.append(bytes.toByteArray());
                break;
            }
            case Event::End:
            case Event::Bad: r.outcome = event; break;
            }
        }
        at += used;
    }
    if (r.outcome == Event::NeedMore && parser.readsUntilClose()) {
        r.outcome = Event::End;
        r.endedByClose = true;
    }
    check(r.outcome != Event::End || headSeen);
    // Once over, the reading takes nothing more.
    qsizetype more = 0;
    if (r.outcome != Event::NeedMore && !r.endedByClose)
        check(parser.read(QByteArrayView("HTTP/1.1 200 OK\r\n\r\n"), more) == r.outcome && more == 0);
    r.taken = at;
    r.leavesConnectionOpen = parser.leavesConnectionOpen();
    check(!r.leavesConnectionOpen || (r.outcome == Event::End && !r.endedByClose));
    // Each wrong packed body fails; which way it fails depends on what was
    // unpacked before the fault, so only that it failed is compared.
    r.unpacked = body.finish() == ReplyBody::State::Reading;
    if (r.unpacked)
        r.unpackedBody = body.take();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool toHead = (data[0] & 1) != 0;
    const QByteArrayView reply(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    const Reading whole = read(reply, toHead, [&] { return reply.size(); });
    check(read(reply, toHead, [] { return qsizetype(1); }) == whole);
    std::uint32_t state = 0x9e3779b9u ^ data[0];
    const auto randomSize = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return qsizetype(1 + state % ((state >> 8) % 2 ? 7 : 97));
    };
    check(read(reply, toHead, randomSize) == whole);
    return 0;
}
