// SPDX-License-Identifier: GPL-3.0-or-later
// The resident memory of this process, as Linux tells it, for the
// benchmarks that watch a cut's memory.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace sundrel::bench {

// A figure of /proc/self/status, in KB ("VmHWM" the peak, "VmRSS" now);
// -1 when there is none.
inline long StatusKB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    return -1;
}

// Lets VmHWM measure from now on (Linux resets the peak on "5").
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace sundrel::bench
