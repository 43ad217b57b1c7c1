// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_tags.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// Only the tags' own headers are read, each with one small read, and only a
// bounded number of them, so a file built of nothing but tag headers costs
// no more than an ordinary song. A tag whose size cannot be true is taken
// for sound that happens to look like a tag: the whole file is then sound.

namespace sundrel {
namespace detail {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t Id3v2HeaderSize = 10;
constexpr std::int64_t Id3v1Size = 128;
constexpr std::int64_t ApeFooterSize = 32;
constexpr std::uint32_t ApeHasHeader = 0x80000000u;

class FileBytes {
public:
    FileBytes(const std::string& path, std::int64_t length, int& reads)
        : in_(path, std::ios::binary), length_(length), reads_(reads) {}
    bool IsOpen() const { return in_.is_open(); }

    // Reads nothing outside [0, length).
    bool ReadAt(std::int64_t offset, std::int64_t count, unsigned char* out) {
        if (offset < 0 || count < 0 || offset > length_ - count) return false;
        ++reads_;
        in_.clear();
        in_.seekg(offset);
        in_.read(reinterpret_cast<char*>(out), count);
        return in_.gcount() == count;
    }

private:
    std::ifstream in_;
    std::int64_t length_;
    int& reads_;
};

bool StartsWith(const unsigned char* bytes, const char* text) {
    return std::memcmp(bytes, text, std::strlen(text)) == 0;
}

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Total bytes of an ID3v2 tag starting here, 0 when there is none.
std::int64_t Id3v2TagSize(const unsigned char* h) {
    if (!StartsWith(h, "ID3") || h[3] == 0xFF || h[4] == 0xFF) return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;  // a size must be syncsafe
    const std::int64_t size = std::int64_t(h[6]) << 21 | std::int64_t(h[7]) << 14 | std::int64_t(h[8]) << 7 |
                              std::int64_t(h[9]);
    const bool hasFooter = (h[5] & 0x10) != 0;
    return Id3v2HeaderSize + size + (hasFooter ? Id3v2HeaderSize : 0);
}

// Bytes enough to tell a format by its signature.
constexpr std::int64_t SignatureSize = 22;

bool At(const unsigned char* bytes, std::int64_t count, std::int64_t offset, const char* text) {
    const auto length = static_cast<std::int64_t>(std::strlen(text));
    return offset + length <= count && std::memcmp(bytes + offset, text, static_cast<std::size_t>(length)) == 0;
}

// A player plays these renamed to .mp3 as well, but a slice of their bytes
// is no song. MPEG audio inside a WAVE file (format 0x50 or 0x55) is still
// frames, which cut as any MP3 does. AAC without a container has no
// signature; its headers are no MPEG audio frames, so the walk finds none.
bool OtherFormatSignature(const unsigned char* b, std::int64_t count) {
    if (At(b, count, 0, "RIFF") && At(b, count, 8, "WAVE") && At(b, count, 12, "fmt ") && count >= 22) {
        const int format = b[20] | b[21] << 8;
        if (format == 0x50 || format == 0x55) return false;
    }
    for (const char* signature : {"fLaC", "OggS", "RIFF", "RF64", "BW64", "FORM", "MAC ", "wvpk", "TTA1",
                                  "MPCK", "MP+", "OFR ", "ADIF", "caff", ".snd", "#!AMR", "MThd", "DSD ",
                                  "FRM8", "\x1A\x45\xDF\xA3", "\x30\x26\xB2\x75\x8E\x66\xCF\x11"})
        if (At(b, count, 0, signature)) return true;
    return At(b, count, 4, "ftyp");  // MP4, M4A, 3GP, QuickTime
}

enum class TailTag { None, Stripped, CannotBeTrue, Hostile };

// Strips one ID3v1 or APEv2 tag ending at `end`.
TailTag StripTailTag(FileBytes& file, std::int64_t first, std::int64_t& end) {
    unsigned char id3v1[3];
    if (file.ReadAt(end - Id3v1Size, 3, id3v1) && StartsWith(id3v1, "TAG")) {
        if (end - Id3v1Size < first) return TailTag::CannotBeTrue;
        end -= Id3v1Size;
        return TailTag::Stripped;
    }
    unsigned char footer[ApeFooterSize];
    if (file.ReadAt(end - ApeFooterSize, ApeFooterSize, footer) && StartsWith(footer, "APETAGEX")) {
        // The size counts the items and the footer, not the header. The
        // media library adds the two in 32 bits.
        const std::int64_t size = LittleEndian32(footer + 12);
        const std::int64_t tag = size + ((LittleEndian32(footer + 20) & ApeHasHeader) ? ApeFooterSize : 0);
        if (size + ApeFooterSize > 0xFFFFFFFF || tag > end) return TailTag::Hostile;
        if (size < ApeFooterSize || end - tag < first) return TailTag::CannotBeTrue;
        end -= tag;
        return TailTag::Stripped;
    }
    return TailTag::None;
}

}  // namespace

SongFile ReadSongFile(const std::string& path, int& reads) {
    reads = 0;
    SongFile song;
    // Status first: opening a FIFO would wait for a writer.
    std::error_code ec;
    if (!fs::is_regular_file(fs::status(path, ec)) || ec) return song;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return song;
    song.Regular = true;
    song.Length = static_cast<std::int64_t>(size);
    song.Sound = {0, song.Length};
    song.SafeToDecode = true;

    SongFile hostile = song;
    hostile.SafeToDecode = false;

    FileBytes file(path, song.Length, reads);
    if (!file.IsOpen()) return song;

    // Tags at the head may follow one another.
    std::int64_t first = 0;
    unsigned char head[Id3v2HeaderSize];
    for (int tags = 0; file.ReadAt(first, Id3v2HeaderSize, head); ++tags) {
        const std::int64_t tag = Id3v2TagSize(head);
        if (tag == 0) break;
        if (tag > song.Length - first || tags == MaxHeadTags) return hostile;
        first += tag;
    }
    unsigned char signature[SignatureSize];
    const std::int64_t signatureBytes = std::min(SignatureSize, song.Length - first);
    song.OtherFormat = file.ReadAt(first, signatureBytes, signature) && OtherFormatSignature(signature, signatureBytes);

    // ID3v1 and APEv2 may stand in either order at the tail.
    std::int64_t end = song.Length;
    for (int tags = 0; tags < MaxTailTags; ++tags) {
        const TailTag found = StripTailTag(file, first, end);
        if (found == TailTag::Hostile) return hostile;
        if (found == TailTag::CannotBeTrue) return song;
        if (found == TailTag::None) break;
    }
    song.Sound = {first, end};
    return song;
}

}  // namespace detail

SongFile ReadSongFile(const std::string& path) {
    int reads = 0;
    return detail::ReadSongFile(path, reads);
}

}  // namespace sundrel
