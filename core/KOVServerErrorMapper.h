#pragma once

#include <QJsonValue>

namespace kova {

// Maps a failed reply's "type" to a code of KOVErrorDomain. Exact,
// case-sensitive matches only; anything else (unknown, missing, not text)
// is the general server error 2002.
class KOVServerErrorMapper {
public:
    static qint64 mapErrorType(const QJsonValue &type);
};

} // namespace kova
