// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MPEG audio frames: the four-byte header every frame starts with, read
// and written as its fields.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sundrel {

enum class MpegVersion : std::uint8_t { Mpeg1, Mpeg2, Mpeg25 };

// Channel modes, ISO/IEC 11172-3 2.4.2.3 (mode).
inline constexpr int StereoMode = 0;
inline constexpr int JointStereoMode = 1;
inline constexpr int DualChannelMode = 2;
inline constexpr int MonoMode = 3;

// The fields of a frame's header, ISO/IEC 11172-3 2.4.1.3 (13818-3 2.4.1.3
// for the lower sample rates; MPEG-2.5 is Fraunhofer's extension of those,
// marked by the sync word's last bit).
struct FrameHeader {
    MpegVersion Version = MpegVersion::Mpeg1;
    int Layer = 3;            // 1, 2 or 3
    bool Protected = false;   // a 16-bit CRC follows the header
    int BitRateIndex = 9;     // 1..14, or 0 for free format
    int SampleRateIndex = 0;  // 0..2
    bool Padding = false;     // one slot more
    bool Private = false;     // private_bit, the encoder's own
    int ChannelMode = StereoMode;
    int ModeExtension = 0;  // how joint stereo is coded
    bool Copyright = false;
    bool Original = false;
    int Emphasis = 0;
    // A free-format frame's length without its padding: the distance to
    // the next frame, which only the stream tells (its header does not).
    int FreeFormatLength = 0;

    int BitRate() const;     // bits per second
    int SampleRate() const;  // samples per second
    int Samples() const;     // samples per channel in one frame
    int Length() const;      // bytes, header included
    bool Mono() const { return ChannelMode == MonoMode; }
};

// Bytes of a frame's header, and of the CRC that follows it in a protected
// frame (ISO/IEC 11172-3 2.4.1.2).
inline constexpr int FrameHeaderLength = 4;
inline constexpr int CrcLength = 2;
// Every header's first byte: the sync word's first eight bits (11172-3
// 2.4.2.3).
inline constexpr unsigned char FrameSyncByte = 0xFF;
// The longest frame of any version, layer and rate, in bytes: MPEG-2.5
// Layer II at 160 kbit/s and 8 kHz, padded.
inline constexpr int MaxFrameLength = 2881;
// The bit-rate indexes of a rate (11172-3 2.4.2.3): 0 is free format, 15 is
// forbidden.
inline constexpr int FreeFormatBitRateIndex = 0;
// The shortest free-format frame ParseFrameHeader takes: a header and a
// byte. Free-format frames are no longer than MaxFrameLength either.
inline constexpr int ShortestFreeFormatLength = FrameHeaderLength + 1;
inline constexpr int LowestBitRateIndex = 1;
inline constexpr int HighestBitRateIndex = 14;

// The header `bytes` begin with. Nothing for fewer than four bytes, or four
// that are no frame header: no sync, a reserved version or layer, bit-rate
// index 15 or sample-rate index 3; and free format (bit-rate index 0) unless
// the length of the stream's unpadded frames, `freeFormatLength`, is given
// (at least ShortestFreeFormatLength, at most MaxFrameLength padded).
std::optional<FrameHeader> ParseFrameHeader(std::span<const unsigned char> bytes, int freeFormatLength = 0);
// The header of a frame `length` bytes long, as a walk found it (a
// free-format frame's length is where the next begins); nothing when the
// bytes begin with no frame header, or with one of another length.
std::optional<FrameHeader> ParseFrameOfLength(std::span<const unsigned char> bytes, std::int64_t length);
std::array<unsigned char, FrameHeaderLength> EncodeFrameHeader(const FrameHeader& header);
// A frame of `header`, header.Length() bytes long: the header, and every
// byte after it zero.
std::vector<unsigned char> BlankFrame(const FrameHeader& header);

// Frames of one stream share version, layer and sample rate; bit rate,
// padding and channel mode may change from frame to frame.
bool SameStream(const FrameHeader& a, const FrameHeader& b);

// `header` at the smallest bit rate (and, when `mayPad`, padding) whose
// frame holds `bytes` bytes; nothing when no rate of its stream does. A
// free-format header becomes one of the stream's standard rates.
std::optional<FrameHeader> SmallestFrameHolding(FrameHeader header, int bytes, bool mayPad);

// Decoders take the frames at a stream's head for its sound only when
// neighbours agree in more than their stream: ffmpeg compares channel
// mode, copyright, original and emphasis of the two frames after a header
// frame (and else skips the first as junk), GStreamer the protection and
// private bits of the first few. True when `a` and `b` agree in all of it.
bool DecodersTakeTogether(const FrameHeader& a, const FrameHeader& b);

// The header of a frame rebuilt in the place of one of `original`, to stand
// before `next`, a frame of the same stream: of next, all that decoders
// compare (see DecodersTakeTogether), and its channel mode where the
// original's channels are coded as under it (two channels coded apart:
// stereo, dual channel, joint stereo with neither of its tools); of
// original, the rest, rate and padding too until the caller sets them.
FrameHeader RebuiltHeader(const FrameHeader& original, const FrameHeader& next);

}  // namespace sundrel
