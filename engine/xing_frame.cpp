// SPDX-License-Identifier: GPL-3.0-or-later
#include "xing_frame.h"

#include "side_info.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

namespace sundrel {
namespace {

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

void PutBigEndian32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// The Xing tag (the Xing VBR header layout, as LAME's tag layout document
// gives it): "Xing" or "Info", 32 bits of flags, then the fields the flags
// name, in this order.
constexpr int XingIdLength = 4;
constexpr int XingFlagsLength = 4;
constexpr std::uint32_t XingFlagFrames = 1;   // 4 bytes
constexpr std::uint32_t XingFlagBytes = 2;    // 4 bytes
constexpr std::uint32_t XingFlagToc = 4;      // XingTocEntries bytes
constexpr std::uint32_t XingFlagQuality = 8;  // 4 bytes
constexpr int XingCountLength = 4;
constexpr int XingFieldsLength =
    XingIdLength + XingFlagsLength + XingCountLength + XingCountLength + int(XingTocEntries) + XingCountLength;

// The encoder's extension after the Xing fields (the LAME tag layout, "Mp3
// info tag" revision 1); ffmpeg's encoder writes the same fields.
constexpr int EncoderNameLength = 9;         // "LAME3.100"
constexpr int EncoderKindLength = 4;         // "LAME", "Lavc", "Lavf": enough to tell them
constexpr int RevisionAndMethodAt = 9;       // tag revision (high four bits), VBR method (low four)
constexpr unsigned char MethodConstant = 1;  // "cbr"
constexpr unsigned char MethodVariable = 4;  // "vbr-mtrh", LAME's default VBR
constexpr int ExtensionDelayAt = 21;         // delay and padding, 12 bits each
constexpr int ExtensionDelayLength = 3;
constexpr int MusicLengthAt = 28;  // bytes of the whole stream
constexpr int TagCrcAt = 34;       // CRC of the frame's bytes before it
constexpr int LameExtensionLength = 36;
// The VBRI header (Fraunhofer's VBRI layout) stands 32 bytes after the
// frame's header, whatever the version and mode.
constexpr int VbriOffset = FrameHeaderLength + 32;
constexpr int VbriIdLength = 4;

constexpr const char* XingId = "Xing";
constexpr const char* InfoId = "Info";  // a Xing tag of frames of one bit rate

// Delay and padding, 12 bits each, in three bytes, most significant first.
constexpr int GaplessBits = 12;
static_assert(MaxGaplessSamples == (1 << GaplessBits) - 1);
Gapless ReadGapless(const unsigned char* p) {
    const unsigned both = unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | unsigned(p[2]);
    return {static_cast<int>(both >> GaplessBits), static_cast<int>(both & MaxGaplessSamples)};
}
void PutGapless(unsigned char* p, const Gapless& record) {
    const auto delay = static_cast<unsigned>(std::clamp(record.Delay, 0, MaxGaplessSamples));
    const auto padding = static_cast<unsigned>(std::clamp(record.Padding, 0, MaxGaplessSamples));
    const unsigned both = delay << GaplessBits | padding;
    for (int i = 0; i < ExtensionDelayLength; ++i) p[i] = static_cast<unsigned char>(both >> (8 * (2 - i)));
}

// CRC-16 with the polynomial 0x8005, bits reflected (0xA001), starting from
// 0: the one the LAME extension guards the header frame's first bytes with.
constexpr std::uint16_t TagCrcPolynomialReflected = 0xA001;
std::uint16_t TagCrc(const unsigned char* bytes, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>(crc >> 1 ^ TagCrcPolynomialReflected) : crc >> 1;
    }
    return crc;
}

}  // namespace

// Encoders write the tag right after the header and the side information's
// length, CRC or not, and decoders look for it there: lame writes a
// protected header frame's CRC over the first two bytes of its side
// information.
int XingOffset(const FrameHeader& h) { return FrameHeaderLength + SideInfoLength(h); }

