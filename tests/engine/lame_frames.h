// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Songs lame wrote, of each version, channel count and protection, split
// into their frames of sound: the bits the frame modules read and write,
// as an encoder lays them out.

#include "mp3_fixture.h"
#include "song_map.h"
#include "temp_folder.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace sundrel::test {

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
        const auto map = MapSong(path, ReadSongFile(path));
        ok_ = map && map->Frames().Count() > 0;
        if (!ok_) return;
        for (std::size_t i = 0; i < map->Frames().Count(); ++i)
            frames_.push_back({map->Frames().Offset(i), map->Frames().End(i)});
    }

    bool Ok() const { return ok_; }
    std::size_t Count() const { return frames_.size(); }
    std::span<const unsigned char> Frame(std::size_t i) const {
        return std::span(bytes_).subspan(static_cast<std::size_t>(frames_[i].first),
                                         static_cast<std::size_t>(frames_[i].second - frames_[i].first));
    }
    FrameHeader Header(std::size_t i) const { return *ParseFrameHeader(Frame(i)); }

private:
    TempFolder folder_;
    bool ok_ = false;
    std::vector<unsigned char> bytes_;
    std::vector<std::pair<std::int64_t, std::int64_t>> frames_;
};

}  // namespace sundrel::test
