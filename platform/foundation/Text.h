#pragma once

#include <QString>

namespace kova::platform {

// The text without spaces and tabs at either end. Line breaks are kept:
// only these two count as blanks where the SDK trims what a user typed.
inline QString trimmedBlanksAndTabs(const QString &text)
{
    auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace kova::platform
