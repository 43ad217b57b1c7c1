// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace sundrel {

// Runs between the steps of a long task so that a window can handle its
// pending events; returning false abandons the task.
using EventPass = std::function<bool()>;

}  // namespace sundrel
