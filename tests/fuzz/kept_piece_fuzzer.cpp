// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a song, and a selection in it: the kept piece planned and
// written into a temporary folder as a cut writes it. Nothing may be
// written elsewhere, the kept file must hold its header frames and the
// song's own bytes, walk again to the frames it was given (which its header
// frame counts) and last from Start to End.

#include "cut_engine.h"
#include "fuzz_support.h"
#include "song_map.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
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

// Known open faults, each to be switched on when it is mended:
// - a song whose frames are separated by junk gives a kept file that walks
//   to fewer frames (often none) than it was given;
// - a kept file whose last bytes read as a tag (an ID3v1 tag's "TAG" 128
//   bytes from the end, inside the last frame's sound) loses that frame to
//   the tag reader, as it does in decoders;
// - a kept file that crosses the join of a song made of two encodes ends in
//   fewer frames of the second than the walk needs to take a new stream for
//   sound, and loses them;
// - a song whose free-format frames change their length after junk (a free
//   format stream keeps its bit rate, 11172-3 2.4.2.3, so no encoder makes
//   one) gives a kept file whose frames of both lengths lie side by side,
//   and a walk reads on with the first length.
constexpr bool KeptFileAcrossJunkWalksAgain = true;
constexpr bool KeptFileEndingLikeATagWalksAgain = true;
constexpr bool KeptFileAcrossAJoinWalksAgain = true;
constexpr bool KeptFileOfFreeFormatLengthsWalksAgain = false;
// - a song whose header frame counts fewer frames than it has is played on
//   past that claimed end, less the samples gapless players drop there; a
//   kept file from before that end to after it keeps those samples (none
//   can be dropped inside a stream without decoding it), so it lasts that
//   much longer than its selection.
constexpr bool KeptFileAcrossAClaimedEndLastsItsSelection = false;

// The frames of [begin, end) of the song, and whether junk lies between them.
struct SongFrames {
    std::size_t Count = 0;
    bool Junk = false;
    bool Join = false;         // of two streams
    bool FreeLengths = false;  // free-format frames of more than one length
};

SongFrames FramesIn(const FrameIndex& frames, const Bytes& song, std::int64_t begin, std::int64_t end) {
    SongFrames found;
    int freeLength = 0;
    for (std::size_t i = frames.FirstStartingFrom(begin); i < frames.Count() && frames.End(i) <= end; ++i) {
        if (found.Count > 0 && frames.Offset(i) != frames.End(i - 1)) found.Junk = true;
        if (found.Count > 0 && frames.Stream(i) != frames.Stream(i - 1)) found.Join = true;
        const auto header = ParseFrameOfLength(std::span(song).subspan(static_cast<std::size_t>(frames.Offset(i))),
                                               frames.End(i) - frames.Offset(i));
        const int length = header ? header->FreeFormatLength : 0;
        if (length > 0 && freeLength > 0 && length != freeLength) found.FreeLengths = true;
        if (length > 0) freeLength = length;
        ++found.Count;
    }
    return found;
}

// The frames built for the kept file: in the header, the header frame,
// then the frames ahead of the song's (silent ones, the first rebuilt); the
// trailer's silent frames. Free-format ones are of the length of the
// song's; nothing when they do not fill the bytes exactly.
std::optional<std::size_t> FramesBuilt(const std::vector<unsigned char>& bytes, int freeLength, bool header) {
    std::size_t count = 0, at = 0;
    while (at + 4 <= bytes.size()) {
        const auto frame = ParseFrameHeader(std::span(bytes).subspan(at), freeLength);
        if (!frame || at + static_cast<std::size_t>(frame->Length()) > bytes.size()) return std::nullopt;
        if (header && at == 0 && !ReadHeaderFrame(bytes, *frame)) return std::nullopt;
        at += static_cast<std::size_t>(frame->Length());
        ++count;
    }
    if (at != bytes.size()) return std::nullopt;
    return count;
}

// The length of the song's free-format frame that holds `offset`; 0 for
// others.
int FreeLengthNear(const FrameIndex& frames, const Bytes& song, std::int64_t offset) {
    const std::size_t i = std::min(frames.FirstEndingAfter(offset), frames.Count() - 1);
    const auto header = ParseFrameOfLength(std::span(song).subspan(static_cast<std::size_t>(frames.Offset(i))),
                                           frames.End(i) - frames.Offset(i));
    return header ? header->FreeFormatLength : 0;
}

// The plan the window makes of the kept piece, and the cut; nothing but
// the kept file may be left, and the song as it was.
std::string Cut(const KeptPiece& kept, const fs::path& work, const std::string& source, const Bytes& song) {
    CutState cut;
    cut.SourcePath = source;
    cut.SourceName = "song.mp3";
    cut.DestDir = (work / "rings").string() + "/";
    cut.SourceLen = static_cast<std::int64_t>(song.size());
    cut.SegBytes = {kept.Begin(), kept.End() - kept.Begin(), cut.SourceLen - kept.End()};
    cut.SegLast = 2;
    cut.KeptHeader = kept.Header;
    cut.KeptRanges = kept.Ranges;
    cut.KeptTrailer = kept.Trailer;
    const WrittenPieces written = WritePieces(cut, {}, Leftovers::Remove);
    FUZZ_REQUIRE(written.Kept, "a mapped song cuts into a folder it may write to");
    FUZZ_REQUIRE(RemoveOuterPieces(written), "the outer pieces go");

    FUZZ_REQUIRE(Names(Folder()) == std::vector<std::string>{"work"}, "nothing is written beside the folders");
    FUZZ_REQUIRE(Names(work) == (std::vector<std::string>{"music", "rings"}), "nothing is written beside the folders");
    FUZZ_REQUIRE(Names(work / "music") == std::vector<std::string>{"song.mp3"}, "nothing is written beside the song");
    FUZZ_REQUIRE(Read(source) == song, "the song is left as it was");
    FUZZ_REQUIRE(Names(work / "rings") == std::vector<std::string>{"[铃声]1song.mp3"}, "the kept file alone is left");
    return PieceName(cut, 1);
}

