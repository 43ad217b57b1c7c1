// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the command line of sundrel-cut asks: the moments, fades and volume
// of each ringtone, where it goes, and the songs.

#include "kept_gain.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sundrel::cli {

// Where a ringtone begins, and where it ends or how long it lasts.
struct Moments {
    std::optional<double> StartSeconds;  // nothing: at the chorus
    std::optional<double> EndSeconds;    // one of these two, or neither with the chorus
    std::optional<double> LengthSeconds;
};

// A ringtone found by the chorus lasts this long unless told otherwise.
inline constexpr double ChorusLengthSeconds = 30;
// The loudest volume the command takes: it hears no sample, so it cannot
// tell where a song would clip as the window does.
inline constexpr double MaxVolumeDb = 12;

struct CutOptions {
    Moments When;
    KeptGain Gain;
    bool FadeOutGiven = false;                    // else the chorus's proposal says where it fades out
    std::optional<std::filesystem::path> Output;  // one song only
    std::optional<std::filesystem::path> Folder;  // nothing: beside each song
    bool Force = false;
    std::vector<std::filesystem::path> Songs;
};

// What the command line comes to: options to cut by, a text to print and
// leave (help, version), or a usage error.
struct ParsedCommand {
    enum class Kind { Cut, Help, Version, UsageError } What = Kind::UsageError;
    CutOptions Options;
    std::string Message;  // the usage error, in Chinese
};

ParsedCommand ParseCommand(int argc, const char* const* argv);

// The help text, in Chinese and English.
std::string HelpText();

}  // namespace sundrel::cli
