// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MPEG audio frames: the four-byte header every frame starts with, the
// header frames (Xing, Info, VBRI) that describe a song instead of holding
// sound, and the Xing frame a kept piece of a song begins with.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sundrel {

enum class MpegVersion : std::uint8_t { Mpeg1, Mpeg2, Mpeg25 };

struct FrameHeader {
    MpegVersion Version = MpegVersion::Mpeg1;
    int Layer = 3;             // 1, 2 or 3
    bool Protected = false;    // a 16-bit CRC follows the header
    int BitRateIndex = 9;      // 1..14
    int SampleRateIndex = 0;   // 0..2
    bool Padding = false;
    int ChannelMode = 0;       // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono

    int BitRate() const;       // bits per second
    int SampleRate() const;    // samples per second
    int Samples() const;       // samples per channel in one frame
    int Length() const;        // bytes, header included
    bool Mono() const { return ChannelMode == 3; }
};

// The longest frame of any version, layer and rate, in bytes.
inline constexpr int MaxFrameLength = 2881;
// Bytes of a frame's header, and of the CRC that follows it in a protected
// frame (ISO/IEC 11172-3 2.4.1.2).
inline constexpr int FrameHeaderLength = 4;
inline constexpr int CrcLength = 2;

// Nothing for four bytes that are no frame header: no sync, a reserved
// version or layer, free format (bit-rate index 0), bit-rate index 15 or
// sample-rate index 3.
std::optional<FrameHeader> ParseFrameHeader(const unsigned char* bytes);
std::array<unsigned char, 4> EncodeFrameHeader(const FrameHeader& header);

// Frames of one stream share version, layer and sample rate; bit rate,
// padding and channel mode may change from frame to frame.
bool SameStream(const FrameHeader& a, const FrameHeader& b);

// The samples a Layer III decoder puts out before the first sample it was
// given to encode; gapless players drop them with the encoder's delay.
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

// `frame` holds the whole frame, header.Length() bytes. Nothing when the
// frame is an ordinary frame of sound.
std::optional<HeaderFrame> ReadHeaderFrame(const unsigned char* frame, const FrameHeader& header);

// Offset of the Xing or Info tag in a Layer III frame: after the header, its
// CRC and the side information.
int XingOffset(const FrameHeader& header);

// The gapless record of a kept file: samples a decoder drops, beyond its
// own DecoderDelay, before the first moment and after the last.
struct Gapless {
    int Delay = 0;    // 0..4095
    int Padding = 0;  // 0..4095
};

struct XingFields {
    bool Info = false;          // "Info" (frames of one bit rate) instead of "Xing"
    std::uint32_t Frames = 0;   // frames of sound after the header frame
    std::uint32_t Bytes = 0;    // bytes after the header frame (the frame adds its own)
    std::array<unsigned char, 100> Toc{};  // byte position of each percent of time, in 256ths
    std::optional<Gapless> Record;  // written as a LAME extension
};

// A Layer III frame that needs no frame before it: its own main data moved
// in from the bit reservoir of the frames before it (`before`: their main
// data bytes, the last ones last), main_data_begin 0, and after it the rest
// of what it carried, so that the frames after it find their reservoir as
// they did. At the smallest rate that holds it, without CRC. Nothing when
// no rate of its stream holds it, or `frame` is not a whole Layer III frame
// of `header`, or `before` holds less than its reservoir.
std::optional<std::vector<unsigned char>> SelfContainedFrame(const FrameHeader& header,
                                                             std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before);

// A Layer III frame with the header of `frame` (the flags decoders compare
// from frame to frame included), without CRC or padding, that decodes to
// silence and leaves the decoder as still as before it.
std::vector<unsigned char> SilentFrame(const unsigned char* frame);

// A Layer III Xing or Info frame of the model's version, sample rate and
// channel mode, without CRC, at the model's bit rate when that holds the
// fields and otherwise the smallest that does; its side information is
// zero, so a decoder that does not know Xing plays it as silence.
std::vector<unsigned char> BuildXingFrame(const FrameHeader& model, const XingFields& fields);

}  // namespace sundrel