std::optional<HeaderFrame> ReadHeaderFrame(std::span<const unsigned char> frame, const FrameHeader& header) {
    if (header.Layer != 3) return std::nullopt;
    // Every field is checked to end within the frame before it is read.
    const int length = static_cast<int>(std::min(frame.size(), static_cast<std::size_t>(header.Length())));
    const int at = XingOffset(header);
    const auto isTag = [&](int offset, const char* id) {
        return offset + XingIdLength <= length && std::memcmp(frame.data() + offset, id, XingIdLength) == 0;
    };
    if (at + XingIdLength + XingFlagsLength <= length && (isTag(at, XingId) || isTag(at, InfoId))) {
        HeaderFrame found;
        const std::uint32_t flags = BigEndian32(frame.data() + at + XingIdLength);
        const int count = at + XingIdLength + XingFlagsLength;
        if ((flags & XingFlagFrames) && count + XingCountLength <= length)
            found.Frames = BigEndian32(frame.data() + count);
        const int extension = at + XingIdLength + XingFlagsLength + ((flags & XingFlagFrames) ? XingCountLength : 0) +
                              ((flags & XingFlagBytes) ? XingCountLength : 0) +
                              ((flags & XingFlagToc) ? int(XingTocEntries) : 0) +
                              ((flags & XingFlagQuality) ? XingCountLength : 0);
        if (extension + ExtensionDelayAt + ExtensionDelayLength <= length) {
            const unsigned char* e = frame.data() + extension;
            const auto byEncoder = [&](const char* name) { return std::memcmp(e, name, EncoderKindLength) == 0; };
            found.Lame = byEncoder("LAME");
            if (found.Lame || byEncoder("Lavc") || byEncoder("Lavf")) {
                const Gapless record = ReadGapless(e + ExtensionDelayAt);
                found.EncoderDelay = record.Delay;
                found.Padding = record.Padding;
            }
        }
        return found;
    }
    if (VbriOffset + VbriIdLength <= length && std::memcmp(frame.data() + VbriOffset, "VBRI", VbriIdLength) == 0)
        return HeaderFrame{};
    return std::nullopt;
}

std::vector<unsigned char> BuildXingFrame(const FrameHeader& model, const XingFields& fields) {
    // Of its model, a header frame keeps what makes it a frame of the
    // stream, all that decoders compare with the frame after it, and the
    // rate when it can.
    FrameHeader h = model;
    h.Layer = 3;
    h.Padding = false;
    h.ModeExtension = 0;
    const int at = XingOffset(h);
    const int needed = at + XingFieldsLength + (fields.Record ? LameExtensionLength : 0);
    // The highest rate of the lowest sample rate holds the fields many times.
    if (h.Length() < needed) h = SmallestFrameHolding(h, needed, false).value();
    std::vector<unsigned char> frame = BlankFrame(h);
    unsigned char* x = frame.data() + at;
    std::memcpy(x, fields.Info ? InfoId : XingId, XingIdLength);
    unsigned char* field = x + XingIdLength;
    PutBigEndian32(field, XingFlagFrames | XingFlagBytes | XingFlagToc | XingFlagQuality);
    PutBigEndian32(field += XingFlagsLength, fields.Frames);
    // Decoders compare the count with the file: it holds the whole stream.
    const auto stream = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t(fields.Bytes) + frame.size(), std::numeric_limits<std::uint32_t>::max()));
    PutBigEndian32(field += XingCountLength, stream);
    std::memcpy(field += XingCountLength, fields.Toc.data(), fields.Toc.size());
    // The quality field after the table stays 0. A protected frame's CRC
    // covers the side information as decoders read it, the tag's first
    // bytes too, as lame writes it; the extension's CRC covers that one.
    if (h.Protected) PutFrameCrc(h, frame);
    if (fields.Record) {
        unsigned char* e = x + XingFieldsLength;
        // Players look for LAME's name before they trust the record.
        std::memcpy(e, "LAME3.100", EncoderNameLength);
        e[RevisionAndMethodAt] = fields.Info ? MethodConstant : MethodVariable;  // revision 0
        PutGapless(e + ExtensionDelayAt, *fields.Record);
        PutBigEndian32(e + MusicLengthAt, stream);
        const std::uint16_t crc = TagCrc(frame.data(), static_cast<std::size_t>(e + TagCrcAt - frame.data()));
        e[TagCrcAt] = static_cast<unsigned char>(crc >> 8);
        e[TagCrcAt + 1] = static_cast<unsigned char>(crc & 0xFF);
    }
    return frame;
}

}  // namespace sundrel
