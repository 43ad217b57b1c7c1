// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <utility>

namespace sundrel {

// The event pass of a long task on the user-interface thread (a cut, the
// walk through a big song's frames): the window repaints, moves and keeps
// its timer. Handling events costs far more than a step of the task, so
// they are handled every few milliseconds rather than before every step.
// The task goes on while keepGoing says so.
class WindowEventPass {
public:
    explicit WindowEventPass(std::function<bool()> keepGoing) : keepGoing_(std::move(keepGoing)) {}

    bool operator()()
    {
        if (!sinceLast_.isValid() || sinceLast_.hasExpired(kIntervalMs)) {
            QCoreApplication::processEvents();
            sinceLast_.start();
        }
        return keepGoing_();
    }

private:
    static constexpr qint64 kIntervalMs = 10;
    std::function<bool()> keepGoing_;
    QElapsedTimer sinceLast_;
};

}  // namespace sundrel
