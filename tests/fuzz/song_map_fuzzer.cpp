// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a song: its tags read, its frames walked, and moments of it
// mapped into the file. Every frame found must be a frame where it was
// found, and every moment must map to where a frame of it starts.

#include "fuzz_support.h"
#include "song_map.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

using namespace sundrel;
using namespace sundrel::fuzz;

namespace {

void CheckFrames(const SongMap& map, const unsigned char* data, std::int64_t length) {
    const FrameIndex& frames = map.Frames();
    const SoundSpan sound = map.Sound();
    FUZZ_REQUIRE(0 <= sound.First && sound.First <= sound.End && sound.End <= length, "the sound lies in the file");
    for (std::size_t i = 0; i < frames.Count(); ++i) {
        const std::int64_t at = frames.Offset(i);
        FUZZ_REQUIRE(at >= map.File().Sound.First && frames.End(i) <= sound.End, "a frame lies in the sound");
        FUZZ_REQUIRE(i == 0 || at >= frames.End(i - 1), "frames follow one another");
        // A free-format frame is as long as the walk found it.
        const auto header =
            ParseFrameOfLength(std::span(data + at, static_cast<std::size_t>(length - at)), frames.End(i) - at);
        FUZZ_REQUIRE(header, "a frame is a whole frame where it was found");
        FUZZ_REQUIRE(header->ChannelMode == frames.ChannelMode(i), "a frame's channel mode is its header's");
    }
}

// Where a moment maps must be where a frame starts, or the end of the last.
void CheckMoment(const SongMap& map, double position, double duration, double& previousKB) {
    const auto kb = map.PositionToKB(position, duration);
    FUZZ_REQUIRE(kb && std::isfinite(*kb) && *kb >= 0, "a moment of a song maps into its file");
    const FrameIndex& frames = map.Frames();
    const auto offset = static_cast<std::int64_t>(std::llround(*kb * 1024.0));
    const std::size_t frame = frames.FirstStartingFrom(offset);
    FUZZ_REQUIRE(frame < frames.Count() ? frames.Offset(frame) == offset : offset == frames.End(frames.Count() - 1),
                 "a moment maps to the start of a frame");
    FUZZ_REQUIRE(*kb >= previousKB, "a later moment maps no earlier");
    previousKB = *kb;
    const auto near = map.FrameNear(position);
    FUZZ_REQUIRE(near && std::isfinite(near->Start) && near->Length > 0, "every moment has a frame near it");
    const auto nearKB = map.PositionToKB(near->Start, duration);
    FUZZ_REQUIRE(nearKB, "the frame near a moment maps");
    const auto nearOffset = static_cast<std::int64_t>(std::llround(*nearKB * 1024.0));
    const std::size_t nearFrame = frames.FirstStartingFrom(nearOffset);
    FUZZ_REQUIRE(nearFrame < frames.Count() && frames.Offset(nearFrame) == nearOffset,
                 "a mark on the frame near a moment maps into that frame");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string song = (Folder() / "song.mp3").string();
    Write(song, data, size);
    const SongFile file = ReadSongFile(song);
    FUZZ_REQUIRE(file.Regular && file.Length == static_cast<std::int64_t>(size), "the song is measured");
    FUZZ_REQUIRE(0 <= file.Sound.First && file.Sound.First <= file.Sound.End && file.Sound.End <= file.Length,
                 "the tags leave the sound inside the file");
    const auto map = MapSong(song, file);
    FUZZ_REQUIRE(map, "a walk nobody abandons gives a map");
    CheckFrames(*map, data, file.Length);

    const auto duration = map->Duration();
    FUZZ_REQUIRE(duration.has_value() == (map->Frames().Count() > 0), "a song with frames has a duration");
    const auto played = PlayedDuration(std::nullopt, *map);
    FUZZ_REQUIRE(played == duration, "without the player's length the frames' is played");
    if (!duration) {
        // Without frames the sound maps linearly.
        const auto kb = map->PositionToKB(1, 2);
        FUZZ_REQUIRE(kb && *kb >= 0 && *kb * 1024 <= static_cast<double>(file.Length) + 1,
                     "a song without frames maps linearly");
        return 0;
    }
    FUZZ_REQUIRE(std::isfinite(*duration) && *duration >= 0, "the duration is a length");
    // The player's length is used unless it is more than a second off.
    FUZZ_REQUIRE(PlayedDuration(*duration + 0.5, *map) == *duration + 0.5,
                 "a player's length near the frames' is kept");
    FUZZ_REQUIRE(PlayedDuration(*duration + 2, *map) == duration, "a player's length far off the frames' is not");

    double previousKB = 0;
    constexpr int Steps = 16;
    for (int step = -1; step <= Steps + 1; ++step)
        CheckMoment(*map, *duration * step / Steps, std::max(*duration, 0.001), previousKB);
    return 0;
}
