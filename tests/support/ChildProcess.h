#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QProcessEnvironment>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kova::test {

// Starts this test program again, running the tests `filter` picks (a child
// test that skips itself unless its environment entry is set), with the
// process environment plus `extra` ("NAME=value"), and the descriptors
// `inherited` kept open across exec, and its standard output and error on
// `output` when one is given. Started with fork and exec, not with
// QProcess: ThreadSanitizer does not see into a fork made inside Qt, and
// would take this process's locking for races from then on. -1 on failure.
inline pid_t startChild(const QByteArray &filter, const QList<QByteArray> &extra, std::initializer_list<int> inherited = {},
                        int output = -1)
{
    QList<QByteArray> environment;
    for (const QString &entry : QProcessEnvironment::systemEnvironment().toStringList())
        environment.append(entry.toLocal8Bit());
    environment.append(extra);
    std::vector<char *> envp;
    for (QByteArray &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray filterArgument = "--gtest_filter=" + filter;
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(filterArgument.constData()), nullptr};
    const std::vector<int> keep(inherited);
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const int fd : keep)
            ::fcntl(fd, F_SETFD, 0);
        if (output >= 0) {
            ::dup2(output, STDOUT_FILENO);
            ::dup2(output, STDERR_FILENO);
        }
        ::execve(argv[0], argv, envp.data());
        ::_exit(127);
    }
    return pid;
}

// The child's exit code once it ends; -1 when it ended otherwise or had not
// ended by the deadline (it is killed then).
inline int waitForChild(pid_t pid, std::chrono::milliseconds deadline)
{
    const QDeadlineTimer until(deadline);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && !until.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return ended == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A process id that is certainly no running process: a child that has ended.
inline pid_t endedProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

} // namespace kova::test
