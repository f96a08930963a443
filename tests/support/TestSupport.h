#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <mutex>

namespace kova::test {

// Runs the main loop until `condition` holds or the deadline passes; returns
// whether it held. Tests wait on conditions, never on fixed sleeps.
bool waitUntil(const std::function<bool()> &condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(20));
// Runs the main loop for queued work already posted (a few turns).
void drainMainQueue();

// The process set-up every test main shares: the home and XDG directories
// under `home` before the application object exists, then the application's
// names and the private data directory once it does.
void prepareEnvironment(const QString &home);
void prepareApplication(const QString &home);

// The temporary data directory of this test process (store, vault, defaults).
QString dataDirectory();
// Empties the data directory so a test starts from a clean device.
void resetDataDirectory();
// A value read from the keychain may trust the vault file for a moment after
// it was last looked at; a test that changes the file behind the vault's back
// waits that moment out before reading values.
void waitOutRecentReads();

// Captures the system log (and optionally standard output) for its lifetime.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString &line) const;

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    QStringList chunks() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_chunks;
};

} // namespace kova::test
