// SPDX-License-Identifier: GPL-3.0-or-later
#include "font_setup_ahead.h"

#include <fontconfig/fontconfig.h>

namespace sundrel {

// Qt's font database calls FcInit itself, which then finds the set-up done.
FontSetupAhead::FontSetupAhead() : thread_([] { FcInit(); }) {}

FontSetupAhead::~FontSetupAhead() { wait(); }

void FontSetupAhead::wait()
{
    if (thread_.joinable())
        thread_.join();
}

}  // namespace sundrel
