// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tags around a song's sound: ID3v2 at the head, ID3v1 and APEv2 at the
// tail, read at a cost bounded whatever the file holds.

#include <cstdint>
#include <filesystem>
#include <span>

namespace sundrel {

// [First, End) of a file holds sound.
struct SoundSpan {
    std::int64_t First = 0;
    std::int64_t End = 0;
};

// The quick look at a chosen file, bounded in cost whatever the file holds.
struct SongFile {
    bool Regular = false;       // a regular file, links followed; nothing else is ever opened
    std::int64_t Length = 0;    // valid when Regular
    SoundSpan Sound;            // after the head tags and before the tail tags; the whole file
                                // when it has none or when a tag's size cannot be true
    bool SafeToDecode = false;  // may be handed to the media library: Regular, no tag claims
                                // more bytes than the file holds, and few chained head tags
    bool OtherFormat = false;   // its sound begins with the signature of a format that is not
                                // MPEG audio (FLAC, Ogg, WAVE, MP4...): no cut of it would play
};

// Reads the ID3v2 tags at the head and the ID3v1 and APEv2 tags at the tail,
// and the first bytes after the head tags for another format's signature.
SongFile ReadSongFile(const std::filesystem::path& path);

// The most bytes before a file's end that EndsLikeATag looks at: an ID3v1
// tag's.
inline constexpr std::int64_t TailTagReach = 128;
// True when a file ending with `tail` (its last bytes, up to TailTagReach)
// ends as if a tag stood there, an ID3v1 tag's "TAG" or an APEv2 footer's
// "APETAGEX": tag readers, decoders' too, would take those bytes off.
bool EndsLikeATag(std::span<const unsigned char> tail);

namespace detail {

// Head tags read before a file is taken for hostile.
inline constexpr int MaxHeadTags = 64;
// Tail tags stripped at most; more are taken for sound.
inline constexpr int MaxTailTags = 4;

// ReadSongFile with its reads counted, so that its cost can be checked.
SongFile ReadSongFile(const std::filesystem::path& path, int& reads);

}  // namespace detail
}  // namespace sundrel
