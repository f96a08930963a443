#pragma once

#include <QString>
#include <QStringList>
#include <mutex>
#include <utility>
#include <vector>

#include "animatedgif/KGAnimatedImage.h"

namespace kova::test {

// Installs a log block for its lifetime and keeps every line it receives.
class LogRecorder {
public:
    explicit LogRecorder(KGAnimatedImageLogLevel level = KGAnimatedImageLogLevel::Verbose)
    {
        KGAnimatedImage::setLogBlock(
            [this](const QString &line, KGAnimatedImageLogLevel lineLevel) {
                std::lock_guard lock(m_mutex);
                m_lines.emplace_back(line, lineLevel);
            },
            level);
    }
    ~LogRecorder() { KGAnimatedImage::setLogBlock(nullptr, KGAnimatedImageLogLevel::None); }

    std::vector<std::pair<QString, KGAnimatedImageLogLevel>> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    QStringList texts(KGAnimatedImageLogLevel level) const
    {
        QStringList result;
        for (const auto &[text, lineLevel] : lines()) {
            if (lineLevel == level)
                result.append(text);
        }
        return result;
    }
    QStringList texts() const
    {
        QStringList result;
        for (const auto &line : lines())
            result.append(line.first);
        return result;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<QString, KGAnimatedImageLogLevel>> m_lines;
};

} // namespace kova::test
