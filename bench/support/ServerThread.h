#pragma once

#include <QObject>
#include <QThread>
#include <functional>

#include "sandbox/SandboxServer.h"

namespace kova::bench {

// The sandbox plays the parties outside the SDK on a thread of its own, as a
// real server is elsewhere: the main loop measured is the SDK's alone, and
// the SDK's work on it does not hold up the server's answers.
class ServerThread {
public:
    ServerThread()
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        run([this] {
            m_server = new sandbox::SandboxServer;
            m_started = m_server->start();
        });
    }
    ~ServerThread()
    {
        run([this] { delete m_server; });
        m_thread.quit();
        m_thread.wait();
    }
    bool started() const { return m_started; }
    // Runs `work` on the server's thread and waits for it.
    void run(const std::function<void()> &work)
    {
        QMetaObject::invokeMethod(&m_anchor, work, Qt::BlockingQueuedConnection);
    }
    template <typename T>
    T get(const std::function<T(sandbox::SandboxServer &)> &read)
    {
        T value;
        run([&] { value = read(*m_server); });
        return value;
    }

private:
    QThread m_thread;
    QObject m_anchor;
    sandbox::SandboxServer *m_server = nullptr;
    bool m_started = false;
};

} // namespace kova::bench
