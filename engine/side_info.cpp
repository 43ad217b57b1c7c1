// SPDX-License-Identifier: GPL-3.0-or-later
#include "side_info.h"

#include <cstddef>

namespace sundrel {
namespace {

// Widths in bits of the side information's fields, in the order the
// bitstream holds them: ISO/IEC 11172-3 2.4.1.7 for MPEG-1, 13818-3 2.4.1.7
// for the lower sample rates of MPEG-2 and 2.5 ("LSF").
struct VersionWidths {
    int MainDataBegin;
    int PrivateBitsMono;
    int PrivateBitsStereo;
    bool Scfsi;  // scfsi, 1 bit a band and channel
    int ScalefacCompress;
    bool Preflag;  // preflag, 1 bit
};
constexpr VersionWidths Mpeg1Widths{9, 5, 3, true, 4, true};
constexpr VersionWidths LsfWidths{8, 1, 2, false, 9, false};

constexpr int FlagBits = 1;  // scfsi, the flags, preflag, scalefac_scale, count1table_select
constexpr int Part23LengthBits = 12;
constexpr int BigValuesBits = 9;
constexpr int GlobalGainBits = 8;
constexpr int BlockTypeBits = 2;
constexpr int TableSelectBits = 5;
constexpr int SubblockGainBits = 3;
constexpr int Region0CountBits = 4;
constexpr int Region1CountBits = 3;

// With window switching, the fields of a short or mixed block take the
// place of the third table_select and the region counts, bit for bit.
constexpr int SwitchedBlockBits =
    BlockTypeBits + FlagBits + (BigValueRegions - 1) * TableSelectBits + ShortWindows * SubblockGainBits;
constexpr int RegionBits = BigValueRegions * TableSelectBits + Region0CountBits + Region1CountBits;
static_assert(SwitchedBlockBits == RegionBits);

constexpr int GranuleBits(const VersionWidths& w) {
    return Part23LengthBits + BigValuesBits + GlobalGainBits + w.ScalefacCompress + FlagBits + RegionBits +
           (w.Preflag ? FlagBits : 0) + 2 * FlagBits;
}

constexpr int SideInfoBits(const VersionWidths& w, int granules, int channels) {
    return w.MainDataBegin + (channels == 1 ? w.PrivateBitsMono : w.PrivateBitsStereo) +
           (w.Scfsi ? channels * ScfsiBands * FlagBits : 0) + granules * channels * GranuleBits(w);
}

// The lengths the standards give: 11172-3 2.4.1.7 and 13818-3 2.4.1.7.
static_assert(SideInfoBits(Mpeg1Widths, 2, 1) == 17 * 8 && SideInfoBits(Mpeg1Widths, 2, 2) == 32 * 8);
static_assert(SideInfoBits(LsfWidths, 1, 1) == 9 * 8 && SideInfoBits(LsfWidths, 1, 2) == 17 * 8);

// The CRC of a protected frame, ISO/IEC 11172-3 2.4.3.1: the polynomial
// x^16 + x^15 + x^2 + 1, bits in from the most significant, from all ones.
constexpr std::uint16_t FrameCrcPolynomial = 0x8005;
constexpr std::uint16_t FrameCrcStart = 0xFFFF;
// It covers the header's last two bytes (from the bit-rate index on) and
// the side information.
constexpr std::size_t CrcFromHeaderByte = 2;

bool IsMpeg1(const FrameHeader& h) { return h.Version == MpegVersion::Mpeg1; }
const VersionWidths& WidthsOf(const FrameHeader& h) { return IsMpeg1(h) ? Mpeg1Widths : LsfWidths; }
int ChannelsOf(const FrameHeader& h) { return h.Mono() ? 1 : 2; }

// Big-endian bit fields of a span, every read and write checked against
// its end: past it, a read gives 0 (and Fits() turns false), a write
// writes nothing.
class BitReader {
public:
    explicit BitReader(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    unsigned Read(int width) {
        if (!Room(width)) return 0;
        unsigned value = 0;
        for (int i = 0; i < width; ++i, ++at_) value = value << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1u);
        return value;
    }
    bool Fits() const { return fits_; }

private:
    bool Room(int width) {
        fits_ = fits_ && at_ + static_cast<std::size_t>(width) <= bytes_.size() * 8;
        return fits_;
    }
    std::span<const unsigned char> bytes_;
    std::size_t at_ = 0;
    bool fits_ = true;
};

class BitWriter {
public:
    explicit BitWriter(std::span<unsigned char> bytes) : bytes_(bytes) {}
    void Write(unsigned value, int width) {
        if (at_ + static_cast<std::size_t>(width) > bytes_.size() * 8) return;
        for (int i = width - 1; i >= 0; --i, ++at_) {
            const auto mask = static_cast<unsigned char>(0x80u >> (at_ % 8));
            if ((value >> i) & 1u)
                bytes_[at_ / 8] |= mask;
            else
                bytes_[at_ / 8] &= static_cast<unsigned char>(~mask);
        }
    }

private:
    std::span<unsigned char> bytes_;
    std::size_t at_ = 0;
};

// Every field of the side information in bitstream order, handed to
// `field(value, width)`: the one place that order is written, for reading
// and for writing alike. Whether a granule switches windows is read before
// the fields that depend on it.
template <typename Side, typename Field>
void EachField(const VersionWidths& w, Side& side, Field&& field) {
    field(side.MainDataBegin, w.MainDataBegin);
    field(side.PrivateBits, side.Channels == 1 ? w.PrivateBitsMono : w.PrivateBitsStereo);
    if (w.Scfsi)
        for (int ch = 0; ch < side.Channels; ++ch)
            for (auto& band : side.Scfsi[static_cast<std::size_t>(ch)]) field(band, FlagBits);
    for (int gr = 0; gr < side.Granules; ++gr)
        for (int ch = 0; ch < side.Channels; ++ch) {
            auto& g = side.Granule[static_cast<std::size_t>(gr)][static_cast<std::size_t>(ch)];
            field(g.Part23Length, Part23LengthBits);
            field(g.BigValues, BigValuesBits);
            field(g.GlobalGain, GlobalGainBits);
            field(g.ScalefacCompress, w.ScalefacCompress);
            field(g.WindowSwitching, FlagBits);
            if (g.WindowSwitching) {
                field(g.BlockType, BlockTypeBits);
                field(g.MixedBlock, FlagBits);
                for (std::size_t r = 0; r + 1 < BigValueRegions; ++r) field(g.TableSelect[r], TableSelectBits);
                for (auto& gain : g.SubblockGain) field(gain, SubblockGainBits);
            } else {
                for (auto& table : g.TableSelect) field(table, TableSelectBits);
                field(g.Region0Count, Region0CountBits);
                field(g.Region1Count, Region1CountBits);
            }
            if (w.Preflag) field(g.Preflag, FlagBits);
            field(g.ScalefacScale, FlagBits);
            field(g.Count1TableSelect, FlagBits);
        }
}

bool HoldsSideInfo(const FrameHeader& h, std::size_t frameBytes) {
    return h.Layer == 3 && frameBytes >= static_cast<std::size_t>(MainDataOffset(h));
}

std::size_t SideInfoAt(const FrameHeader& h) {
    return static_cast<std::size_t>(FrameHeaderLength + (h.Protected ? CrcLength : 0));
}

std::uint16_t Crc16(std::uint16_t crc, std::span<const unsigned char> bytes) {
    for (const unsigned char byte : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000u) ? (crc << 1) ^ FrameCrcPolynomial : crc << 1);
    }
    return crc;
}

}  // namespace

