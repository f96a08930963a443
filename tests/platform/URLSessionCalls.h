#pragma once

// What the URL session tests share: a call's outcome, running a call to its
// end, and how their loopback peers take whole requests off what they read.

#include <QByteArray>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>

#include "platform/net/URLSession.h"
#include "tests/support/TestSupport.h"

namespace kova::test {

struct Outcome {
    bool done = false;
    int calls = 0;
    QByteArray data;
    std::optional<platform::HTTPURLResponse> response;
    std::optional<platform::Error> error;

    int status() const { return response ? response->statusCode : 0; }
    qint64 code() const { return error ? error->code : 0; }
};

// Starts the call; `outcome` is filled in each time its completion runs.
inline void start(platform::URLSession &session, const platform::URLRequest &request, Outcome &outcome)
{
    session.dataTask(request, [&outcome](const QByteArray &d, const std::optional<platform::HTTPURLResponse> &r,
                                         const std::optional<platform::Error> &e) {
        ++outcome.calls;
        outcome.done = true;
        outcome.data = d;
        outcome.response = r;
        outcome.error = e;
    });
}

// Runs one call to its end: its completion runs once, and never inside
// dataTask itself.
inline Outcome run(platform::URLSession &session, const platform::URLRequest &request,
                   std::chrono::milliseconds deadline = std::chrono::seconds(20))
{
    Outcome outcome;
    start(session, request, outcome);
    EXPECT_FALSE(outcome.done) << "completion must not run inside dataTask";
    EXPECT_TRUE(waitUntil([&] { return outcome.done; }, deadline));
    drainMainQueue();
    EXPECT_EQ(outcome.calls, 1);
    return outcome;
}

inline platform::URLRequest requestOf(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                                      const platform::HeaderFields &fields = {})
{
    platform::URLRequest request;
    request.httpMethod = method;
    request.url = url;
    request.httpBody = body;
    request.headerFields = fields;
    return request;
}

// A request as a peer read it.
struct PeerRequest {
    QByteArray head; // up to and with its blank line
    QByteArray body;
};

// The first whole request (its head, and the body its Content-Length
// announces) taken off the front of what a peer has read; nothing while it
// has not all come.
inline std::optional<PeerRequest> takeRequest(QByteArray &read)
{
    const qsizetype headEnd = read.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return std::nullopt;
    qsizetype length = 0;
    for (const QByteArray &line : read.left(headEnd).split('\n'))
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    if (read.size() < headEnd + 4 + length)
        return std::nullopt;
    PeerRequest request{read.left(headEnd + 4), read.mid(headEnd + 4, length)};
    read.remove(0, headEnd + 4 + length);
    return request;
}

} // namespace kova::test
