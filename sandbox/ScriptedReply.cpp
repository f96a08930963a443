#include "sandbox/ScriptedReply.h"

#include <QJsonDocument>
#include <QtEndian>
#include <zlib.h>

namespace kova::sandbox {

ScriptedReply ScriptedReply::json(const QJsonObject &o, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return reply;
}

ScriptedReply ScriptedReply::json(const QJsonArray &a, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.body = QJsonDocument(a).toJson(QJsonDocument::Compact);
    return reply;
}

ScriptedReply ScriptedReply::raw(QByteArray body, int status)
{
    ScriptedReply reply;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

namespace {

// One piece of blanks (with `head` in front), packed and flushed so that the
// packer forgets it: every later piece of plain blanks packs to the same
// bytes, and a body of any size costs only a few pieces' packing.
QByteArray packPiece(z_stream &stream, const QByteArray &piece, int flush)
{
    QByteArray out;
    char buffer[16 * 1024];
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece.constData()));
    stream.avail_in = uInt(piece.size());
    do {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        deflate(&stream, flush);
        out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
    } while (stream.avail_out == 0);
    return out;
}

} // namespace

ScriptedReply ScriptedReply::gzip(const QByteArray &head, qint64 unpackedSize, int status)
{
    constexpr qint64 kPiece = 1024 * 1024;
    const qint64 size = std::max<qint64>(unpackedSize, head.size());
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    // The gzip member header: no name, no time, Unix.
    QByteArray body("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03", 10);
    uLong crc = crc32(0, nullptr, 0);

    QByteArray first = head.left(size);
    first.append(QByteArray(std::min(kPiece, size) - first.size(), ' '));
    body += packPiece(stream, first, Z_FULL_FLUSH);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(first.constData()), uInt(first.size()));
    qint64 left = size - first.size();

    const QByteArray blanks(kPiece, ' ');
    const uLong blanksCrc = crc32(0, reinterpret_cast<const Bytef *>(blanks.constData()), uInt(blanks.size()));
    QByteArray packedBlanks;
    while (left >= kPiece) {
        if (packedBlanks.isEmpty())
            packedBlanks = packPiece(stream, blanks, Z_FULL_FLUSH);
        body += packedBlanks;
        crc = crc32_combine(crc, blanksCrc, kPiece);
        left -= kPiece;
    }
    const QByteArray rest(left, ' ');
    body += packPiece(stream, rest, Z_FINISH);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(rest.constData()), uInt(rest.size()));
    deflateEnd(&stream);

    char trailer[8];
    qToLittleEndian<quint32>(quint32(crc), trailer);
    qToLittleEndian<quint32>(quint32(size), trailer + 4);
    body.append(trailer, sizeof trailer);

    ScriptedReply reply = raw(std::move(body), status);
    reply.contentEncoding = "gzip";
    return reply;
}

} // namespace kova::sandbox
