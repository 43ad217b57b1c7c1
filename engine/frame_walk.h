// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one pass over a song's sound that finds its MPEG audio frames.

#include "event_pass.h"
#include "mpeg_frames.h"
#include "xing_frame.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <vector>

namespace sundrel {

// Bytes [Begin, End) of a file.
struct ByteRange {
    std::int64_t Begin = 0;
    std::int64_t End = 0;
    bool operator==(const ByteRange&) const = default;
};

// Where each frame of sound lies, at four bytes a frame: the low 32 bits of
// each offset, plus short lists of what changes rarely (the high bits of
// the offsets, the chains of adjacent frames, the channel mode).
class FrameIndex {
public:
    void Add(std::int64_t offset, int length, int channelMode, int stream = 0);
    void Shrink();

    std::size_t Count() const { return low_.size(); }
    std::int64_t Offset(std::size_t i) const;
    // One past the frame's last byte.
    std::int64_t End(std::size_t i) const;
    int ChannelMode(std::size_t i) const;
    // Which of the walk's streams the frame belongs to.
    int Stream(std::size_t i) const;
    // The first frame that starts at or after `offset`, and the first that
    // ends after it; Count() when there is none.
    std::size_t FirstStartingFrom(std::int64_t offset) const;
    std::size_t FirstEndingAfter(std::int64_t offset) const;
    // The bytes of frames [first, after), one range for each stretch of
    // adjacent frames, in file order.
    std::vector<ByteRange> Stretches(std::size_t first, std::size_t after) const;

private:
    // A value that holds from frame First on, up to the next run.
    struct Run {
        std::size_t First = 0;
        std::int64_t Value = 0;
    };
    static const Run& RunAt(const std::vector<Run>& runs, std::size_t i);
    static void Note(std::vector<Run>& runs, std::size_t i, std::int64_t value);

    std::vector<std::uint32_t> low_;
    std::vector<Run> high_;    // offset >> 32
    std::vector<Run> chains_;  // end of each stretch of adjacent frames
    std::vector<Run> modes_;
    std::vector<Run> streams_;
};

// A stretch of frames that share version, layer and sample rate.
struct StreamStart {
    std::size_t FirstFrame = 0;
    FrameHeader Header;  // its first frame's
};

struct FrameWalk {
    FrameIndex Frames;                  // the frames of sound, header frame excluded
    std::optional<FrameHeader> Stream;  // the first frame found: version, layer, sample rate
    // Every stream in file order, the first one's first frame first; a song
    // made of two encodes joined has two.
    std::vector<StreamStart> Streams;
    bool SameBitRate = true;                     // every frame of sound has the same bit rate
    std::optional<std::int64_t> HeaderFrameEnd;  // after a Xing, Info or VBRI first frame
    HeaderFrame Header;                          // what that header frame tells
    // Where the sound ends when the walk stopped before the end it was
    // given: the bytes after the last frame held no frames for too long.
    std::optional<std::int64_t> SoundEnd;
};

// Bytes without a frame after which, as for decoders, nothing more is sound.
inline constexpr std::int64_t MaxGapInSound = 1024 * 1024;
// Adjacent frames of one stream the walk needs before any of them counts.
inline constexpr int LockFrames = 4;

// Walks the frames of [first, end) of `in` in one sequential pass, calling
// eventPass after each chunk read. A frame counts only in a chain of several
// adjacent frames of one stream, so garbage that happens to look like a
// header is passed over; a new stream needs a longer chain than the song's
// own; a chain that ends the sound, at its last byte, counts whatever its
// length. Once sound has begun, a stretch
// of MaxGapInSound bytes without a frame ends it. Nothing when the event
// pass abandons the walk.
std::optional<FrameWalk> WalkFrames(std::istream& in, std::int64_t first, std::int64_t end,
                                    const EventPass& eventPass = {});

}  // namespace sundrel
