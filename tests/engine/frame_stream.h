#pragma once

// Synthetic MPEG audio streams for the engine tests. Headers are written
// here from their raw bit fields, not by the engine, so that the tests hold
// the engine to the format rather than to itself; frame lengths come from
// the engine's table, which mpeg_frames_test checks against known lengths.

#include "mpeg_frames.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace sundrel::test {

// Bit fields as the header spells them: version 3 = MPEG-1, 2 = MPEG-2,
// 0 = MPEG-2.5; layer 1 = III, 2 = II, 3 = I; mode 3 = mono.
struct RawHeader {
    int version = 3;
    int layer = 1;
    int bitRate = 9;
    int sampleRate = 0;
    bool padding = false;
    int mode = 3;
    bool crc = false;
};

inline std::string HeaderBytes(const RawHeader& h) {
    return {'\xFF', static_cast<char>(0xE0 | h.version << 3 | h.layer << 1 | (h.crc ? 0 : 1)),
            static_cast<char>(h.bitRate << 4 | h.sampleRate << 2 | (h.padding ? 2 : 0)),
            static_cast<char>(h.mode << 6)};
}

inline int FrameLength(const RawHeader& h) {
    const std::string bytes = HeaderBytes(h);
    const auto header = ParseFrameHeader(reinterpret_cast<const unsigned char*>(bytes.data()));
    if (!header) throw std::invalid_argument("no frame header");
    return header->Length();
}

// A frame: its header, then `body` from the first byte after the header,
// then filler that never looks like a sync.
inline std::string FrameBytes(const RawHeader& h, const std::string& body = {}) {
    std::string frame = HeaderBytes(h) + body;
    frame.resize(static_cast<std::size_t>(FrameLength(h)), '\x55');
    return frame;
}

// A Xing (or Info) frame: the tag at `offset` (4 + side information), its
// flags and fields, and an encoder extension when `encoder` is given.
inline std::string XingFrameBytes(const RawHeader& h, int offset, const std::string& tag = "Xing",
                                  const std::string& encoder = {}, int delay = 0, std::uint32_t flags = 15) {
    std::string body(static_cast<std::size_t>(offset - 4), '\0');
    body += tag + std::string{0, 0, 0, static_cast<char>(flags)};
    for (std::uint32_t flag : {1u, 2u, 4u, 8u})
        if (flags & flag) body += std::string(flag == 4 ? 100 : 4, '\x01');
    if (!encoder.empty()) {
        std::string extension = encoder;
        extension.resize(21, '\0');
        extension += {static_cast<char>(delay >> 4), static_cast<char>((delay & 15) << 4), 0};
        body += extension;
    }
    return FrameBytes(h, body);
}

// Frames and other bytes one after another, remembering where each frame
// was put.
class FrameStream {
public:
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
