// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece_folder_lock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sundrel {

PieceFolderLock::PieceFolderLock(const std::string& folder)
{
    // Pieces named without a folder go into the working one.
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0)
        tryAgain();
}

PieceFolderLock::~PieceFolderLock()
{
    // Closing the only descriptor of the open folder releases the lock.
    if (fd_ >= 0)
        ::close(fd_);
}

PieceFolderLock::State PieceFolderLock::tryAgain()
{
    if (fd_ < 0 || state_ == State::Held)
        return state_;
    int result = 0;
    do
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    state_ = result == 0 ? State::Held : errno == EWOULDBLOCK ? State::Busy : State::Unavailable;
    return state_;
}

}  // namespace sundrel
