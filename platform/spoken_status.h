// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QLabel;
class QString;
class QWidget;

namespace sundrel {

// How a screen reader hears a window's status: every status set through
// SayStatus is spoken once, as it is set, wherever the keyboard focus is,
// the same words again too. Where Qt has announcements (6.8 on) the label
// announces it; on older Qt the label is a notification whose name is the
// status, changed once per status said.
void MakeStatusSpoken(QLabel* label);
void SayStatus(QLabel* label, const QString& text);

// Controls the program fills for itself out of view (and their frame): a
// screen reader neither finds them nor hears them change.
void KeepOutOfHearing(QWidget* widget);

}  // namespace sundrel
