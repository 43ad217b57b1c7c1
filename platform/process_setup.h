// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sundrel {

// What the program sets up for its own process before it shows a window.
// A file-size limit (ulimit -f) then makes a write fail, which the cut
// reports, instead of killing the program with SIGXFSZ half-way through.
void PrepareProcess();

}  // namespace sundrel
