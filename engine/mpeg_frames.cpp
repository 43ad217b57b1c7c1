// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpeg_frames.h"

#include <algorithm>
#include <cstddef>

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

}  // namespace

int FrameHeader::BitRate() const {
    if (BitRateIndex == FreeFormatBitRateIndex)
        return static_cast<int>(std::int64_t{FreeFormatLength} * 8 * SampleRate() / Samples());
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
    const int padding = Padding ? slot : 0;
    if (BitRateIndex == FreeFormatBitRateIndex) return FreeFormatLength + padding;
    return Samples() / 8 / slot * BitRate() / SampleRate() * slot + padding;
}

std::optional<FrameHeader> ParseFrameHeader(std::span<const unsigned char> b, int freeFormatLength) {
    if (b.size() < FrameHeaderLength || b[0] != FrameSyncByte || Get(b, SyncField) != static_cast<int>(SyncField.Mask))
        return std::nullopt;
    const int versionBits = Get(b, VersionField);
    const int layerBits = Get(b, LayerField);
    const int bitRateIndex = Get(b, BitRateField);
    const int sampleRateIndex = Get(b, SampleRateField);
    if (versionBits == static_cast<int>(ReservedVersionBits) || layerBits == 0 || bitRateIndex > HighestBitRateIndex ||
        sampleRateIndex == ReservedSampleRateIndex ||
        (bitRateIndex == FreeFormatBitRateIndex && freeFormatLength < ShortestFreeFormatLength))
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
    if (bitRateIndex == FreeFormatBitRateIndex) {
        h.FreeFormatLength = freeFormatLength;
        if (h.Length() > MaxFrameLength) return std::nullopt;
    }
    return h;
}

std::optional<FrameHeader> ParseFrameOfLength(std::span<const unsigned char> bytes, std::int64_t length) {
    if (length > MaxFrameLength) return std::nullopt;
    std::optional<FrameHeader> h = ParseFrameHeader(bytes);
    if (!h) {
        // A free-format frame is its length less its padding.
        h = ParseFrameHeader(bytes, ShortestFreeFormatLength);
        if (!h) return std::nullopt;
        const int padding = h->Length() - h->FreeFormatLength;
        h = ParseFrameHeader(bytes, static_cast<int>(length) - padding);
    }
    if (!h || h->Length() != length) return std::nullopt;
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

std::vector<unsigned char> BlankFrame(const FrameHeader& h) {
    std::vector<unsigned char> frame(static_cast<std::size_t>(h.Length()), 0);
    const auto head = EncodeFrameHeader(h);
    std::copy(head.begin(), head.end(), frame.begin());
    return frame;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.Version == b.Version && a.Layer == b.Layer && a.SampleRateIndex == b.SampleRateIndex;
}

std::optional<FrameHeader> SmallestFrameHolding(FrameHeader h, int bytes, bool mayPad) {
    h.FreeFormatLength = 0;
    // A padded frame is one slot longer, never as long as the next rate's.
    for (h.BitRateIndex = LowestBitRateIndex; h.BitRateIndex <= HighestBitRateIndex; ++h.BitRateIndex)
        for (const bool padding : {false, true}) {
            if (padding && !mayPad) continue;
            h.Padding = padding;
            if (h.Length() >= bytes) return h;
        }
    return std::nullopt;
}

namespace {

// Joint stereo codes its channels apart when it uses neither middle/side
// nor intensity stereo (mode extension 0, 11172-3 2.4.2.3 and 2.4.3.4.9),
// and a Layer III decoder then decodes them as in stereo or dual channel.
bool ChannelsCodedApart(const FrameHeader& h) {
    return !h.Mono() && (h.ChannelMode != JointStereoMode || h.ModeExtension == 0);
}

}  // namespace

bool DecodersTakeTogether(const FrameHeader& a, const FrameHeader& b) {
    return SameStream(a, b) && a.Protected == b.Protected && a.Private == b.Private && a.ChannelMode == b.ChannelMode &&
           a.Copyright == b.Copyright && a.Original == b.Original && a.Emphasis == b.Emphasis;
}

FrameHeader RebuiltHeader(const FrameHeader& original, const FrameHeader& next) {
    FrameHeader h = original;
    h.Protected = next.Protected;
    h.Private = next.Private;
    h.Copyright = next.Copyright;
    h.Original = next.Original;
    h.Emphasis = next.Emphasis;
    if (original.ChannelMode != next.ChannelMode && ChannelsCodedApart(original) && !next.Mono()) {
        h.ChannelMode = next.ChannelMode;
        h.ModeExtension = 0;
    }
    return h;
}

}  // namespace sundrel
