// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QString;

namespace sundrel {

// An iPhone takes a ringtone of at most 40 seconds: a longer selection is
// told, in the warning colour on the display and in words to a screen
// reader and in the tooltip.
inline constexpr double kLongestRingtoneSeconds = 40;
QString TooLongWarning();

class WaveformBar;

// How a screen reader meets the waveform: a slider named as the bar is
// (播放进度), whose value is the position in seconds and whose text says the
// position, and the marks and the selection's length when there are.
// Installed once for every WaveformBar; later calls do nothing.
void InstallWaveformAccessible();

// What a screen reader hears of the bar: the position and the song's
// length, and the marks and the selection's length when there are (with
// the warning when it is too long for a ringtone).
QString WaveformValueText(const WaveformBar& bar);

}  // namespace sundrel
