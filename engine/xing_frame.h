// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Header frames: the Xing, Info or VBRI frame that describes a song instead
// of holding sound, read from a song, and the Xing frame with LAME's
// gapless record that a kept piece begins with.

#include "mpeg_frames.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sundrel {

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
    // The frames of sound the tag counts (its frames field), true or not.
    std::optional<std::uint32_t> Frames;
};

// `frame` is a frame of `header`, header.Length() bytes long (what lies
// beyond is not read; what it lacks is no tag). Nothing when the frame is
// an ordinary frame of sound.
std::optional<HeaderFrame> ReadHeaderFrame(std::span<const unsigned char> frame, const FrameHeader& header);

// Offset of the Xing or Info tag in a Layer III frame: after the header and
// as many bytes as its side information holds, whether or not the frame
// carries a CRC (the LAME tag layout; lame, mpg123 and ffmpeg alike).
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
    bool Info = false;         // "Info" (frames of one bit rate) instead of "Xing"
    std::uint32_t Frames = 0;  // frames of sound after the header frame
    std::uint32_t Bytes = 0;   // bytes after the header frame (the frame adds its own)
    std::array<unsigned char, XingTocEntries> Toc{};
    std::optional<Gapless> Record;  // written as a LAME extension
};

// A Layer III Xing or Info frame with the model's header (what decoders
// compare with the frame after it included: a CRC when the model has one),
// without padding, at the model's bit rate (free format too) when that
// holds the fields and otherwise the smallest that does; its side
// information is zero up to the tag, so a decoder that does not know Xing
// plays it as silence.
std::vector<unsigned char> BuildXingFrame(const FrameHeader& model, const XingFields& fields);

}  // namespace sundrel
