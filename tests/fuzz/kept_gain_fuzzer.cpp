// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a song, a selection in it, and fades and a volume: the kept
// piece written plain, then again with the fades and volume, as a cut
// writes it. The second may differ from the first only in its granules'
// global_gain and in the CRCs that cover them: it walks to the same
// frames, its side information is the same but for the gains, a right CRC
// stays right (a wrong one wrong), and nothing is written beside the folder.

#include "cut_engine.h"
#include "fuzz_support.h"
#include "side_info.h"
#include "song_map.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::fuzz;
namespace fs = std::filesystem;

namespace {

// The kept file of the piece with `gain`, as the window writes it.
WrittenPieces Cut(const KeptPiece& kept, const KeptGain& gain, const fs::path& rings, const std::string& source,
                  std::int64_t length) {
    CutState cut;
    cut.SourcePath = source;
    cut.SourceName = "song.mp3";
    cut.DestDir = rings.string() + "/";
    cut.SourceLen = length;
    cut.SegBytes = {kept.Begin(), kept.End() - kept.Begin(), length - kept.End()};
    cut.SegLast = 2;
    cut.KeptHeader = kept.Header;
    cut.KeptRanges = kept.Ranges;
    cut.KeptTrailer = kept.Trailer;
    cut.KeptGain = GainPlan{gain, kept.Timeline};
    WrittenPieces written = WritePieces(cut, {}, Leftovers::Remove);
    FUZZ_REQUIRE(RemoveOuterPieces(written), "the outer pieces go");
    return written;
}

// The side information with every global_gain set to 0: what a gain may
// not change.
SideInfo WithoutGains(SideInfo side) {
    for (auto& granule : side.Granule)
        for (GranuleInfo& channel : granule) channel.GlobalGain = 0;
    return side;
}

void CheckOnlyGainsChanged(std::span<const unsigned char> plain, std::span<const unsigned char> shaped) {
    const auto header = ParseFrameOfLength(plain, std::ssize(plain));
    FUZZ_REQUIRE(header && header->Layer == 3, "a frame that took a gain is a Layer III frame");
    const auto before = ReadSideInfo(*header, plain);
    const auto after = ReadSideInfo(*header, shaped);
    FUZZ_REQUIRE(before && after, "both frames hold their side information");
    FUZZ_REQUIRE(WithoutGains(*before) == WithoutGains(*after), "only global_gain changes in the side information");
    const auto sideEnd = static_cast<std::size_t>(MainDataOffset(*header));
    // The CRC's bytes and the side information may change, as checked
    // here; the rest not at all.
    for (std::size_t i = 0; i < plain.size(); ++i)
        if (i < FrameHeaderLength || i >= sideEnd)
            FUZZ_REQUIRE(plain[i] == shaped[i], "the header and the main data stay as they were");
    if (!header->Protected) return;
    const bool rightBefore = FrameCrc(*header, plain) == StoredFrameCrc(plain);
    const bool rightAfter = FrameCrc(*header, shaped) == StoredFrameCrc(shaped);
    FUZZ_REQUIRE(rightBefore == rightAfter, "a right CRC stays right, a wrong one wrong");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // A selection that mostly holds frames to shape: from a moment in the
    // song's first 90 %, at least 30 % of what follows it.
    const double startShare = input.ConsumeFloatingPointInRange(0.0, 0.9);
    const double lengthShare = input.ConsumeFloatingPointInRange(0.3, 1.0);
    KeptGain gain;
    gain.FadeInSeconds = input.ConsumeFloatingPointInRange(0.0, MaxFadeSeconds);
    gain.FadeOutSeconds = input.ConsumeFloatingPointInRange(0.0, MaxFadeSeconds);
    gain.VolumeSteps = input.ConsumeIntegralInRange(MinVolumeSteps, 16);
    const Bytes song = input.ConsumeRemainingBytes<unsigned char>();

    const fs::path work = Folder() / "work";
    const std::string source = LayOutWork(song);
    const auto map = MapSong(source, ReadSongFile(source));
    const auto duration = map ? map->Duration() : std::nullopt;
    if (!duration) return 0;
    const double start = startShare * *duration;
    const auto kept = map->Kept(start, start + lengthShare * (*duration - start));
    if (!kept || kept->Timeline.SampleRate == 0) return 0;

    const auto length = static_cast<std::int64_t>(song.size());
    if (!Cut(*kept, {}, work / "rings", source, length).Kept) return 0;
    const fs::path keptPath = work / "rings" / "[铃声]1song.mp3";
    const fs::path plainPath = work / "rings" / "plain.mp3";
    fs::rename(keptPath, plainPath);
    const WrittenPieces shaped = Cut(*kept, gain, work / "rings", source, length);

    FUZZ_REQUIRE(Names(Folder()) == std::vector<std::string>{"work"}, "nothing is written beside the folders");
    FUZZ_REQUIRE(Read(source) == song, "the song is left as it was");
    const std::vector<std::string> names =
        shaped.Kept ? std::vector<std::string>{"[铃声]1song.mp3", "plain.mp3"} : std::vector<std::string>{"plain.mp3"};
    FUZZ_REQUIRE(Names(work / "rings") == names, "the kept file alone is left, or nothing when the gain is refused");
    if (!shaped.Kept) return 0;

    const Bytes plain = Read(plainPath);
    const Bytes laid = Read(keptPath);
    FUZZ_REQUIRE(plain.size() == laid.size(), "the fades and volume keep the file's length");
    const auto plainMap = MapSong(plainPath, ReadSongFile(plainPath));
    const auto laidMap = MapSong(keptPath, ReadSongFile(keptPath));
    FUZZ_REQUIRE(plainMap && laidMap, "both kept files map");
    const FrameIndex& frames = plainMap->Frames();
    FUZZ_REQUIRE(laidMap->Frames().Count() == frames.Count(), "the kept file walks to the same frames");
    std::vector<bool> inFrames(plain.size());
    for (std::size_t i = 0; i < frames.Count(); ++i) {
        const auto at = static_cast<std::size_t>(frames.Offset(i));
        const auto bytes = static_cast<std::size_t>(frames.End(i) - frames.Offset(i));
        FUZZ_REQUIRE(laidMap->Frames().Offset(i) == frames.Offset(i) && laidMap->Frames().End(i) == frames.End(i),
                     "the kept file walks to the same frames");
        CheckOnlyGainsChanged(std::span(plain).subspan(at, bytes), std::span(laid).subspan(at, bytes));
        std::fill_n(inFrames.begin() + static_cast<std::ptrdiff_t>(at), bytes, true);
    }
    // Outside the frames of sound (the header frame), nothing changes.
    for (std::size_t i = 0; i < plain.size(); ++i)
        FUZZ_REQUIRE(inFrames[i] || plain[i] == laid[i], "bytes outside the frames of sound stay as they were");
    return 0;
}
