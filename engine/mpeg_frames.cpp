// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpeg_frames.h"

#include "side_info.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

namespace sundrel {
namespace {

// kbit/s by [MPEG-1 or not][layer - 1][index]: ISO/IEC 11172-3 2.4.2.3
// (bitrate_index) and 13818-3 2.4.2.3, which MPEG-2.5 shares. Index 0 (free
// format) and 15 are no rate a frame's length can be computed from.
constexpr int BitRates[2][3][HighestBitRateIndex + 1] = {
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
constexpr int BitsPerKbit = 1000;

// Samples a second by [version][index]: 11172-3 2.4.2.3 (sampling_frequency),
// 13818-3 2.4.2.3, and MPEG-2.5's halves of those.
constexpr int SampleRates[3][3] = {
    {44100, 48000, 32000},  // MPEG-1
    {22050, 24000, 16000},  // MPEG-2
    {11025, 12000, 8000},   // MPEG-2.5
};
constexpr int ReservedSampleRateIndex = 3;

// Samples of a frame: 11172-3 2.4.2.1 (Layer I 384, Layers II and III
// 1152); 13818-3 2.4.2.1 (Layer III at the lower rates, one granule: 576).
constexpr int LayerISamples = 384;
constexpr int FullSamples = 1152;
constexpr int LsfLayerIIISamples = 576;
// Layer I counts its length and padding in slots of four bytes, the other
// layers in bytes (11172-3 2.4.2.3, padding_bit).
constexpr int LayerISlotBytes = 4;

// A field of the header: its byte, and its bits in that byte.
struct HeaderField {
    std::size_t Byte;
    int Shift;
    unsigned Mask;
};
// 11172-3 2.4.1.3. The sync word is twelve bits; MPEG-2.5 takes its last
// for a version bit, so eleven are checked.
constexpr HeaderField SyncField{1, 5, 0x7};
constexpr HeaderField VersionField{1, 3, 0x3};
constexpr HeaderField LayerField{1, 1, 0x3};
constexpr HeaderField ProtectionField{1, 0, 0x1};  // 0: a CRC follows
constexpr HeaderField BitRateField{2, 4, 0xF};
constexpr HeaderField SampleRateField{2, 2, 0x3};
constexpr HeaderField PaddingField{2, 1, 0x1};
constexpr HeaderField PrivateField{2, 0, 0x1};
constexpr HeaderField ModeField{3, 6, 0x3};
constexpr HeaderField ModeExtensionField{3, 4, 0x3};
constexpr HeaderField CopyrightField{3, 3, 0x1};
constexpr HeaderField OriginalField{3, 2, 0x1};
constexpr HeaderField EmphasisField{3, 0, 0x3};

// The version field by MpegVersion (11172-3 2.4.2.3 ID: 1 is MPEG-1;
// 13818-3: 0 the lower rates; Fraunhofer's MPEG-2.5 then 0 in the sync's
// last bit), and the one no version has.
constexpr unsigned VersionBits[3] = {3, 2, 0};
constexpr unsigned ReservedVersionBits = 1;
// The layer field: 3 is Layer I, 2 Layer II, 1 Layer III, 0 reserved.
constexpr int LayerBitsOfLayerI = 4;
unsigned LayerBits(int layer) { return static_cast<unsigned>(LayerBitsOfLayerI - layer); }

int Get(std::span<const unsigned char> b, const HeaderField& f) {
    return static_cast<int>((b[f.Byte] >> f.Shift) & f.Mask);
}
void Put(std::array<unsigned char, FrameHeaderLength>& b, const HeaderField& f, unsigned value) {
    b[f.Byte] = static_cast<unsigned char>(b[f.Byte] | (value & f.Mask) << f.Shift);
}

bool IsMpeg1(const FrameHeader& h) { return h.Version == MpegVersion::Mpeg1; }

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
constexpr int EncoderNameLength = 9;       // "LAME3.100"
constexpr int EncoderKindLength = 4;       // "LAME", "Lavc", "Lavf": enough to tell them
constexpr int RevisionAndMethodAt = 9;     // tag revision (high four bits), VBR method (low four)
constexpr unsigned char MethodConstant = 1;  // "cbr"
constexpr unsigned char MethodVariable = 4;  // "vbr-mtrh", LAME's default VBR
constexpr int ExtensionDelayAt = 21;       // delay and padding, 12 bits each
constexpr int ExtensionDelayLength = 3;
constexpr int MusicLengthAt = 28;          // bytes of the whole stream
constexpr int TagCrcAt = 34;               // CRC of the frame's bytes before it
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

int FrameHeader::BitRate() const {
    return BitRates[IsMpeg1(*this) ? 0 : 1][Layer - 1][BitRateIndex] * BitsPerKbit;
}

int FrameHeader::SampleRate() const { return SampleRates[static_cast<int>(Version)][SampleRateIndex]; }

int FrameHeader::Samples() const {
    if (Layer == 1) return LayerISamples;
    if (Layer == 3 && !IsMpeg1(*this)) return LsfLayerIIISamples;
    return FullSamples;
}

int FrameHeader::Length() const {
    const int slot = Layer == 1 ? LayerISlotBytes : 1;
    return (Samples() / 8 / slot * BitRate() / SampleRate() + (Padding ? 1 : 0)) * slot;
}

std::optional<FrameHeader> ParseFrameHeader(std::span<const unsigned char> b) {
    if (b.size() < FrameHeaderLength || b[0] != FrameSyncByte || Get(b, SyncField) != static_cast<int>(SyncField.Mask)) return std::nullopt;
    const int versionBits = Get(b, VersionField);
    const int layerBits = Get(b, LayerField);
    const int bitRateIndex = Get(b, BitRateField);
    const int sampleRateIndex = Get(b, SampleRateField);
    if (versionBits == static_cast<int>(ReservedVersionBits) || layerBits == 0 ||
        bitRateIndex < LowestBitRateIndex || bitRateIndex > HighestBitRateIndex ||
        sampleRateIndex == ReservedSampleRateIndex)
        return std::nullopt;
    FrameHeader h;
    h.Version = versionBits == static_cast<int>(VersionBits[0])   ? MpegVersion::Mpeg1
                : versionBits == static_cast<int>(VersionBits[1]) ? MpegVersion::Mpeg2
                                                                  : MpegVersion::Mpeg25;
    h.Layer = LayerBitsOfLayerI - layerBits;
    h.Protected = Get(b, ProtectionField) == 0;
    h.BitRateIndex = bitRateIndex;
    h.SampleRateIndex = sampleRateIndex;
    h.Padding = Get(b, PaddingField) != 0;
    h.Private = Get(b, PrivateField) != 0;
    h.ChannelMode = Get(b, ModeField);
    h.ModeExtension = Get(b, ModeExtensionField);
    h.Copyright = Get(b, CopyrightField) != 0;
    h.Original = Get(b, OriginalField) != 0;
    h.Emphasis = Get(b, EmphasisField);
    return h;
}

std::array<unsigned char, FrameHeaderLength> EncodeFrameHeader(const FrameHeader& h) {
    std::array<unsigned char, FrameHeaderLength> b{FrameSyncByte, 0, 0, 0};
    const auto bit = [](bool on) { return on ? 1u : 0u; };
    Put(b, SyncField, SyncField.Mask);
    Put(b, VersionField, VersionBits[static_cast<int>(h.Version)]);
    Put(b, LayerField, LayerBits(h.Layer));
    Put(b, ProtectionField, bit(!h.Protected));
    Put(b, BitRateField, static_cast<unsigned>(h.BitRateIndex));
    Put(b, SampleRateField, static_cast<unsigned>(h.SampleRateIndex));
    Put(b, PaddingField, bit(h.Padding));
    Put(b, PrivateField, bit(h.Private));
    Put(b, ModeField, static_cast<unsigned>(h.ChannelMode));
    Put(b, ModeExtensionField, static_cast<unsigned>(h.ModeExtension));
    Put(b, CopyrightField, bit(h.Copyright));
    Put(b, OriginalField, bit(h.Original));
    Put(b, EmphasisField, static_cast<unsigned>(h.Emphasis));
    return b;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.Version == b.Version && a.Layer == b.Layer && a.SampleRateIndex == b.SampleRateIndex;
}

std::optional<FrameHeader> SmallestFrameHolding(FrameHeader h, int bytes, bool mayPad) {
    // A padded frame is one slot longer, never as long as the next rate's.
    for (h.BitRateIndex = LowestBitRateIndex; h.BitRateIndex <= HighestBitRateIndex; ++h.BitRateIndex)
        for (const bool padding : {false, true}) {
            if (padding && !mayPad) continue;
            h.Padding = padding;
            if (h.Length() >= bytes) return h;
        }
    return std::nullopt;
}

FrameHeader RebuiltHeader(const FrameHeader& original) {
    FrameHeader h = original;
    h.Protected = false;
    return h;
}

int XingOffset(const FrameHeader& h) { return MainDataOffset(h); }

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

std::optional<std::vector<unsigned char>> SilentFrame(std::span<const unsigned char> frame) {
    const auto original = ParseFrameHeader(frame);
    if (!original || original->Layer != 3) return std::nullopt;
    FrameHeader h = RebuiltHeader(*original);
    h.Padding = false;
    // No main data at all: every granule is zero.
    std::vector<unsigned char> silent(static_cast<std::size_t>(h.Length()), 0);
    const auto head = EncodeFrameHeader(h);
    std::copy(head.begin(), head.end(), silent.begin());
    return silent;
}

std::optional<std::vector<unsigned char>> SelfContainedFrame(std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before) {
    const std::optional<FrameHeader> original = ParseFrameHeader(frame);
    if (!original || original->Layer != 3 || frame.size() != static_cast<std::size_t>(original->Length()))
        return std::nullopt;
    const FrameHeader& header = *original;
    std::optional<SideInfo> side = ReadSideInfo(header, frame);
    if (!side) return std::nullopt;
    const auto reservoir = static_cast<std::size_t>(side->MainDataBegin);
    if (reservoir > before.size()) return std::nullopt;

    // The bytes from the frame's main data on: its reservoir, then its own.
    std::vector<unsigned char> data(before.end() - static_cast<std::ptrdiff_t>(reservoir), before.end());
    data.insert(data.end(), frame.begin() + MainDataOffset(header), frame.end());
    const auto own = static_cast<std::size_t>((side->MainDataBits() + 7) / 8);
    if (own > data.size()) return std::nullopt;

    const int needed = MainDataOffset(RebuiltHeader(header)) + static_cast<int>(data.size());
    const std::optional<FrameHeader> h = SmallestFrameHolding(RebuiltHeader(header), needed, true);
    if (!h) return std::nullopt;

    std::vector<unsigned char> rebuilt(static_cast<std::size_t>(h->Length()), 0);
    const auto head = EncodeFrameHeader(*h);
    std::copy(head.begin(), head.end(), rebuilt.begin());
    side->MainDataBegin = 0;
    if (!WriteSideInfo(*h, *side, rebuilt)) return std::nullopt;
    // Its own main data first; the bytes later frames reach back into stay
    // last, at the distance from the next frame they had.
    const auto dataAt = rebuilt.begin() + MainDataOffset(*h);
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(own), dataAt);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(own), data.end(),
              rebuilt.end() - static_cast<std::ptrdiff_t>(data.size() - own));
    return rebuilt;
}

std::vector<unsigned char> BuildXingFrame(const FrameHeader& model, const XingFields& fields) {
    // Of its model, a header frame keeps what makes it a frame of the
    // stream: version, sample rate, channel mode, and the rate when it can.
    FrameHeader h;
    h.Version = model.Version;
    h.Layer = 3;
    h.BitRateIndex = model.BitRateIndex;
    h.SampleRateIndex = model.SampleRateIndex;
    h.ChannelMode = model.ChannelMode;
    const int at = XingOffset(h);
    const int needed = at + XingFieldsLength + (fields.Record ? LameExtensionLength : 0);
    // The highest rate of the lowest sample rate holds the fields many times.
    if (h.Length() < needed) h = SmallestFrameHolding(h, needed, false).value();
    std::vector<unsigned char> frame(static_cast<std::size_t>(h.Length()), 0);
    const auto head = EncodeFrameHeader(h);
    std::memcpy(frame.data(), head.data(), head.size());
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
    // The quality field after the table stays 0.
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
