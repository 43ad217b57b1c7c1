// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpeg_frames.h"

#include "side_info.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace sundrel {
namespace {

// kbit/s by [MPEG-1 or not][layer - 1][index]; index 0 (free format) and 15
// are no rate a frame's length can be computed from.
constexpr int BitRates[2][3][15] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    },
};

constexpr int SampleRates[3][3] = {
    {44100, 48000, 32000},  // MPEG-1
    {22050, 24000, 16000},  // MPEG-2
    {11025, 12000, 8000},   // MPEG-2.5
};

// The two version bits and the two layer bits as the header spells them.
constexpr int VersionBits[3] = {3, 2, 0};
int LayerBits(int layer) { return 4 - layer; }

bool IsMpeg1(const FrameHeader& h) { return h.Version == MpegVersion::Mpeg1; }

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

void PutBigEndian32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

constexpr int XingFlagFrames = 1;
constexpr int XingFlagBytes = 2;
constexpr int XingFlagToc = 4;
constexpr int XingFlagQuality = 8;

// The encoder's extension: a 9-byte encoder name, then at byte 21 the
// delay and the padding in 12 bits each.
constexpr int ExtensionDelayAt = 21;
constexpr int ExtensionLength = 24;
// The whole extension as LAME writes it, its own CRC in the last two bytes.
constexpr int LameExtensionLength = 36;
constexpr int VbriOffset = 36;
constexpr int XingFieldsLength = 4 + 4 + 4 + 4 + 100 + 4;

// CRC-16 with the polynomial 0x8005, bits reflected, starting from 0: the
// one the LAME extension guards the header frame's first bytes with.
std::uint16_t Crc16(const unsigned char* bytes, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>(crc >> 1 ^ 0xA001) : crc >> 1;
    }
    return crc;
}

}  // namespace

int FrameHeader::BitRate() const { return BitRates[IsMpeg1(*this) ? 0 : 1][Layer - 1][BitRateIndex] * 1000; }

int FrameHeader::SampleRate() const { return SampleRates[static_cast<int>(Version)][SampleRateIndex]; }

int FrameHeader::Samples() const {
    if (Layer == 1) return 384;
    if (Layer == 3 && !IsMpeg1(*this)) return 576;
    return 1152;
}

int FrameHeader::Length() const {
    // Layer I counts in slots of four bytes; the others in bytes.
    if (Layer == 1) return (12 * BitRate() / SampleRate() + (Padding ? 1 : 0)) * 4;
    return Samples() / 8 * BitRate() / SampleRate() + (Padding ? 1 : 0);
}

std::optional<FrameHeader> ParseFrameHeader(const unsigned char* b) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionBits = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    const int bitRateIndex = b[2] >> 4;
    const int sampleRateIndex = (b[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 || sampleRateIndex == 3)
        return std::nullopt;
    FrameHeader h;
    h.Version = versionBits == 3 ? MpegVersion::Mpeg1 : versionBits == 2 ? MpegVersion::Mpeg2 : MpegVersion::Mpeg25;
    h.Layer = 4 - layerBits;
    h.Protected = (b[1] & 1) == 0;
    h.BitRateIndex = bitRateIndex;
    h.SampleRateIndex = sampleRateIndex;
    h.Padding = (b[2] & 2) != 0;
    h.ChannelMode = b[3] >> 6;
    return h;
}

std::array<unsigned char, 4> EncodeFrameHeader(const FrameHeader& h) {
    return {
        0xFF,
        static_cast<unsigned char>(0xE0 | VersionBits[static_cast<int>(h.Version)] << 3 | LayerBits(h.Layer) << 1 |
                                   (h.Protected ? 0 : 1)),
        static_cast<unsigned char>(h.BitRateIndex << 4 | h.SampleRateIndex << 2 | (h.Padding ? 2 : 0)),
        static_cast<unsigned char>(h.ChannelMode << 6),
    };
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.Version == b.Version && a.Layer == b.Layer && a.SampleRateIndex == b.SampleRateIndex;
}

int XingOffset(const FrameHeader& h) { return MainDataOffset(h); }

std::optional<HeaderFrame> ReadHeaderFrame(const unsigned char* frame, const FrameHeader& header) {
    if (header.Layer != 3) return std::nullopt;
    const int length = header.Length();
    const int at = XingOffset(header);
    if (at + 8 <= length && (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0)) {
        HeaderFrame found;
        const std::uint32_t flags = BigEndian32(frame + at + 4);
        const int extension = at + 8 + ((flags & XingFlagFrames) ? 4 : 0) + ((flags & XingFlagBytes) ? 4 : 0) +
                              ((flags & XingFlagToc) ? 100 : 0) + ((flags & XingFlagQuality) ? 4 : 0);
        if (extension + ExtensionLength <= length) {
            const unsigned char* e = frame + extension;
            found.Lame = std::memcmp(e, "LAME", 4) == 0;
            if (found.Lame || std::memcmp(e, "Lavc", 4) == 0 || std::memcmp(e, "Lavf", 4) == 0) {
                found.EncoderDelay = e[ExtensionDelayAt] << 4 | e[ExtensionDelayAt + 1] >> 4;
                found.Padding = (e[ExtensionDelayAt + 1] & 0x0F) << 8 | e[ExtensionDelayAt + 2];
            }
        }
        return found;
    }
    if (VbriOffset + 4 <= length && std::memcmp(frame + VbriOffset, "VBRI", 4) == 0) return HeaderFrame{};
    return std::nullopt;
}

