// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The ringtone as an iPhone takes it, an M4R file: the one file the tool
// writes that is encoded again. It is made from the MP3 ringtone already
// written, whose fades and volume are in its frames: that file's sound,
// decoded as a player hears it, encoded as AAC-LC in an MPEG-4 file of the
// brand iTunes gives its ringtones.

#include "event_pass.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace sundrel {

// An iPhone plays no ringtone longer than this.
inline constexpr double LongestM4rSeconds = 40;

// A name ending in ".m4r", in any case.
bool IsM4rName(const std::filesystem::path& path);

enum class M4rFault {
    None,
    Undecodable,    // the MP3 ringtone is missing or gives no sound
    TooLong,        // over LongestM4rSeconds: nothing is written
    EncoderFailed,  // libavcodec or libavformat refused
    CannotWrite,    // the file could not be written or put in place: see Why
    Abandoned,      // the event pass said stop
};

struct M4rWrite {
    M4rFault Fault = M4rFault::None;
    std::error_code Why;  // for CannotWrite: the failing call's error (no folder, no permission, no space...)
    double Seconds = 0;   // how long the ringtone is, once decoded
};

// Writes the sound of the MP3 file `mp3` into `target` as M4R, titled
// `title`: encoded in memory, then written into a new hidden file beside
// the target and renamed onto it once whole, replacing a file of that name.
// On any fault nothing is left behind and the target is as it was. The
// event pass runs between the AAC frames.
M4rWrite WriteM4r(const std::filesystem::path& mp3, const std::filesystem::path& target, const std::string& title,
                  const EventPass& eventPass = {});

}  // namespace sundrel
