// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The side information of a Layer III frame: the bits after the header (and
// its CRC) that tell a decoder where each granule's main data begins and how
// it is coded. Read and written by its named fields, so that one of them
// (global_gain, say) can be changed and the frame written back with its CRC
// right:
//
//     auto side = ReadSideInfo(header, frame);
//     side->Granule[g][c].GlobalGain -= 4;  // 6 dB quieter
//     WriteSideInfo(header, *side, frame);

#include "mpeg_frames.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace sundrel {

// Granules a frame holds at most (MPEG-1; MPEG-2 and 2.5 hold one), and
// channels.
inline constexpr int MaxGranules = 2;
inline constexpr int MaxChannels = 2;
// Scale-factor bands that scfsi tells of, ISO/IEC 11172-3 2.4.2.7.
inline constexpr int ScfsiBands = 4;
// Regions of big values coded with a table of their own, 11172-3 2.4.2.7.
inline constexpr int BigValueRegions = 3;
// Windows of a short block, each with a subblock_gain, 11172-3 2.4.2.7.
inline constexpr int ShortWindows = 3;

// The fields of one granule of one channel, as the bitstream holds them
// (ISO/IEC 11172-3 2.4.1.7, 13818-3 2.4.1.7). The bitstream holds
// block_type, mixed_block_flag and subblock_gain only with window
// switching, and then two table_select; region0_count and region1_count
// only without it; preflag only in MPEG-1. Fields it does not hold read as
// 0 and are not written.
struct GranuleInfo {
    int Part23Length = 0;  // part2_3_length: bits of scale factors and Huffman code
    int BigValues = 0;
    int GlobalGain = 0;  // the quantizer's step: 1.5 dB a step
    int ScalefacCompress = 0;
    bool WindowSwitching = false;  // window_switching_flag
    int BlockType = 0;
    bool MixedBlock = false;  // mixed_block_flag
    std::array<int, BigValueRegions> TableSelect{};
    std::array<int, ShortWindows> SubblockGain{};
    int Region0Count = 0;
    int Region1Count = 0;
    bool Preflag = false;
    bool ScalefacScale = false;
    bool Count1TableSelect = false;

    bool operator==(const GranuleInfo&) const = default;
};

struct SideInfo {
    int Granules = MaxGranules;  // of the frame: 2 in MPEG-1, 1 in MPEG-2 and 2.5
    int Channels = MaxChannels;  // 1 for mono
    // How far back the frame's main data begins: bytes of the main data of
    // the frames before it (the bit reservoir), their headers and side
    // information not counted.
    int MainDataBegin = 0;
    int PrivateBits = 0;
    // scfsi[channel][band]: the band's scale factors are those of granule 0
    // (MPEG-1 only).
    std::array<std::array<bool, ScfsiBands>, MaxChannels> Scfsi{};
    std::array<std::array<GranuleInfo, MaxChannels>, MaxGranules> Granule{};  // [granule][channel]

    // Bits of main data of all its granules and channels.
    int MainDataBits() const;

    bool operator==(const SideInfo&) const = default;
};

// Granules of a Layer III frame of this header: 2 in MPEG-1, 1 in MPEG-2
// and 2.5.
int GranulesPerFrame(const FrameHeader& header);
// Bytes of side information in a Layer III frame of this header: 17 or 32
// in MPEG-1, 9 or 17 in MPEG-2 and 2.5 (mono, or not).
int SideInfoLength(const FrameHeader& header);
// Bytes of a Layer III frame before its main data: header, CRC, side
// information.
int MainDataOffset(const FrameHeader& header);
// The largest main_data_begin of this header's version: how far back a
// frame's bit reservoir may reach, in bytes.
int MaxMainDataBegin(const FrameHeader& header);

// The side information of a Layer III frame of `header`; `frame` starts
// with the frame's header. Nothing for another layer, or when `frame` ends
// before the side information does.
std::optional<SideInfo> ReadSideInfo(const FrameHeader& header, std::span<const unsigned char> frame);

// Writes `side` into the frame of `header` and, when the header says the
// frame is protected, its CRC anew. False, and nothing written, for another
// layer, a frame shorter than its side information, granules or channels
// other than the header's, or a field that does not fit its width.
bool WriteSideInfo(const FrameHeader& header, const SideInfo& side, std::span<unsigned char> frame);

// The CRC-16 a protected Layer III frame carries after its header, worked
// out from its header and side information (ISO/IEC 11172-3 2.4.3.1).
// Nothing when `frame` ends before the side information does.
std::optional<std::uint16_t> FrameCrc(const FrameHeader& header, std::span<const unsigned char> frame);
// The CRC a protected frame carries in its two bytes after the header, as
// it stands; and FrameCrc written there. False, and nothing written, when
// `frame` ends before the side information does.
std::uint16_t StoredFrameCrc(std::span<const unsigned char> frame);
bool PutFrameCrc(const FrameHeader& header, std::span<unsigned char> frame);

}  // namespace sundrel
