#include "platform/net/QueryString.h"

namespace kova::platform::query {

namespace {

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isEscapeAt(QByteArrayView text, qsizetype i)
{
    return i + 2 < text.size() && text[i] == '%' && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0;
}

} // namespace

QByteArray percentEncode(const QString &text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        if (isUnreserved(c)) {
            out.append(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out.append('%');
            out.append(Hex[byte >> 4]);
            out.append(Hex[byte & 0xF]);
        }
    }
    return out;
}

QString percentDecode(QByteArrayView encoded)
{
    QByteArray bytes;
    bytes.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (isEscapeAt(encoded, i)) {
            bytes.append(static_cast<char>(hexValue(encoded[i + 1]) * 16 + hexValue(encoded[i + 2])));
            i += 2;
        } else {
            bytes.append(encoded[i]);
        }
    }
    return QString::fromUtf8(bytes);
}

QList<URLQueryItem> parse(QByteArrayView encodedQuery)
{
    QList<URLQueryItem> items;
    if (encodedQuery.isEmpty())
        return items;
    qsizetype start = 0;
    while (start <= encodedQuery.size()) {
        qsizetype end = encodedQuery.indexOf('&', start);
        if (end < 0)
            end = encodedQuery.size();
        const QByteArrayView piece = encodedQuery.sliced(start, end - start);
        const qsizetype eq = piece.indexOf('=');
        if (eq < 0) {
            items.append({percentDecode(piece), QString()});
        } else {
            QString value = percentDecode(piece.sliced(eq + 1));
            // Never null: "a=" carries an empty value, unlike "a".
            if (value.isNull())
                value = QStringLiteral("");
            items.append({percentDecode(piece.first(eq)), value});
        }
        start = end + 1;
    }
    return items;
}

QByteArray build(const QList<URLQueryItem> &items)
{
    QByteArray out;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const URLQueryItem &item = items.at(i);
        if (i > 0)
            out.append('&');
        out.append(percentEncode(item.name));
        if (!item.value.isNull()) {
            out.append('=');
            out.append(percentEncode(item.value));
        }
    }
    return out;
}

QByteArray encodedQuery(const QUrl &url)
{
    if (!url.hasQuery())
        return {};
    const QByteArray query = url.query(QUrl::FullyEncoded).toUtf8();
    // Escaped once more only when every "%" now reads "%25" and taking that
    // back leaves an invalid escape, which is what set the repair off.
    if (!query.contains('%'))
        return query;
    QByteArray original;
    original.reserve(query.size());
    for (qsizetype i = 0; i < query.size(); ++i) {
        if (query[i] == '%') {
            if (i + 2 >= query.size() || query[i + 1] != '2' || query[i + 2] != '5')
                return query;
            original.append('%');
            i += 2;
        } else {
            original.append(query[i]);
        }
    }
    for (qsizetype i = 0; i < original.size(); ++i) {
        if (original[i] == '%' && !isEscapeAt(original, i))
            return original;
    }
    return query;
}

} // namespace kova::platform::query
