// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace sundrel {

// An exclusive lock on the folder a cut puts its pieces in, held by the
// window from the first hidden piece to the removal of the outer ones, so
// that two cuts (two windows, or two copies of the program) never write,
// rename or remove each other's files, and leftovers found while it is held
// are truly a killed cut's. It is flock() on the folder itself: it leaves
// no file of its own behind, and two opens of one folder exclude each other
// within one process too.
class PieceFolderLock {
public:
    // Held: this cut alone writes there. Busy: another cut holds it.
    // Unavailable: the folder cannot be locked (not readable, or a file
    // system without locks); the cut may go on, but must leave what it
    // finds alone.
    enum class State { Held, Busy, Unavailable };

    // Tries once; tryAgain() tries again while Busy.
    explicit PieceFolderLock(const std::string& folder);
    ~PieceFolderLock();
    PieceFolderLock(const PieceFolderLock&) = delete;
    PieceFolderLock& operator=(const PieceFolderLock&) = delete;

    State state() const { return state_; }
    State tryAgain();

private:
    int fd_ = -1;
    State state_ = State::Unavailable;
};

}  // namespace sundrel
