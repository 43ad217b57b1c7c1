#include "cut_engine.h"

#include <cstring>
#include <fstream>

// Only the tags' own headers are read; MP3 frames are never decoded. A tag
// whose size does not fit the file is taken for sound that happens to look
// like a tag: the whole file is then sound, as if it had no tags.

namespace sundrel {
namespace {

constexpr std::int64_t Id3v2HeaderSize = 10;
constexpr std::int64_t Id3v1Size = 128;
constexpr std::int64_t ApeFooterSize = 32;
constexpr std::uint32_t ApeHasHeader = 0x80000000u;

class FileBytes {
public:
    FileBytes(const std::string& path, std::int64_t length)
        : in_(path, std::ios::binary), length_(length) {}
    bool IsOpen() const { return in_.is_open(); }

    // Reads nothing outside [0, length).
    bool ReadAt(std::int64_t offset, std::int64_t count, unsigned char* out) {
        if (offset < 0 || count < 0 || offset > length_ - count) return false;
        in_.clear();
        in_.seekg(offset);
        in_.read(reinterpret_cast<char*>(out), count);
        return in_.gcount() == count;
    }

private:
    std::ifstream in_;
    std::int64_t length_;
};

bool StartsWith(const unsigned char* bytes, const char* text) {
    return std::memcmp(bytes, text, std::strlen(text)) == 0;
}

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Total bytes of an ID3v2 tag starting here, 0 when there is none.
std::int64_t Id3v2TagSize(const unsigned char* h) {
    if (!StartsWith(h, "ID3") || h[3] == 0xFF || h[4] == 0xFF) return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;  // a size must be syncsafe
    const std::int64_t size = std::int64_t(h[6]) << 21 | std::int64_t(h[7]) << 14 |
                              std::int64_t(h[8]) << 7 | std::int64_t(h[9]);
    const bool hasFooter = (h[5] & 0x10) != 0;
    return Id3v2HeaderSize + size + (hasFooter ? Id3v2HeaderSize : 0);
}

}  // namespace

SoundSpan ReadSoundSpan(const std::string& path) {
    const std::int64_t length = FileLength(path).value_or(0);
    const SoundSpan whole{0, length};
    FileBytes file(path, length);
    if (!file.IsOpen()) return whole;

    // Tags at the head may follow one another.
    std::int64_t first = 0;
    unsigned char head[Id3v2HeaderSize];
    while (file.ReadAt(first, Id3v2HeaderSize, head)) {
        const std::int64_t tag = Id3v2TagSize(head);
        if (tag == 0) break;
        if (tag > length - first) return whole;
        first += tag;
    }

    // ID3v1 and APEv2 may stand in either order at the tail.
    std::int64_t end = length;
    for (bool stripped = true; stripped;) {
        stripped = false;
        unsigned char id3v1[3];
        if (file.ReadAt(end - Id3v1Size, 3, id3v1) && StartsWith(id3v1, "TAG")) {
            if (end - Id3v1Size < first) return whole;
            end -= Id3v1Size;
            stripped = true;
        }
        unsigned char footer[ApeFooterSize];
        if (file.ReadAt(end - ApeFooterSize, ApeFooterSize, footer) && StartsWith(footer, "APETAGEX")) {
            // The size counts the items and the footer, not the header.
            const std::int64_t size = LittleEndian32(footer + 12);
            const std::int64_t tag = size + ((LittleEndian32(footer + 20) & ApeHasHeader) ? ApeFooterSize : 0);
            if (size < ApeFooterSize || end - tag < first) return whole;
            end -= tag;
            stripped = true;
        }
    }
    return {first, end};
}

}  // namespace sundrel
