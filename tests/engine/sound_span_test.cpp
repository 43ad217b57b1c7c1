#include "cut_engine.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

using namespace sundrel;
using namespace sundrel::test;

namespace {

std::string Id3v2(std::uint32_t size, unsigned char flags = 0) {
    std::string tag = "ID3";
    tag += {'\x04', '\x00', static_cast<char>(flags)};
    for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
    tag += std::string(size, '\0');
    if (flags & 0x10) tag += "3DI" + tag.substr(3, 7);
    return tag;
}

std::string Id3v1() { return "TAG" + std::string(125, 'a'); }

std::string LittleEndian(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// An APEv2 tag whose items take `items` bytes; its size field may lie.
std::string Ape(std::uint32_t items, bool withHeader, std::uint32_t statedSize = 0) {
    const std::uint32_t size = statedSize ? statedSize : items + 32;
    const std::uint32_t flags = withHeader ? 0x80000000u : 0;
    const auto block = [&](std::uint32_t extraFlags) {
        return "APETAGEX" + LittleEndian(2000) + LittleEndian(size) + LittleEndian(1) +
               LittleEndian(flags | extraFlags) + std::string(8, '\0');
    };
    return (withHeader ? block(0x20000000u) : "") + std::string(items, 'i') + block(0);
}

const std::string Sound = Pattern(0, 5000);

class SoundSpanOf : public ::testing::Test {
protected:
    SoundSpan Read(const std::string& bytes) {
        const std::string path = folder / "song.mp3";
        WriteBytes(path, bytes);
        return ReadSoundSpan(path);
    }
    TempFolder folder;
};

void ExpectSpan(const SoundSpan& span, std::int64_t first, std::int64_t end) {
    EXPECT_EQ(span.First, first);
    EXPECT_EQ(span.End, end);
}

TEST_F(SoundSpanOf, HeadTags) {
    ExpectSpan(Read(Id3v2(1000) + Sound), 1010, 6010);
    ExpectSpan(Read(Id3v2(1000, 0x10) + Sound), 1020, 6020);
    ExpectSpan(Read(Id3v2(100) + Id3v2(200, 0x10) + Sound), 330, 5330);
    ExpectSpan(Read(Id3v2(300)), 310, 310);  // a tag and no sound
}

TEST_F(SoundSpanOf, TailTagsInEitherOrder) {
    ExpectSpan(Read(Sound + Id3v1()), 0, 5000);
    ExpectSpan(Read(Sound + Ape(100, false)), 0, 5000);
    ExpectSpan(Read(Sound + Ape(100, true)), 0, 5000);
    ExpectSpan(Read(Sound + Ape(100, true) + Id3v1()), 0, 5000);
    ExpectSpan(Read(Sound + Id3v1() + Ape(60, false)), 0, 5000);
    ExpectSpan(Read(Id3v2(64, 0x10) + Sound + Ape(100, true) + Id3v1()), 84, 5084);
}

TEST_F(SoundSpanOf, UntaggedFileIsSoundThroughout) {
    ExpectSpan(Read(Sound), 0, 5000);
    ExpectSpan(Read("ID3\x04"), 0, 4);  // shorter than a tag header
    ExpectSpan(Read(""), 0, 0);
    ExpectSpan(ReadSoundSpan(folder / "missing.mp3"), 0, 0);
    ExpectSpan(ReadSoundSpan(folder.Path()), 0, 0);
}

TEST_F(SoundSpanOf, TagSizesThatDoNotFitMeanNoTags) {
    // A head tag claiming more bytes than the file has.
    ExpectSpan(Read(Id3v2(10000).substr(0, 10) + Sound), 0, 5010);
    // A size byte with its top bit set is no ID3v2 size: no tag at all.
    std::string notSyncsafe = Id3v2(100) + Sound;
    notSyncsafe[9] = '\x80';
    ExpectSpan(Read(notSyncsafe), 0, 5110);
    // An APE tag claiming more than the file, less than its own footer, or
    // reaching into the head tag.
    ExpectSpan(Read(Sound + Ape(100, false, 1'000'000)), 0, 5132);
    ExpectSpan(Read(Sound + Ape(0, false, 16)), 0, 5032);
    ExpectSpan(Read(Id3v2(1000) + "xyz" + Ape(100, false, 300)), 0, 1145);
    // "TAG" 128 bytes before the end, but inside the head tag.
    std::string head = Id3v2(200);
    head.replace(182, 3, "TAG");
    ExpectSpan(Read(head + Sound.substr(0, 100)), 0, 310);
}

TEST_F(SoundSpanOf, UntaggedWorkedExampleMapsLikeTheWholeFile) {
    const std::string path = folder / "song.mp3";
    WriteBytes(path, "x");
    std::filesystem::resize_file(path, 10'000'000);
    const SoundSpan span = ReadSoundSpan(path);
    ExpectSpan(span, 0, 10'000'000);

    const KbScale scale = ScaleFor(span, '.');
    const double sourceKB = *TextToNumber(BytesToKbText(10'000'000, '.'), '.');
    EXPECT_EQ(PositionToKB(10, 100, scale), 10.0 / 100 * sourceKB);
    EXPECT_EQ(PositionToKB(12, 100, scale), 12.0 / 100 * sourceKB);
    EXPECT_EQ(PositionToKB(10, 0, scale), std::nullopt);
}

}  // namespace
