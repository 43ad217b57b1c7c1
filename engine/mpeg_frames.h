// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MPEG audio frames: the four-byte header every frame starts with, the
// header frames (Xing, Info, VBRI) that describe a song instead of holding
// sound, and the Xing frame a kept piece of a song begins with.

#include <array>
#include <cstddef>
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
    int Layer = 3;             // 1, 2 or 3
    bool Protected = false;    // a 16-bit CRC follows the header
    int BitRateIndex = 9;      // 1..14
    int SampleRateIndex = 0;   // 0..2
    bool Padding = false;      // one slot more
    bool Private = false;      // private_bit, the encoder's own
    int ChannelMode = StereoMode;
    int ModeExtension = 0;     // how joint stereo is coded
    bool Copyright = false;
    bool Original = false;
    int Emphasis = 0;

    int BitRate() const;       // bits per second
    int SampleRate() const;    // samples per second
    int Samples() const;       // samples per channel in one frame
    int Length() const;        // bytes, header included
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
inline constexpr int LowestBitRateIndex = 1;
inline constexpr int HighestBitRateIndex = 14;

// The header `bytes` begin with. Nothing for fewer than four bytes, or four
// that are no frame header: no sync, a reserved version or layer, free
// format (bit-rate index 0), bit-rate index 15 or sample-rate index 3.
std::optional<FrameHeader> ParseFrameHeader(std::span<const unsigned char> bytes);
std::array<unsigned char, FrameHeaderLength> EncodeFrameHeader(const FrameHeader& header);

// Frames of one stream share version, layer and sample rate; bit rate,
// padding and channel mode may change from frame to frame.
bool SameStream(const FrameHeader& a, const FrameHeader& b);

// `header` at the smallest bit rate (and, when `mayPad`, padding) whose
// frame holds `bytes` bytes; nothing when no rate of its stream does.
std::optional<FrameHeader> SmallestFrameHolding(FrameHeader header, int bytes, bool mayPad);

// The header of a frame rebuilt in the place of one of `original`, written
// without a CRC: all that decoders compare from frame to frame stays
// (version, layer, sample rate, private bit, channel mode and its
// extension, copyright, original, emphasis), and so do rate and padding
// until the caller sets them.
FrameHeader RebuiltHeader(const FrameHeader& original);

// The samples a Layer III decoder puts out before the first sample it was
// given to encode: its filter bank's 528 and one (as LAME's tag layout
// document counts them); gapless players drop them with the encoder's delay.
inline constexpr int DecoderDelay = 529;

// What a header frame (Xing, Info or VBRI) tells. A Xing or Info frame that
// carries an encoder's extension gives the samples its encoder put before
// and after the song.
struct HeaderFrame {
    std::optional<int> EncoderDelay;
    int Padding = 0;
    // The extension is LAME's own: the one every gapless player honours
    // (GStreamer 1.22 ignores those of ffmpeg's encoder, Lavc and Lavf).
    bool Lame = false;
};

// `frame` is a frame of `header`, header.Length() bytes long (what lies
// beyond is not read; what it lacks is no tag). Nothing when the frame is
// an ordinary frame of sound.
std::optional<HeaderFrame> ReadHeaderFrame(std::span<const unsigned char> frame, const FrameHeader& header);

// Offset of the Xing or Info tag in a Layer III frame: after the header, its
// CRC and the side information.
int XingOffset(const FrameHeader& header);

// The gapless record of a kept file: samples a decoder drops, beyond its
// own DecoderDelay, before the first moment and after the last. LAME's
// extension holds each in 12 bits (the LAME tag layout, "encoder delays").
inline constexpr int MaxGaplessSamples = (1 << 12) - 1;
struct Gapless {
    int Delay = 0;    // 0..MaxGaplessSamples
    int Padding = 0;  // 0..MaxGaplessSamples
};

// The Xing tag's table of contents: where each percent of the time begins,
// in 256ths of the stream's bytes (the Xing VBR header layout).
inline constexpr std::size_t XingTocEntries = 100;
inline constexpr int XingTocScale = 256;

struct XingFields {
    bool Info = false;          // "Info" (frames of one bit rate) instead of "Xing"
    std::uint32_t Frames = 0;   // frames of sound after the header frame
    std::uint32_t Bytes = 0;    // bytes after the header frame (the frame adds its own)
    std::array<unsigned char, XingTocEntries> Toc{};
    std::optional<Gapless> Record;  // written as a LAME extension
};

// A Layer III frame that needs no frame before it: its own main data moved
// in from the bit reservoir of the frames before it (`before`: their main
// data bytes, the last ones last), main_data_begin 0, and after it the rest
// of what it carried, so that the frames after it find their reservoir as
// they did. At the smallest rate that holds it, without CRC. Nothing when
// no rate of its stream holds it, or `frame` is not exactly one whole Layer
// III frame, or `before` holds less than its reservoir.
std::optional<std::vector<unsigned char>> SelfContainedFrame(std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before);

// A Layer III frame with the header `frame` begins with (the flags decoders
// compare from frame to frame included), without CRC or padding, that
// decodes to silence and leaves the decoder as still as before it. Nothing
// when `frame` does not begin with a Layer III header.
std::optional<std::vector<unsigned char>> SilentFrame(std::span<const unsigned char> frame);

// A Layer III Xing or Info frame of the model's version, sample rate and
// channel mode, without CRC, at the model's bit rate when that holds the
// fields and otherwise the smallest that does; its side information is
// zero, so a decoder that does not know Xing plays it as silence.
std::vector<unsigned char> BuildXingFrame(const FrameHeader& model, const XingFields& fields);

}  // namespace sundrel
