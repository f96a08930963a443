#pragma once

#include <QString>
#include <QVariantMap>

namespace kova::platform {

// The description key every error carries its human text under; kept under
// the platform's own name so hosts can read it as they would expect.
inline const QString NSLocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");

inline const QString NSURLErrorDomain = QStringLiteral("NSURLErrorDomain");
inline const QString NSPOSIXErrorDomain = QStringLiteral("NSPOSIXErrorDomain");
inline const QString NSCocoaErrorDomain = QStringLiteral("NSCocoaErrorDomain");

struct Error {
    QString domain;
    qint64 code = 0;
    QVariantMap userInfo;

    Error() = default;
    Error(QString domain, qint64 code, QVariantMap userInfo = {});
    static Error withDescription(const QString &domain, qint64 code, const QString &description);

    // The description entry when there is one, else a generic sentence that
    // names the domain and code.
    QString localizedDescription() const;
    bool hasDescription() const;
    // The whole error as the platform prints it where a log line formats an
    // error: Error Domain=<domain> Code=<code> "<description>" UserInfo={...}.
    QString description() const;

    bool operator==(const Error &other) const = default;
};

} // namespace kova::platform
