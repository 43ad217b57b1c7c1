// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_tags.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
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

// ID3v2 (the ID3v2.4.0 structure document, 3.1; ID3v2.3.0, 3.1): a
// ten-byte header, "ID3", two version bytes that are never 0xFF, a flags
// byte, and the size of what follows the header in four bytes of seven bits
// each ("syncsafe", 6.2). A footer of the header's size may close the tag
// (2.4.0, 3.4).
constexpr std::int64_t Id3v2HeaderSize = 10;
constexpr std::size_t Id3v2VersionAt = 3;
constexpr std::size_t Id3v2RevisionAt = 4;
constexpr unsigned char Id3v2NoVersion = 0xFF;
constexpr std::size_t Id3v2FlagsAt = 5;
constexpr unsigned char Id3v2FooterFlag = 0x10;
constexpr std::size_t Id3v2SizeAt = 6;
constexpr int Id3v2SizeBytes = 4;
constexpr int SyncsafeBits = 7;
constexpr unsigned char SyncsafeUnused = 0x80;

// ID3v1: the file's last 128 bytes, starting "TAG" (the ID3v1 layout).
constexpr std::int64_t Id3v1Size = 128;
constexpr std::int64_t Id3v1IdLength = 3;

// APEv2 (the APEv2 tag layout, "APE tag footer"): 32 bytes, "APETAGEX",
// a version, the tag's size, its item count and its flags, little-endian;
// the size counts the items and the footer, and a flag says whether a
// header of the footer's size stands before the items.
constexpr std::int64_t ApeFooterSize = 32;
constexpr std::size_t ApeSizeAt = 12;
constexpr std::size_t ApeFlagsAt = 20;
constexpr std::uint32_t ApeHasHeader = 0x80000000u;

class FileBytes {
public:
    FileBytes(const fs::path& path, std::int64_t length, int& reads)
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
    if (!StartsWith(h, "ID3") || h[Id3v2VersionAt] == Id3v2NoVersion || h[Id3v2RevisionAt] == Id3v2NoVersion) return 0;
    std::int64_t size = 0;
    for (int i = 0; i < Id3v2SizeBytes; ++i) {
        const unsigned char byte = h[Id3v2SizeAt + static_cast<std::size_t>(i)];
        if (byte & SyncsafeUnused) return 0;  // a size must be syncsafe
        size = size << SyncsafeBits | byte;
    }
    const bool hasFooter = (h[Id3v2FlagsAt] & Id3v2FooterFlag) != 0;
    return Id3v2HeaderSize + size + (hasFooter ? Id3v2HeaderSize : 0);
}

bool At(const unsigned char* bytes, std::int64_t count, std::int64_t offset, const char* text) {
    const auto length = static_cast<std::int64_t>(std::strlen(text));
    return offset + length <= count && std::memcmp(bytes + offset, text, static_cast<std::size_t>(length)) == 0;
}

// A WAVE file whose first chunk is its format (RIFF, as Microsoft's
// multimedia programming interface document 1.0 lays it out): "RIFF",
// the size, "WAVE", "fmt ", the chunk's size, then the 16-bit format tag,
// little-endian. MPEG audio is tag 0x50 and MPEG Layer III 0x55 (RFC 2361).
constexpr std::int64_t WaveFormAt = 8;
constexpr std::int64_t WaveFormatChunkAt = 12;
constexpr std::int64_t WaveFormatTagAt = 20;
constexpr std::int64_t WaveFormatTagLength = 2;
constexpr int WaveFormatMpeg = 0x50;
constexpr int WaveFormatMpegLayer3 = 0x55;
// MP4 and its kin (ISO/IEC 14496-12 4.2): the first box's type after its
// four-byte size.
constexpr std::int64_t IsoBoxTypeAt = 4;
// Bytes enough to tell a format by its signature: up to a WAVE file's
// format tag.
constexpr std::int64_t SignatureSize = WaveFormatTagAt + WaveFormatTagLength;

// A player plays these renamed to .mp3 as well, but a slice of their bytes
// is no song. MPEG audio inside a WAVE file is still frames, which cut as
// any MP3 does. AAC without a container has no signature; its headers are
// no MPEG audio frames, so the walk finds none.
bool OtherFormatSignature(const unsigned char* b, std::int64_t count) {
    if (At(b, count, 0, "RIFF") && At(b, count, WaveFormAt, "WAVE") && At(b, count, WaveFormatChunkAt, "fmt ") &&
        count >= SignatureSize) {
        const int format = b[WaveFormatTagAt] | b[WaveFormatTagAt + 1] << 8;
        if (format == WaveFormatMpeg || format == WaveFormatMpegLayer3) return false;
    }
    for (const char* signature : {"fLaC",
                                  "OggS",
                                  "RIFF",
                                  "RF64",
                                  "BW64",
                                  "FORM",
                                  "MAC ",
                                  "wvpk",
                                  "TTA1",
                                  "MPCK",
                                  "MP+",
                                  "OFR ",
                                  "ADIF",
                                  "caff",
                                  ".snd",
                                  "#!AMR",
                                  "MThd",
                                  "DSD ",
                                  "FRM8",
                                  "\x1A\x45\xDF\xA3",                   // Matroska, WebM (EBML)
                                  "\x30\x26\xB2\x75\x8E\x66\xCF\x11"})  // ASF, WMA
        if (At(b, count, 0, signature)) return true;
    return At(b, count, IsoBoxTypeAt, "ftyp");  // MP4, M4A, 3GP, QuickTime
}

enum class TailTag { None, Stripped, CannotBeTrue, Hostile };

// Strips one ID3v1 or APEv2 tag ending at `end`.
TailTag StripTailTag(FileBytes& file, std::int64_t first, std::int64_t& end) {
    unsigned char id3v1[Id3v1IdLength];
    if (file.ReadAt(end - Id3v1Size, Id3v1IdLength, id3v1) && StartsWith(id3v1, "TAG")) {
        if (end - Id3v1Size < first) return TailTag::CannotBeTrue;
        end -= Id3v1Size;
        return TailTag::Stripped;
    }
    unsigned char footer[ApeFooterSize];
    if (file.ReadAt(end - ApeFooterSize, ApeFooterSize, footer) && StartsWith(footer, "APETAGEX")) {
        // The size counts the items and the footer, not the header. The
        // media library adds the two in 32 bits.
        const std::int64_t size = LittleEndian32(footer + ApeSizeAt);
        const std::int64_t tag = size + ((LittleEndian32(footer + ApeFlagsAt) & ApeHasHeader) ? ApeFooterSize : 0);
        if (size + ApeFooterSize > std::numeric_limits<std::uint32_t>::max() || tag > end) return TailTag::Hostile;
        if (size < ApeFooterSize || end - tag < first) return TailTag::CannotBeTrue;
        end -= tag;
        return TailTag::Stripped;
    }
    return TailTag::None;
}

}  // namespace

SongFile ReadSongFile(const fs::path& path, int& reads) {
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

SongFile ReadSongFile(const std::filesystem::path& path) {
    int reads = 0;
    return detail::ReadSongFile(path, reads);
}

bool EndsLikeATag(std::span<const unsigned char> tail) {
    using namespace detail;
    static_assert(TailTagReach == Id3v1Size);
    const auto size = static_cast<std::int64_t>(tail.size());
    const auto startsWith = [&](std::int64_t fromEnd, const char* text) {
        return size >= fromEnd && StartsWith(tail.data() + (size - fromEnd), text);
    };
    return startsWith(Id3v1Size, "TAG") || startsWith(ApeFooterSize, "APETAGEX");
}

}  // namespace sundrel
