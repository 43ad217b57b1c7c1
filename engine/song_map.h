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

// What a ringtone's file holds: its header frames, then the song's bytes of
// each range in turn: its frames, adjacent ones in one range, without what
// lay between them in the song; then its trailer. At least one range; the
// only one is empty when the kept file holds none of the song's frames as
// they were.
struct KeptPiece {
    std::vector<ByteRange> Ranges;
    std::vector<unsigned char> Header;
    // Silent frames that end the file where the song's would end it as if a
    // tag stood there; mostly none.
    std::vector<unsigned char> Trailer;
    // Where its moments lie in the sound it decodes to, for its fades and
    // volume.
    KeptTimeline Timeline;

    // The stretch of the song the ranges lie in.
    std::int64_t Begin() const { return Ranges.front().Begin; }
    std::int64_t End() const { return Ranges.back().End; }
    // Bytes of the song the kept file holds.
    std::int64_t Bytes() const;
};

// A whole song mapped. Default-constructed, it is no song.
class SongMap {
public:
    SongMap() = default;
    // The tags alone, no frames: every moment maps linearly.
    explicit SongMap(const SongFile& file);

    const SongFile& File() const { return file_; }
    // The file it was mapped from; empty for a map of the tags alone.
    const std::filesystem::path& Path() const { return path_; }
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
    // The moment of playback where a header frame's counts claim the song
    // ends, when they claim it ends before its frames do: a gapless player
    // drops samples there and plays on. Nothing for a true count.
    std::optional<double> ClaimedEnd() const;

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
    // [begin, begin + count) of this song (or the bytes of `ranges`, one
    // after another): Info for frames of one bit rate, Xing otherwise,
    // with the gapless record when one is given. Nothing for a song
    // without frames, a layer other than III, or a piece without a whole
    // frame.
    std::optional<std::vector<unsigned char>> KeptHeader(std::int64_t begin, std::int64_t count,
                                                         std::optional<Gapless> record = {}) const;
    // Frames built for a kept file, each whole.
    using BuiltFrames = std::vector<std::vector<unsigned char>>;
    // `lead` and `trailer`: frames it holds before and after the song's.
    std::optional<std::vector<unsigned char>> KeptHeader(std::span<const ByteRange> ranges,
                                                         std::optional<Gapless> record, const BuiltFrames& lead,
                                                         const BuiltFrames& trailer) const;

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
    // One past the last frame of the stream of `frame`.
    std::size_t EndOfStream(std::size_t frame) const;
    // The first of the frames before `frame` whose main data hold the
    // largest bit reservoir it may reach back into (or its stream's first
    // frame, when they hold less).
    std::size_t ReservoirFrom(std::size_t frame) const;
    // The frames before `frame` that must decode whole for its first samples.
    std::size_t WarmUpFrom(std::size_t frame) const;
    // [from, to) of the song's file now; nothing when it cannot be read whole.
    std::optional<std::vector<unsigned char>> Read(std::int64_t from, std::int64_t to) const;
    // The header of `frame`, whose bytes `bytes` begin with; or read from
    // the file now.
    std::optional<FrameHeader> HeaderOf(std::size_t frame, std::span<const unsigned char> bytes) const;
    std::optional<FrameHeader> ReadHeader(std::size_t frame) const;

    // The frames a kept file holds ahead of the song's, so that its frame
    // `first` decodes as in the song: `first` rebuilt to carry its own bit
    // reservoir, or kept as it is after a silent frame that carries it; a
    // silent frame also where decoders would not take the rebuilt frame
    // for the stream, and where `silence` asks for one. Read from the file
    // now; nothing when it cannot be.
    struct Lead {
        BuiltFrames Frames;
        std::size_t FirstCopied = 0;  // the first of the song's frames after them
        int Samples = 0;              // what they put out before the frame `first`'s
    };
    // `budget`: samples of silent frames the record can drop.
    std::optional<Lead> LeadFrames(std::size_t first, std::size_t after, bool silence, int budget) const;
    // The kept piece from the moment `from` to the end of frame after - 1,
    // then `trailer`; the record drops `padding` samples at its end.
    KeptPiece PieceOf(Moment from, std::size_t after, int padding, const BuiltFrames& trailer) const;
    // The last bytes of the kept file, as many as a tag reader looks at.
    std::vector<unsigned char> TailOf(const KeptPiece& kept) const;

    std::filesystem::path path_;
    SongFile file_;
    SoundSpan sound_;
    FrameWalk walk_;
    // Seconds the decoder puts out before each stream's first frame.
    std::vector<double> streamSeconds_;

    // Where the player's time meets the decoder's output (seconds from the
    // first frame's first sample), the one place both ways are worked out.
    // A gapless player skips the song's delay before its time 0; and a
    // header frame that counts fewer frames than the song has ends the
    // song early for it: there it drops the padding less its own delay (the
    // claimed last frame's samples it has not yet put out) and plays on
    // from the next frame, so all after that lies later in the output.
    struct Drop {
        double At = 0;       // of the output, where the player's drop begins
        double Seconds = 0;  // dropped
    };
    std::optional<Drop> claimedEnd_;
    std::optional<Drop> DropAtClaimedEnd() const;
    double OutputSeconds(double played) const;
    // A moment of output inside the drop plays where the drop is.
    double PlayedSeconds(double output) const;
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
