// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Songs lame wrote, of each version, channel count and protection, split
// into their frames of sound: the bits the frame modules read and write,
// as an encoder lays them out. And the ringtone of a song as the window
// cuts it, for the tests that decode what the engine kept.

#include "cut_engine.h"
#include "mp3_fixture.h"
#include "song_map.h"
#include "temp_folder.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace sundrel::test {

// Frame i of the mapped bytes.
template <class Byte>
std::span<Byte> FrameOf(std::span<Byte> bytes, const SongMap& map, std::size_t i) {
    return bytes.subspan(static_cast<std::size_t>(map.Frames().Offset(i)),
                         static_cast<std::size_t>(map.Frames().End(i) - map.Frames().Offset(i)));
}

// The ringtone of [start, end) of `song` with `gain`, as the window writes
// it: "[铃声]1song.mp3" beside the song, the outer pieces removed.
inline WrittenPieces CutAsTheWindow(const std::string& song, double start, double end, const KeptGain& gain = {}) {
    CutState cut;
    cut.SourcePath = song;
    cut.SourceName = "song.mp3";
    cut.DestDir = std::filesystem::path(song).parent_path() / "";
    cut.SourceLen = static_cast<std::int64_t>(std::filesystem::file_size(song));
    cut.SourceMap = MapSong(song, ReadSongFile(song)).value();
    const double duration = cut.SourceMap.Duration().value();
    const auto kb = [&](double at) { return cut.SourceMap.PositionToKB(at, duration).value(); };
    std::array<std::string, 3> sizes = {NumberToText(kb(start), '.'), NumberToText(kb(end) - kb(start), '.'), "0"};
    if (!PlanCut(cut, cut.DestDir, song, sizes, Selection{start, end}, gain).Kept) return {};
    WrittenPieces written = WritePieces(cut);
    written.Kept = RemoveOuterPieces(written) && written.Kept;
    return written;
}

struct LameKind {
    const char* name;
    std::vector<std::string> lame;
    MpegVersion version;
    bool mono;
    bool crc;
};

// lame's raw input is read as stereo after "-m j" or "-m s", which makes a
// stereo song of the mono fixture.
inline const std::vector<LameKind>& LameKinds() {
    static const std::vector<LameKind> kinds = {
        {"MPEG-1 joint stereo", {"-m", "j", "-b", "128"}, MpegVersion::Mpeg1, false, false},
        {"MPEG-1 stereo, CRC", {"-m", "s", "-p", "-b", "192"}, MpegVersion::Mpeg1, false, true},
        {"MPEG-1 mono, CRC", {"-p", "-b", "64"}, MpegVersion::Mpeg1, true, true},
        {"MPEG-1 mono VBR", {"-V", "2"}, MpegVersion::Mpeg1, true, false},
        {"MPEG-2 mono", {"--resample", "22.05", "-b", "32"}, MpegVersion::Mpeg2, true, false},
        {"MPEG-2 joint stereo, CRC",
         {"-m", "j", "-p", "--resample", "24", "-b", "64"},
         MpegVersion::Mpeg2,
         false,
         true},
        {"MPEG-2.5 mono, CRC", {"-p", "--resample", "11.025", "-b", "24"}, MpegVersion::Mpeg25, true, true},
        {"MPEG-2.5 joint stereo", {"-m", "j", "--resample", "8", "-b", "16"}, MpegVersion::Mpeg25, false, false},
    };
    return kinds;
}

// A few seconds of the quiet-then-loud fixture: its loud half starts with
// an attack, where lame switches to short blocks.
class LameSong {
public:
    explicit LameSong(const LameKind& kind) {
        const std::string path = folder_ / "song.mp3";
        ok_ = MakeQuietLoudMp3(path, 4.0, kind.lame);
        if (!ok_) return;
        const std::vector<std::uint8_t> bytes = ReadBytes(std::filesystem::path(path));
        bytes_.assign(bytes.begin(), bytes.end());
        map_ = MapSong(path, ReadSongFile(path)).value_or(SongMap());
        ok_ = map_.Frames().Count() > 0;
    }

    bool Ok() const { return ok_; }
    std::size_t Count() const { return map_.Frames().Count(); }
    std::span<const unsigned char> Frame(std::size_t i) const { return FrameOf(std::span(bytes_), map_, i); }
    FrameHeader Header(std::size_t i) const { return *ParseFrameHeader(Frame(i)); }

private:
    TempFolder folder_;
    bool ok_ = false;
    std::vector<unsigned char> bytes_;
    SongMap map_;
};

}  // namespace sundrel::test