int SideInfo::MainDataBits() const {
    int bits = 0;
    for (int gr = 0; gr < Granules; ++gr)
        for (int ch = 0; ch < Channels; ++ch)
            bits += Granule[static_cast<std::size_t>(gr)][static_cast<std::size_t>(ch)].Part23Length;
    return bits;
}

int GranulesPerFrame(const FrameHeader& h) { return IsMpeg1(h) ? MaxGranules : 1; }

int SideInfoLength(const FrameHeader& h) { return SideInfoBits(WidthsOf(h), GranulesPerFrame(h), ChannelsOf(h)) / 8; }

int MainDataOffset(const FrameHeader& h) { return static_cast<int>(SideInfoAt(h)) + SideInfoLength(h); }

int MaxMainDataBegin(const FrameHeader& h) { return (1 << WidthsOf(h).MainDataBegin) - 1; }

std::optional<SideInfo> ReadSideInfo(const FrameHeader& h, std::span<const unsigned char> frame) {
    if (!HoldsSideInfo(h, frame.size())) return std::nullopt;
    SideInfo side;
    side.Granules = GranulesPerFrame(h);
    side.Channels = ChannelsOf(h);
    BitReader bits(frame.subspan(SideInfoAt(h), static_cast<std::size_t>(SideInfoLength(h))));
    EachField(WidthsOf(h), side, [&](auto& value, int width) {
        value = static_cast<std::remove_reference_t<decltype(value)>>(bits.Read(width));
    });
    if (!bits.Fits()) return std::nullopt;
    return side;
}

bool WriteSideInfo(const FrameHeader& h, const SideInfo& side, std::span<unsigned char> frame) {
    if (!HoldsSideInfo(h, frame.size()) || side.Granules != GranulesPerFrame(h) || side.Channels != ChannelsOf(h))
        return false;
    bool fits = true;
    EachField(WidthsOf(h), side, [&](const auto& value, int width) {
        const int number = static_cast<int>(value);
        fits = fits && number >= 0 && number < (1 << width);
    });
    if (!fits) return false;
    BitWriter bits(frame.subspan(SideInfoAt(h), static_cast<std::size_t>(SideInfoLength(h))));
    EachField(WidthsOf(h), side,
              [&](const auto& value, int width) { bits.Write(static_cast<unsigned>(value), width); });
    if (h.Protected) PutFrameCrc(h, frame);
    return true;
}

std::optional<std::uint16_t> FrameCrc(const FrameHeader& h, std::span<const unsigned char> frame) {
    if (!HoldsSideInfo(h, frame.size())) return std::nullopt;
    const std::uint16_t header =
        Crc16(FrameCrcStart, frame.subspan(CrcFromHeaderByte, FrameHeaderLength - CrcFromHeaderByte));
    return Crc16(header, frame.subspan(SideInfoAt(h), static_cast<std::size_t>(SideInfoLength(h))));
}

std::uint16_t StoredFrameCrc(std::span<const unsigned char> frame) {
    return static_cast<std::uint16_t>(frame[FrameHeaderLength] << 8 | frame[FrameHeaderLength + 1]);
}

bool PutFrameCrc(const FrameHeader& h, std::span<unsigned char> frame) {
    const std::optional<std::uint16_t> crc = FrameCrc(h, frame);
    if (!crc) return false;
    frame[FrameHeaderLength] = static_cast<unsigned char>(*crc >> 8);
    frame[FrameHeaderLength + 1] = static_cast<unsigned char>(*crc & 0xFF);
    return true;
}

}  // namespace sundrel
