// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where each moment of a song lies in its file: the tags around the sound,
// the MPEG audio frames of the sound, and the rule that turns a moment of
// playback into a byte offset.

#include "event_pass.h"
#include "frame_walk.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sundrel {

// [First, End) of a file holds sound.
struct SoundSpan {
    std::int64_t First = 0;
    std::int64_t End = 0;
};

// The quick look at a chosen file, bounded in cost whatever the file holds.
struct SongFile {
    bool Regular = false;       // a regular file, links followed; nothing else is ever opened
    std::int64_t Length = 0;    // valid when Regular
    SoundSpan Sound;            // after the head tags and before the tail tags; the whole file
                                // when it has none or when a tag's size cannot be true
    bool SafeToDecode = false;  // may be handed to the media library: Regular, no tag claims
                                // more bytes than the file holds, and few chained head tags
    bool OtherFormat = false;   // its sound begins with the signature of a format that is not
                                // MPEG audio (FLAC, Ogg, WAVE, MP4...): no cut of it would play
};

// Reads the ID3v2 tags at the head and the ID3v1 and APEv2 tags at the tail,
// and the first bytes after the head tags for another format's signature.
SongFile ReadSongFile(const std::string& path);

// A whole song mapped. Default-constructed, it is no song.
class SongMap {
public:
    SongMap() = default;
    // The tags alone, no frames: every moment maps linearly.
    explicit SongMap(const SongFile& file);

    const SongFile& File() const { return file_; }
    // The sound after the head tags and a header frame, before the tail tags.
    SoundSpan Sound() const { return sound_; }
    const FrameIndex& Frames() const { return walk_.Frames; }
    // The frames of sound differ in bit rate (VBR or ABR).
    bool VariableBitRate() const { return walk_.Frames.Count() > 0 && !walk_.SameBitRate; }
    // Samples a player drops before the song's first moment: the encoder's
    // delay plus the decoder's own 529, or 0 when the song does not tell.
    int SkippedSamples() const;

    // Where a moment (seconds) falls in the file, in KB of 1024 bytes.
    // Nothing for a zero, negative or non-finite duration or a non-finite
    // result. A song whose frames differ in bit rate maps to the first byte
    // of the frame that holds the moment; any other song (one bit rate, or
    // no frames found) maps linearly through its sound.
    std::optional<double> PositionToKB(double position, double duration) const;

    // The header frame the kept file must begin with when it holds
    // [begin, begin + count) of this song: a fresh Xing frame when the frames
    // differ in bit rate; empty for a song of one bit rate, a song without
    // frames, a layer other than III, or a piece without a whole frame.
    std::vector<unsigned char> KeptHeader(std::int64_t begin, std::int64_t count) const;

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
    friend std::optional<SongMap> MapSong(const std::string&, const SongFile&, const EventPass&);

    SongFile file_;
    SoundSpan sound_;
    FrameWalk walk_;
};

// Walks the frames of the file's sound once, calling eventPass between
// chunks so that a window can paint; eventPass returning false abandons the
// walk and gives nothing. A file without frames (not audio, not regular,
// unreadable) gives a map without frames.
std::optional<SongMap> MapSong(const std::string& path, const SongFile& file, const EventPass& eventPass = {});

}  // namespace sundrel
