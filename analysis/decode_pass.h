// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analyzer.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <vector>

namespace sundrel::analysis {

enum class DecodeOutcome {
    Finished,   // the whole song went through the analyzers
    Failed,     // not an MPEG audio file, or it broke off: what went through is all
    Cancelled,  // the stop token was asked to stop
};

// One pass of libmpg123 over an MP3 file, as the player hears it: gapless
// (the encoder's delay and padding that a LAME header tells are left out),
// at the song's own rate, always two channels (a mono song has its one
// channel twice), 32-bit float. Each block decoded goes to every analyzer
// in turn, then `afterBlock` is called; both on a thread of the pass's own,
// while the next blocks are decoded (analyzer and callback need not be
// thread-safe: they are called on that one thread, then finalised on the
// caller's once it has ended). Only a regular file is read; a
// FIFO, a device or a folder fails at once, never blocks. Reads check the
// stop token, so cancelling is prompt even in a long stretch of junk.
// Every analyzer is finalised whatever the outcome, once it was initialised.
DecodeOutcome DecodeSong(const std::filesystem::path& path, std::span<Analyzer* const> analyzers, std::stop_token stop,
                         const std::function<void()>& afterBlock = {});

// The loudest sample (a share of full scale, any channel) the song decodes
// to from one moment to another, decoded as DecodeSong decodes it: on the
// player's timeline, to the sample. Nothing when the file cannot be decoded
// there.
std::optional<float> LoudestSample(const std::filesystem::path& path, double fromSeconds, double toSeconds);

// A short file's whole sound, decoded as DecodeSong decodes it (gapless,
// 32-bit float), in the file's own channels: a mono file gives one.
struct DecodedSound {
    int Rate = 0;
    int Channels = 0;
    std::vector<float> Samples;  // interleaved, Channels to a frame
    std::size_t Frames() const { return Channels > 0 ? Samples.size() / std::size_t(Channels) : 0; }
};

// Decoding stops once the sound is longer than `longestSeconds`: what
// comes back is then longer, cut there; a ringtone is decoded whole, never
// a song. Nothing when the file cannot be decoded.
std::optional<DecodedSound> DecodeWhole(const std::filesystem::path& path, double longestSeconds);

}  // namespace sundrel::analysis
