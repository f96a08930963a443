#pragma once

#include <QString>

namespace kova::platform {

// The text without ASCII spaces and tabs at either end; line breaks and other
// white space are kept.
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
