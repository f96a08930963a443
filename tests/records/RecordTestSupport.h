#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <gtest/gtest.h>
#include <optional>

namespace kova::test {

// Replies are written in tests as JSON text, the way the service sends them.
inline QJsonObject jsonObject(const char *text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    EXPECT_TRUE(document.isObject()) << text;
    return document.object();
}

inline QJsonValue jsonValue(const char *text)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray("[") + text + "]");
    EXPECT_TRUE(document.isArray()) << text;
    return document.array().at(0);
}

// An absent text is a null QString; an expected absent text is written nullptr.
inline void expectText(const QString &actual, const char *expected, const char *what)
{
    if (expected == nullptr)
        EXPECT_TRUE(actual.isNull()) << what << " should be absent, is \"" << actual.toStdString() << "\"";
    else
        EXPECT_EQ(actual, QString::fromUtf8(expected)) << what;
}

} // namespace kova::test

// gtest prints QStrings readably.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    if (text.isNull())
        *os << "<null>";
    else
        *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE
