// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QString;

namespace sundrel {

class WaveformBar;

// How a screen reader meets the waveform: a slider named as the bar is
// (播放进度), whose value is the position in seconds and whose text says the
// position, and the marks and the selection's length when there are.
// Installed once for every WaveformBar; later calls do nothing.
void InstallWaveformAccessible();

// What a screen reader hears of the bar: the position and the song's
// length, and the marks and the selection's length when there are.
QString WaveformValueText(const WaveformBar& bar);

}  // namespace sundrel
