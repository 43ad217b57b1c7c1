// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kept file, the ringtone itself: the one writer of its bytes, which
// the window's pieces and the command-line cutter both go through, and the
// whole cut of one request into one file with every check before it.

#include "block_copy.h"
#include "cut_plan.h"
#include "cut_request.h"
#include "event_pass.h"
#include "frame_walk.h"
#include "kept_gain.h"
#include "song_map.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace sundrel {

// What the hidden file of a piece being written is named for, the kept
// file's and the window's outer pieces' alike.
inline constexpr const char* PieceTemporary = "part";

// The bytes of one kept file: its header frames, the song's bytes of a
// stretch (all of them, or those of its ranges), its trailer; then its fades
// and volume laid on its frames.
struct KeptContent {
    std::vector<unsigned char> Header;
    std::int64_t At = 0;  // the stretch of the song, from this offset
    std::int64_t Count = 0;
    std::vector<ByteRange> Ranges;  // of the stretch, the bytes kept, in file order; empty: all
    std::vector<unsigned char> Trailer;
    GainPlan Gain;
};

// The stretch the planned piece lies in and what the kept file holds of it.
KeptContent ContentOf(const KeptPlan& plan);

// Why a kept file was not written; None when it was.
enum class KeptFault {
    None,
    // The request, against the song.
    NoFrames,          // no MPEG audio frames: not an MP3, or another format
    Silent,            // frames whose encoder delay and padding leave no sound
    EndNotAfterStart,  // or a length of none
    OutsideSong,       // a moment before 0 or after the song's end
    TooShort,          // less than one frame
    FadeTooLong,       // a fade negative or longer than LongestFadeSeconds
    VolumeTooLow,      // below MinVolumeSteps
    // The target.
    TargetIsSong,    // the song itself, by any name or link
    TargetIsFolder,  // a folder stands at the ringtone's path
    TargetNotAFile,  // a device, a FIFO or a socket does: never replaced
    TargetExists,    // and replacing it was not asked
    FolderMissing,   // the folder the target would lie in
    // The writing.
    CannotCreate,      // no new file beside the target (a read-only folder)
    SourceChanged,     // the song ended before the kept piece: not the song that was mapped
    WriteFailed,       // a write failed (a full disk, a file size limit)
    GainRefused,       // the kept frames cannot carry the fades or the volume
    CannotPutInPlace,  // the whole file could not be renamed onto the target
    Abandoned,         // the event pass said stop
};

struct KeptWrite {
    KeptFault Fault = KeptFault::None;
    // A hidden file of the writer's own that could not be removed.
    std::optional<std::filesystem::path> LeftBehind;
};

// Writes `content` into `target`, reading the stretch from `source`, which
// stands at content.At: first into a new hidden file beside the target,
// which gets the header, the kept bytes, the trailer, then the fades and
// volume, and is renamed onto the target once whole; so a file or link of
// that name is replaced, never written through. On any fault the hidden
// file goes and the target is as it was. An event pass runs before each
// block of the stretch (see CopyStretch) and each chunk of the gain.
KeptWrite PutKeptFile(Stream& source, const KeptContent& content, const std::filesystem::path& target,
                      const EventPass& eventPass);

// What becomes of a file already at the target.
enum class Existing { Keep, Replace };

// The ringtone of `request` cut out of the mapped song into `target`: the
// request checked against the song, the target against the song and its
// folder, the piece planned (PlanKept) and written (PutKeptFile). An end
// at most 5 ms past the song's end is taken as its end. Never touches a
// file but its own hidden one and the target, and the target only once
// the ringtone is whole.
struct KeptFileResult {
    KeptWrite Written;
    Selection Moments;  // what was cut, in seconds of playback
};
KeptFileResult WriteKeptFile(const SongMap& song, const CutRequest& request, const std::filesystem::path& target,
                             const EventPass& eventPass = {}, Existing existing = Existing::Keep);

}  // namespace sundrel
