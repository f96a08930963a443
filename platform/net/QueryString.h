#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

#include "platform/net/URLQueryItem.h"

// The query component read and written byte by byte, without the URL class's
// tolerant repairs: what the other side wrote is what is read.
namespace kova::platform::query {

// UTF-8, with every byte outside the unreserved set (letters, digits, "-",
// ".", "_", "~") escaped, so that "&", "=", "+" and "#" inside a name or a
// value can never start another item.
QByteArray percentEncode(const QString &text);

// Decodes "%" followed by two hex digits; any other "%" stays as it is, and
// "+" stays a plus. Bytes that are not UTF-8 become replacement characters.
QString percentDecode(QByteArrayView encoded);

// Items separated by "&", each split at its first "="; an item without "="
// has a null value. Empty pieces (as in "a&&b") are items with an empty name.
QList<URLQueryItem> parse(QByteArrayView encodedQuery);

// The items in order, each name and value encoded; a null value is written as
// the name alone.
QByteArray build(const QList<URLQueryItem> &items);

// The query of a URL as its text was written. The URL class, reading a text
// that holds one invalid escape, escapes every "%" of it once more; that is
// undone here, so a valid escape beside an invalid one still decodes. A text
// whose every escape is "%25" and that reads back with an invalid escape is
// taken as repaired; pages that escape their items (a blank as "%20", quotes
// as "%22") are never mistaken.
QByteArray encodedQuery(const QUrl &url);

} // namespace kova::platform::query
