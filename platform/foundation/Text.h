#pragma once

#include <QString>
#include <QStringList>

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

// The text with each "%@" replaced by the next of `values`, in order. The
// rest of the text is taken literally: translations are never used as a
// format, so a stray "%d" or a third "%@" cannot read what is not there.
inline QString fillPlaceholders(const QString &text, const QStringList &values)
{
    QString out;
    out.reserve(text.size());
    qsizetype filled = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (filled < values.size() && text[i] == QLatin1Char('%') && i + 1 < text.size()
            && text[i + 1] == QLatin1Char('@')) {
            out += values[filled++];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace kova::platform
