// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace sundrel {

// What the program sets up for its own process before it shows a window.
// A file-size limit (ulimit -f) then makes a write fail, which the cut
// reports, instead of killing the program with SIGXFSZ half-way through.
void PrepareProcess();

// The user's arguments (argv[1] on) as the file names they are: their bytes
// decoded as QtPath decodes a file's name, every byte kept, so that
// EnginePath gives back the very name, UTF-8 or not.
QStringList UserArguments(int argc, char* argv[]);

// The one option: --new-window opens a window of this start's own, where
// a song is otherwise handed to the window already open. It is removed from
// the arguments; after "--" it is a file's name like any other.
bool TakeNewWindowOption(QStringList& arguments);

}  // namespace sundrel
