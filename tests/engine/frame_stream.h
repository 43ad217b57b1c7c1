// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Synthetic MPEG audio streams for the engine tests. Headers are written
// here from their raw bit fields, not by the engine, so that the tests hold
// the engine to the format rather than to itself; frame lengths come from
// the engine's table, which mpeg_frames_test checks against known lengths.

#include "mpeg_frames.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sundrel::test {

// Bit fields as the header spells them: version 3 = MPEG-1, 2 = MPEG-2,
// 0 = MPEG-2.5; layer 1 = III, 2 = II, 3 = I; mode 3 = mono.
struct RawHeader {
    int version = 3, layer = 1, bitRate = 9, sampleRate = 0;
    bool padding = false;
    int mode = 3;
    bool crc = false;
};

// The bytes of a text, as the frame functions read them.
inline std::span<const unsigned char> AsBytes(const std::string& text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

inline std::string HeaderBytes(const RawHeader& h) {
    return {'\xFF', static_cast<char>(0xE0 | h.version << 3 | h.layer << 1 | (h.crc ? 0 : 1)),
            static_cast<char>(h.bitRate << 4 | h.sampleRate << 2 | (h.padding ? 2 : 0)),
            static_cast<char>(h.mode << 6)};
}

// The header, then `body`, then filler that never looks like a sync.
inline std::string FrameBytes(const RawHeader& h, const std::string& body = {}) {
    std::string frame = HeaderBytes(h) + body;
    frame.resize(static_cast<std::size_t>(ParseFrameHeader(AsBytes(frame))->Length()), '\x55');
    return frame;
}

// A Xing or Info frame: the tag at `offset`, flags and fields, and an
// encoder's extension with its delay when `encoder` is given.
inline std::string XingFrameBytes(const RawHeader& h, int offset, const std::string& tag = "Xing",
                                  const std::string& encoder = {}, int delay = 0, int flags = 15) {
    std::string body = std::string(static_cast<std::size_t>(offset - 4), '\0') + tag + std::string(3, '\0');
    body += static_cast<char>(flags);
    for (int flag : {1, 2, 4, 8})
        if (flags & flag) body += std::string(flag == 4 ? 100 : 4, '\x01');
    if (!encoder.empty())
        body += (encoder + std::string(21 - encoder.size(), '\0')) +
                std::string{static_cast<char>(delay >> 4), static_cast<char>((delay & 15) << 4), 0};
    return FrameBytes(h, body);
}

// Frames and other bytes one after another, remembering where each frame is.
struct FrameStream {
    FrameStream& Frame(const RawHeader& h, int count = 1) {
        for (int i = 0; i < count; ++i) {
            offsets.push_back(static_cast<std::int64_t>(bytes.size()));
            bytes += FrameBytes(h);
        }
        return *this;
    }
    FrameStream& Bytes(const std::string& more) {
        bytes += more;
        return *this;
    }
    std::string bytes;
    std::vector<std::int64_t> offsets;
};

}  // namespace sundrel::test
