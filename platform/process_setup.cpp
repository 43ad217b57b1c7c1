// SPDX-License-Identifier: GPL-3.0-or-later
#include "process_setup.h"

#include <csignal>

namespace sundrel {

void PrepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace sundrel
