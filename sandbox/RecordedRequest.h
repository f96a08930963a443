#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

namespace kova::sandbox {

// One request exactly as it reached the sandbox, so a test can assert on what
// the SDK really put on the wire.
struct RecordedRequest {
    QString method;
    QString path;
    QUrlQuery query;
    // In arrival order, names spelt as the client sent them.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // The body parsed, empty when it is not a JSON object.
    QJsonObject json;
    // The body's "action" when it is text.
    QString action;
    // Which client connection carried it (numbered from 1 in the order the
    // sandbox accepted them), and its place on that connection (from 1): a
    // request with a place above 1 came on a reused keep-alive connection.
    int connection = 0;
    int placeOnConnection = 0;
    // Steady-clock nanoseconds (std::chrono::steady_clock's epoch) when the
    // request had been read whole, and when its reply was handed to the
    // connection (or its delay began): benchmarks split a round trip with them.
    qint64 receivedNs = 0;
    qint64 answeredNs = 0;

    // The first header of that name, compared without regard to case; a null
    // array when there is none.
    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        }
        return {};
    }
};

} // namespace kova::sandbox