std::vector<unsigned char> SilentFrame(const unsigned char* frame) {
    auto h = ParseFrameHeader(frame);
    if (!h || h->Layer != 3) return {};
    h->Protected = false;
    h->Padding = false;
    // No main data at all: every granule is zero.
    std::vector<unsigned char> silent(static_cast<std::size_t>(h->Length()), 0);
    const auto head = EncodeFrameHeader(*h);
    silent[0] = head[0];
    silent[1] = head[1];
    silent[2] = static_cast<unsigned char>(head[2] | (frame[2] & 1));
    silent[3] = frame[3];
    return silent;
}

std::optional<std::vector<unsigned char>> SelfContainedFrame(const FrameHeader& header,
                                                             std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before) {
    if (header.Layer != 3 || frame.size() != static_cast<std::size_t>(header.Length())) return std::nullopt;
    std::optional<SideInfo> side = ReadSideInfo(header, frame);
    if (!side) return std::nullopt;
    const auto reservoir = static_cast<std::size_t>(side->MainDataBegin);
    if (reservoir > before.size()) return std::nullopt;

    // The bytes from the frame's main data on: its reservoir, then its own.
    std::vector<unsigned char> data(before.end() - static_cast<std::ptrdiff_t>(reservoir), before.end());
    data.insert(data.end(), frame.begin() + MainDataOffset(header), frame.end());
    const auto own = static_cast<std::size_t>((side->MainDataBits() + 7) / 8);
    if (own > data.size()) return std::nullopt;

    FrameHeader h = header;
    h.Protected = false;
    const int sideLength = SideInfoLength(h);
    const int needed = 4 + sideLength + static_cast<int>(data.size());
    bool found = false;
    for (h.BitRateIndex = 1; h.BitRateIndex <= 14 && !found; ++h.BitRateIndex)
        for (const bool padding : {false, true}) {
            h.Padding = padding;
            if (h.Length() >= needed) {
                found = true;
                break;
            }
        }
    if (!found) return std::nullopt;
    --h.BitRateIndex;

    std::vector<unsigned char> rebuilt(static_cast<std::size_t>(h.Length()), 0);
    // The frame's own header but for rate, padding and CRC: its mode
    // extension, and the flags decoders compare from frame to frame, stay.
    const auto head = EncodeFrameHeader(h);
    std::copy(frame.begin(), frame.begin() + 4, rebuilt.begin());
    rebuilt[1] = head[1];
    rebuilt[2] = static_cast<unsigned char>(head[2] | (frame[2] & 1));
    side->MainDataBegin = 0;
    if (!WriteSideInfo(h, *side, rebuilt)) return std::nullopt;
    // Its own main data first; the bytes later frames reach back into stay
    // last, at the distance from the next frame they had.
    const auto dataAt = rebuilt.begin() + MainDataOffset(h);
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(own), dataAt);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(own), data.end(),
              rebuilt.end() - static_cast<std::ptrdiff_t>(data.size() - own));
    return rebuilt;
}

std::vector<unsigned char> BuildXingFrame(const FrameHeader& model, const XingFields& fields) {
    FrameHeader h = model;
    h.Layer = 3;
    h.Protected = false;
    h.Padding = false;
    const int at = XingOffset(h);
    const int needed = at + XingFieldsLength + (fields.Record ? LameExtensionLength : 0);
    if (h.Length() < needed)
        for (h.BitRateIndex = 1; h.BitRateIndex < 14 && h.Length() < needed; ++h.BitRateIndex) {
        }
    std::vector<unsigned char> frame(static_cast<std::size_t>(h.Length()), 0);
    const auto head = EncodeFrameHeader(h);
    std::memcpy(frame.data(), head.data(), head.size());
    unsigned char* x = frame.data() + at;
    std::memcpy(x, fields.Info ? "Info" : "Xing", 4);
    PutBigEndian32(x + 4, XingFlagFrames | XingFlagBytes | XingFlagToc | XingFlagQuality);
    PutBigEndian32(x + 8, fields.Frames);
    // Decoders compare the count with the file: it holds the whole stream.
    const auto stream = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t(fields.Bytes) + frame.size(), 0xFFFFFFFFu));
    PutBigEndian32(x + 12, stream);
    std::memcpy(x + 16, fields.Toc.data(), fields.Toc.size());
    if (fields.Record) {
        unsigned char* e = x + XingFieldsLength;
        // Players look for LAME's name before they trust the record.
        std::memcpy(e, "LAME3.100", 9);
        e[9] = fields.Info ? 1 : 4;  // revision 0; constant or variable rate
        const int delay = std::clamp(fields.Record->Delay, 0, 4095);
        const int padding = std::clamp(fields.Record->Padding, 0, 4095);
        e[ExtensionDelayAt] = static_cast<unsigned char>(delay >> 4);
        e[ExtensionDelayAt + 1] = static_cast<unsigned char>((delay & 15) << 4 | padding >> 8);
        e[ExtensionDelayAt + 2] = static_cast<unsigned char>(padding & 0xFF);
        PutBigEndian32(e + 28, stream);
        const std::size_t guarded = static_cast<std::size_t>(e + LameExtensionLength - 2 - frame.data());
        const std::uint16_t crc = Crc16(frame.data(), guarded);
        e[LameExtensionLength - 2] = static_cast<unsigned char>(crc >> 8);
        e[LameExtensionLength - 1] = static_cast<unsigned char>(crc & 0xFF);
    }
    return frame;
}

}  // namespace sundrel
