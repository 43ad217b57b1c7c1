// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A step run in a forked child, for faults a test must not bring on itself:
// another user's rights, a file size limit.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace sundrel::testing {

// The user "nobody", whose rights a child takes to meet a folder it cannot write.
constexpr uid_t kNobody = 65534;

// What a child process reports: how it ended and what it said.
struct Child {
    int status = -1;
    QStringList said;
};

// Runs body in a forked child and returns the lines it reported. The child
// leaves with _exit, so nothing of the parent is torn down twice.
inline Child RunInChild(const std::function<QStringList()>& body)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        close(fds[0]);
        const QByteArray said = body().join(QLatin1Char('\n')).toUtf8();
        _exit(write(fds[1], said.constData(), size_t(said.size())) == said.size() ? 0 : 3);
    }
    close(fds[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    close(fds[0]);
    Child child;
    waitpid(pid, &child.status, 0);
    child.said = QString::fromUtf8(said).split(QLatin1Char('\n'));
    return child;
}

}  // namespace sundrel::testing
