#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QtGlobal>
#include <mutex>
#include <ostream>

namespace kova::test {

// Takes the place of the process's Qt message handler for its lifetime, the
// way a host's own handler would, and keeps what reaches it. Leaves the
// logging rules as it found them.
class QtMessageCapture {
public:
    struct Message {
        QtMsgType type;
        QString category;
        QString text;
        bool operator==(const Message &) const = default;
    };

    QtMessageCapture()
    {
        std::lock_guard lock(mutex());
        current() = this;
        m_previous = qInstallMessageHandler(&QtMessageCapture::handle);
    }
    ~QtMessageCapture()
    {
        QLoggingCategory::setFilterRules(QString());
        std::lock_guard lock(mutex());
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    QtMessageCapture(const QtMessageCapture &) = delete;
    QtMessageCapture &operator=(const QtMessageCapture &) = delete;

    // Only the SDK's: Qt's own messages go by in the same handler.
    QList<Message> sdkMessages() const
    {
        std::lock_guard lock(mutex());
        QList<Message> sdk;
        for (const Message &message : m_messages)
            if (message.category == QLatin1String("kova") || message.category.startsWith(QLatin1String("kova.")))
                sdk.append(message);
        return sdk;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        std::lock_guard lock(mutex());
        if (QtMessageCapture *capture = current())
            capture->m_messages.append({type, QString::fromUtf8(context.category), text});
    }
    static std::recursive_mutex &mutex()
    {
        static std::recursive_mutex s_mutex;
        return s_mutex;
    }
    static QtMessageCapture *&current()
    {
        static QtMessageCapture *s_current = nullptr;
        return s_current;
    }

    QtMessageHandler m_previous = nullptr;
    QList<Message> m_messages;
};

inline void PrintTo(const QtMessageCapture::Message &message, std::ostream *os)
{
    *os << "{" << int(message.type) << ", \"" << message.category.toStdString() << "\", \""
        << message.text.toStdString() << "\"}";
}

} // namespace kova::test
