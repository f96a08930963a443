#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <chrono>

namespace kova::sandbox {

// What the sandbox answers to one request: a status and body, optionally late,
// or a transport fault instead of any answer.
struct ScriptedReply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    // Waited out on a timer: the server keeps serving other requests meanwhile.
    std::chrono::milliseconds delay{0};
    enum class Fault {
        None,
        DropConnection, // close the socket without any reply
        NoReply,        // never answer; the connection stays open
        Trickle,        // the headers at once, then the body one byte per trickleInterval
        Held,           // answered, as if without the fault, when the server's releaseHeld() says so
    } fault = Fault::None;
    std::chrono::milliseconds trickleInterval{10000};
    // Inflates the body with trailing blanks (still the same JSON) to this
    // many bytes, for clients that must bound what they read.
    qint64 padTo = 0;
    // Sent as the "Content-Encoding" header when set; the body is then
    // already in that encoding.
    QByteArray contentEncoding;

    static ScriptedReply json(const QJsonObject &o, int status = 200);
    static ScriptedReply json(const QJsonArray &a, int status = 200);
    static ScriptedReply raw(QByteArray body, int status = 200);
    // `head` followed by blanks up to `unpackedSize` bytes, sent gzip-packed:
    // a small reply on the wire that unpacks to any size (a JSON head stays
    // the same JSON).
    static ScriptedReply gzip(const QByteArray &head, qint64 unpackedSize, int status = 200);
};

} // namespace kova::sandbox
