// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where each moment of a song lies in its file: the MPEG audio frames of
// the sound between its tags, and the rule that turns a moment of playback
// into a byte offset.

#include "event_pass.h"
#include "frame_walk.h"
#include "kept_gain.h"
#include "mpeg_frames.h"
#include "song_tags.h"
#include "xing_frame.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sundrel {

// What a ringtone's file holds: its header frame, then the song's bytes
// [Begin, End).
struct KeptPiece {
    std::int64_t Begin = 0;
    std::int64_t End = 0;
    std::vector<unsigned char> Header;
    // Where its moments lie in the sound it decodes to, for its fades and
    // volume.
    KeptTimeline Timeline;
};

// A whole song mapped. Default-constructed, it is no song.
class SongMap {
public:
    SongMap() = default;
    // The tags alone, no frames: every moment maps linearly.
    explicit SongMap(const SongFile& file);

    const SongFile& File() const { return file_; }
    // The sound after the head tags and a header frame, before the tail tags
    // (or before a long stretch without frames).
    SoundSpan Sound() const { return sound_; }
    const FrameIndex& Frames() const { return walk_.Frames; }
    // The frames of sound differ in bit rate (VBR or ABR).
    bool VariableBitRate() const { return walk_.Frames.Count() > 0 && !walk_.SameBitRate; }
    // Samples the player drops before the song's first moment: LAME's
    // delay plus the decoder's own, or 0 when the song tells no delay a
    // player honours.
    int SkippedSamples() const;
    // Seconds of sound the player plays: every frame, less what it drops at
    // either end. Nothing for a song without frames.
    std::optional<double> Duration() const;

    // Where a moment (seconds) falls in the file, in KB of 1024 bytes.
    // Nothing for a zero, negative or non-finite duration or a non-finite
    // result. A song with frames maps to the first byte of the frame that
    // holds the moment; a song without frames maps linearly through its
    // sound.
    std::optional<double> PositionToKB(double position, double duration) const;

    // The ringtone of a song with frames from the moment start to the moment
    // end (seconds): whole frames, from early enough that the first one
    // heard decodes as in the song, and a header frame whose gapless record
    // makes a player start at start and stop at end. Nothing for a song
    // without frames, or for a selection shorter than one frame.
    std::optional<KeptPiece> Kept(double start, double end) const;

    // The header frame the kept file must begin with when it holds
    // [begin, begin + count) of this song: Info for frames of one bit
    // rate, Xing otherwise, with the gapless record when one is given.
    // Nothing for a song without frames, a layer other than III, or a piece
    // without a whole frame.
    // `lead`: frames the kept file holds before [begin, begin + count)
    // instead of the song's first one there (a silent frame, the first
    // frame rebuilt).
    std::optional<std::vector<unsigned char>> KeptHeader(std::int64_t begin, std::int64_t count,
                                                         std::optional<Gapless> record = {},
                                                         std::span<const unsigned char> lead = {}) const;

    // The frame of sound nearest a moment of playback (seconds): the middle
    // of its first sample, which maps into that frame and no other, and its
    // length. A cut lands on a frame, so that is where a mark truly sits.
    // Nothing for a song without frames.
    struct FrameMoment {
        double Start = 0;
        double Length = 0;
    };
    std::optional<FrameMoment> FrameNear(double position) const;

private:
    friend std::optional<SongMap> MapSong(const std::filesystem::path&, const SongFile&, const EventPass&);

    // A moment as the decoder puts it out: the frame, and the sample in it.
    struct Moment {
        std::size_t Frame = 0;
        int Sample = 0;
    };
    // Frame Count() for a moment after the last frame.
    Moment Locate(double position) const;
    const FrameHeader& StreamOf(std::size_t frame) const;
    std::size_t FirstOfStream(std::size_t frame) const;
    // The first of the frames before `frame` whose main data hold the
    // largest bit reservoir it may reach back into (or its stream's first
    // frame, when they hold less).
    std::size_t ReservoirFrom(std::size_t frame) const;
    // Frames before `frame` a decoder needs to put it out as in the song,
    // its reservoir included.
    std::size_t FirstToDecode(std::size_t frame, int sample) const;
    // The frames before `frame` that must decode whole for its first samples.
    std::size_t WarmUpFrom(std::size_t frame) const;
    // [from, to) of the song's file now; nothing when it cannot be read whole.
    std::optional<std::vector<unsigned char>> Read(std::int64_t from, std::int64_t to) const;
    // The frame rebuilt to need no reservoir (read from the file now);
    // nothing when it cannot be.
    std::optional<std::vector<unsigned char>> SelfContained(std::size_t frame) const;

    std::filesystem::path path_;
    SongFile file_;
    SoundSpan sound_;
    FrameWalk walk_;
    // Seconds the decoder puts out before each stream's first frame.
    std::vector<double> streamSeconds_;
};

// The song's duration as a player should use it: the player's own, unless
// it is missing, zero, or more than a second off what the frames tell
// (a header frame's wrong counts, a VBR song without one), then the map's.
std::optional<double> PlayedDuration(std::optional<double> player, const SongMap& map);
// The same rule, given the length the frames tell (the map's Duration()).
std::optional<double> PlayedDuration(std::optional<double> player, std::optional<double> frames);

// Walks the frames of the file's sound once, calling eventPass between
// chunks so that a window can paint; eventPass returning false abandons the
// walk and gives nothing. A file without frames (not audio, not regular,
// unreadable) gives a map without frames.
std::optional<SongMap> MapSong(const std::filesystem::path& path, const SongFile& file,
                               const EventPass& eventPass = {});

}  // namespace sundrel
