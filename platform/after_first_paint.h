// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QWidget;

namespace sundrel {

// Runs a task once, after a widget has been painted for the first time and
// that paint is on the screen: for work the window's first picture need not
// wait for (GStreamer's start, the song named on the command line). The
// task goes with the widget if it is never painted.
void RunAfterFirstPaint(QWidget* widget, std::function<void()> task);

}  // namespace sundrel
