#include "core/store/KOVSignature.h"

namespace kova {

QDateTime KOVSignature::createdAt() const
{
    return date(QStringLiteral("createdAt"));
}

void KOVSignature::setCreatedAt(const QDateTime &createdAt)
{
    setDate(QStringLiteral("createdAt"), createdAt);
}

QDateTime KOVSignature::modifiedAt() const
{
    return date(QStringLiteral("modifiedAt"));
}

void KOVSignature::setModifiedAt(const QDateTime &modifiedAt)
{
    setDate(QStringLiteral("modifiedAt"), modifiedAt);
}

void KOVSignature::sign()
{
    sign(QDateTime::currentDateTimeUtc());
}

void KOVSignature::sign(const QDateTime &now)
{
    if (!createdAt().isValid())
        setCreatedAt(now);
    setModifiedAt(now);
}

} // namespace kova