// The kept file walks to the frames it was given, its header frame counts
// them, and a gapless player plays it from Start to End, to the sample.
void CheckWalksAgain(const SongMap& map, const Bytes& song, const KeptPiece& kept, std::size_t built,
                     int headFreeLength, const std::string& keptPath, double start, double end) {
    const SongFrames given = FramesIn(map.Frames(), song, kept.Begin(), kept.End());
    const SongFile keptFile = ReadSongFile(keptPath);
    const auto again = MapSong(keptPath, keptFile);
    FUZZ_REQUIRE(again, "the kept file maps");
    const std::size_t walked = again->Frames().Count();
    if (given.Junk && !KeptFileAcrossJunkWalksAgain) return;
    if (given.Join && !KeptFileAcrossAJoinWalksAgain) return;
    if (given.FreeLengths && !KeptFileOfFreeFormatLengthsWalksAgain) return;
    if (keptFile.Sound.End < keptFile.Length && !KeptFileEndingLikeATagWalksAgain) return;
    FUZZ_REQUIRE(walked == built - 1 + given.Count, "the kept file walks again to the frames it was given");
    const auto head = ParseFrameHeader(kept.Header, headFreeLength);
    FUZZ_REQUIRE(head, "the kept file starts with its header frame");
    const unsigned char* count = kept.Header.data() + XingOffset(*head) + 8;
    const std::uint32_t counted =
        std::uint32_t(count[0]) << 24 | std::uint32_t(count[1]) << 16 | std::uint32_t(count[2]) << 8 | count[3];
    FUZZ_REQUIRE(counted == walked, "the header frame counts the frames there are");

    // Within one stream of the song, and a selection inside it.
    const FrameIndex& frames = map.Frames();
    if (frames.Stream(frames.Count() - 1) != 0 || start < 0 || end > map.Duration().value_or(0)) return;
    const double rate = head->SampleRate();
    if (const auto claimed = map.ClaimedEnd(); claimed && !KeptFileAcrossAClaimedEndLastsItsSelection)
        if (start < *claimed && end > *claimed) return;
    const double lasts = again->Duration().value_or(-1);
    FUZZ_REQUIRE(std::abs(lasts - (end - start)) <= 2 / rate, "the ringtone lasts from Start to End");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const double startShare = input.ConsumeFloatingPointInRange(-0.1, 1.1);
    const double endShare = input.ConsumeFloatingPointInRange(-0.1, 1.1);
    const Bytes song = input.ConsumeRemainingBytes<unsigned char>();

    const fs::path work = Folder() / "work";
    const std::string source = LayOutWork(song);
    const SongFile file = ReadSongFile(source);
    const auto map = MapSong(source, file);
    const auto duration = map ? map->Duration() : std::nullopt;
    if (!duration) return 0;
    const double start = startShare * *duration, end = endShare * *duration;
    const auto kept = map->Kept(start, end);
    if (!kept) return 0;
    std::int64_t previousEnd = 0;
    for (const ByteRange& range : kept->Ranges) {
        FUZZ_REQUIRE(previousEnd <= range.Begin && range.Begin <= range.End && range.End <= file.Length,
                     "the kept ranges lie in the song, in order");
        previousEnd = range.End;
    }
    const std::string keptPath = Cut(*kept, work, source, song);

    // The header frames, then the song's bytes of each range, the trailer,
    // and nothing else.
    Bytes expected = kept->Header;
    for (const ByteRange& range : kept->Ranges)
        expected.insert(expected.end(), song.begin() + range.Begin, song.begin() + range.End);
    expected.insert(expected.end(), kept->Trailer.begin(), kept->Trailer.end());
    FUZZ_REQUIRE(Read(keptPath) == expected, "the kept file holds its header frames, the song's bytes, its trailer");
    const auto trailer = FramesBuilt(kept->Trailer, FreeLengthNear(map->Frames(), song, kept->End() - 1), false);
    FUZZ_REQUIRE(trailer, "the trailer is whole frames");
    if (kept->Header.empty()) return 0;  // frames of Layer I or II: whole frames, no header
    const int headFreeLength = FreeLengthNear(map->Frames(), song, kept->Begin());
    const auto built = FramesBuilt(kept->Header, headFreeLength, true);
    FUZZ_REQUIRE(built && *built >= 1, "the header is a header frame and whole frames");
    CheckWalksAgain(*map, song, *kept, *built + *trailer, headFreeLength, keptPath, start, end);
    return 0;
}
