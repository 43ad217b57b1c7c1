// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

namespace sundrel {

// Sets fontconfig up (its sixty-odd configuration files and its caches read,
// the longest single step of the program's start) on a thread of its own
// while Qt connects to the display, so that the window's first text finds
// it done. A window without text never needs it; ours cannot do without.
class FontSetupAhead final {
public:
    FontSetupAhead();
    ~FontSetupAhead();
    FontSetupAhead(const FontSetupAhead&) = delete;
    FontSetupAhead& operator=(const FontSetupAhead&) = delete;

    // Returns once fontconfig is set up. Called before any text is measured
    // or drawn: a font looked for meanwhile would set it up a second time.
    void wait();

private:
    std::thread thread_;
};

}  // namespace sundrel
