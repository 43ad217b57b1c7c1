// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cut_state.h"

#include <functional>

namespace sundrel {

class Desktop;
class MediaPlayer;

// What every window is given: the shared part of the cut, the desktop, and
// how to make a media player (a test hands in a fake).
struct AppServices {
    SharedCutState& shared;
    Desktop& desktop;
    std::function<MediaPlayer*(int volume)> makePlayer;
};

}  // namespace sundrel
