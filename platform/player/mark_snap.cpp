// SPDX-License-Identifier: GPL-3.0-or-later
#include "mark_snap.h"

#include <cmath>

namespace sundrel {

double FrameGrid::nearest(double seconds) const
{
    return known() ? first + std::round((seconds - first) / length) * length : seconds;
}

double FrameGrid::holding(double seconds) const
{
    // The grid's moments sit half a sample into their frame: a moment just
    // past one still belongs to it.
    return known() ? first + std::floor((seconds - first) / length) * length : seconds;
}

}  // namespace sundrel
