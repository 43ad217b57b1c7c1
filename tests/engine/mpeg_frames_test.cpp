#include "frame_stream.h"
#include "mpeg_frames.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace sundrel;
using namespace sundrel::test;

namespace {

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

struct HeaderCase {
    const char* name;
    RawHeader raw;
    MpegVersion version;
    int layer;
    int bitRate;
    int sampleRate;
    int samples;
    int length;
};

// Lengths worked out by hand from the format's formulas.
const HeaderCase Headers[] = {
    {"MPEG-1 III 128k 44.1k", {3, 1, 9, 0, false, 1}, MpegVersion::Mpeg1, 3, 128000, 44100, 1152, 417},
    {"MPEG-1 III padded", {3, 1, 9, 0, true, 3}, MpegVersion::Mpeg1, 3, 128000, 44100, 1152, 418},
    {"MPEG-1 III 320k 48k", {3, 1, 14, 1, false, 0}, MpegVersion::Mpeg1, 3, 320000, 48000, 1152, 960},
    {"MPEG-1 III 32k 32k", {3, 1, 1, 2, false, 3}, MpegVersion::Mpeg1, 3, 32000, 32000, 1152, 144},
    {"MPEG-1 II 384k 32k padded", {3, 2, 14, 2, true, 0}, MpegVersion::Mpeg1, 2, 384000, 32000, 1152, 1729},
    {"MPEG-1 I 448k 32k padded", {3, 3, 14, 2, true, 0}, MpegVersion::Mpeg1, 1, 448000, 32000, 384, 676},
    {"MPEG-1 I 32k 44.1k", {3, 3, 1, 0, false, 3}, MpegVersion::Mpeg1, 1, 32000, 44100, 384, 32},
    {"MPEG-2 III 64k 22.05k", {2, 1, 8, 0, false, 3}, MpegVersion::Mpeg2, 3, 64000, 22050, 576, 208},
    {"MPEG-2 II 160k 24k", {2, 2, 14, 1, false, 0}, MpegVersion::Mpeg2, 2, 160000, 24000, 1152, 960},
    {"MPEG-2 I 256k 16k", {2, 3, 14, 2, false, 0}, MpegVersion::Mpeg2, 1, 256000, 16000, 384, 768},
    {"MPEG-2.5 III 8k 8k", {0, 1, 1, 2, false, 3}, MpegVersion::Mpeg25, 3, 8000, 8000, 576, 72},
    {"MPEG-2.5 III 64k 11.025k padded", {0, 1, 8, 0, true, 3}, MpegVersion::Mpeg25, 3, 64000, 11025, 576, 418},
    {"MPEG-2.5 II 160k 8k padded", {0, 2, 14, 2, true, 1}, MpegVersion::Mpeg25, 2, 160000, 8000, 1152, 2881},
};

TEST(FrameHeader, EachVersionAndLayer) {
    for (const HeaderCase& c : Headers) {
        SCOPED_TRACE(c.name);
        const std::string bytes = HeaderBytes(c.raw);
        const auto h = ParseFrameHeader(Bytes(bytes));
        ASSERT_TRUE(h);
        EXPECT_EQ(h->Version, c.version);
        EXPECT_EQ(h->Layer, c.layer);
        EXPECT_EQ(h->BitRate(), c.bitRate);
        EXPECT_EQ(h->SampleRate(), c.sampleRate);
        EXPECT_EQ(h->Samples(), c.samples);
        EXPECT_EQ(h->Length(), c.length);
        EXPECT_LE(h->Length(), MaxFrameLength);
        EXPECT_EQ(h->ChannelMode, c.raw.mode);
        EXPECT_FALSE(h->Protected);
        const auto encoded = EncodeFrameHeader(*h);
        EXPECT_EQ(std::string(encoded.begin(), encoded.end()), bytes);
    }
    RawHeader crc;
    crc.crc = true;
    EXPECT_TRUE(ParseFrameHeader(Bytes(HeaderBytes(crc)))->Protected);
}

TEST(FrameHeader, RejectsWhatNoLengthCanBeComputedFor) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"free format", HeaderBytes({3, 1, 0, 0})},
        {"bit-rate index 15", HeaderBytes({3, 1, 15, 0})},
        {"sample-rate index 3", HeaderBytes({3, 1, 9, 3})},
        {"reserved version", HeaderBytes({1, 1, 9, 0})},
        {"reserved layer", HeaderBytes({3, 0, 9, 0})},
        {"no sync in the first byte", "\xFE\xFB\x90\x00"},
        {"sync cut short", "\xFF\xDB\x90\x00"},
        {"zeros", std::string(4, '\0')},
    };
    for (const auto& c : cases) EXPECT_FALSE(ParseFrameHeader(Bytes(c.bytes))) << c.name;
}

TEST(FrameHeader, StreamIsVersionLayerAndSampleRate) {
    const auto at = [](const RawHeader& raw) { return *ParseFrameHeader(Bytes(HeaderBytes(raw))); };
    const FrameHeader base = at({3, 1, 9, 0, false, 3});
    EXPECT_TRUE(SameStream(base, at({3, 1, 14, 0, true, 0})));
    EXPECT_FALSE(SameStream(base, at({2, 1, 9, 0})));
    EXPECT_FALSE(SameStream(base, at({3, 2, 9, 0})));
    EXPECT_FALSE(SameStream(base, at({3, 1, 9, 1})));
}

struct XingCase {
    const char* name;
    RawHeader raw;
    int offset;  // 4 + side information (+ 2 with CRC)
};

const XingCase XingPlaces[] = {
    {"MPEG-1 stereo", {3, 1, 9, 0, false, 0}, 36},
    {"MPEG-1 mono", {3, 1, 9, 0, false, 3}, 21},
    {"MPEG-2 stereo", {2, 1, 14, 0, false, 1}, 21},
    {"MPEG-2.5 mono", {0, 1, 14, 0, false, 3}, 13},
    {"MPEG-1 mono with CRC", {3, 1, 9, 0, false, 3, true}, 23},
};

TEST(HeaderFrame, XingAndInfoStandAfterTheSideInformation) {
    for (const XingCase& c : XingPlaces) {
        SCOPED_TRACE(c.name);
        const FrameHeader h = *ParseFrameHeader(Bytes(HeaderBytes(c.raw)));
        EXPECT_EQ(XingOffset(h), c.offset);
        for (const char* tag : {"Xing", "Info"}) {
            const auto found = ReadHeaderFrame(Bytes(XingFrameBytes(c.raw, c.offset, tag)), h);
            ASSERT_TRUE(found) << tag;
            EXPECT_FALSE(found->EncoderDelay);
        }
        EXPECT_FALSE(ReadHeaderFrame(Bytes(XingFrameBytes(c.raw, c.offset + 1)), h));
        EXPECT_FALSE(ReadHeaderFrame(Bytes(XingFrameBytes(c.raw, c.offset, "Xin")), h));
        EXPECT_FALSE(ReadHeaderFrame(Bytes(FrameBytes(c.raw)), h));
    }
}

TEST(HeaderFrame, VbriStandsAtByte36) {
    const RawHeader raw{3, 1, 9, 0, false, 3};
    const FrameHeader h = *ParseFrameHeader(Bytes(HeaderBytes(raw)));
    EXPECT_TRUE(ReadHeaderFrame(Bytes(FrameBytes(raw, std::string(32, '\0') + "VBRI")), h));
    EXPECT_FALSE(ReadHeaderFrame(Bytes(FrameBytes(raw, std::string(33, '\0') + "VBRI")), h));
}

TEST(HeaderFrame, OnlyLayerThreeHasOne) {
    const RawHeader raw{3, 2, 9, 0, false, 0};
    const FrameHeader h = *ParseFrameHeader(Bytes(HeaderBytes(raw)));
    EXPECT_FALSE(ReadHeaderFrame(Bytes(XingFrameBytes(raw, 36)), h));
}

TEST(HeaderFrame, EncoderDelayFromTheExtension) {
    const RawHeader raw{3, 1, 9, 0, false, 3};
    const FrameHeader h = *ParseFrameHeader(Bytes(HeaderBytes(raw)));
    const struct {
        const char* encoder;
        std::uint32_t flags;
        std::optional<int> delay;
    } cases[] = {
        {"LAME3.100", 15, 576},
        {"Lavc58.91", 15, 1105},
        {"Lavf", 15, 4095},
        {"LAME3.99r", 7, 576},   // no quality field: the extension comes earlier
        {"LAME3.100", 1, 576},
        {"GOGO", 15, std::nullopt},  // an extension of another kind
    };
    for (const auto& c : cases) {
        const auto found =
            ReadHeaderFrame(Bytes(XingFrameBytes(raw, 21, "Info", c.encoder, c.delay.value_or(576), c.flags)), h);
        ASSERT_TRUE(found) << c.encoder;
        EXPECT_EQ(found->EncoderDelay, c.delay) << c.encoder << " flags " << c.flags;
    }
}

TEST(XingFrame, SmallestRateThatHoldsTheFields) {
    XingFields fields;
    fields.Frames = 0x01020304;
    fields.Bytes = 0xA0B0C0D0;
    for (int i = 0; i < 100; ++i) fields.Toc[static_cast<std::size_t>(i)] = static_cast<unsigned char>(2 * i);
    const struct {
        const char* name;
        RawHeader model;
        int length;
    } cases[] = {
        {"MPEG-1 stereo 44.1k: 48 kbit/s", {3, 1, 9, 0, true, 1, true}, 156},
        {"MPEG-1 mono 48k: 48 kbit/s", {3, 1, 5, 1, false, 3}, 144},
        {"MPEG-2 stereo 22.05k: 48 kbit/s", {2, 1, 5, 0, false, 0}, 156},
        {"MPEG-2.5 mono 8k: 16 kbit/s", {0, 1, 5, 2, false, 3}, 144},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FrameHeader model = *ParseFrameHeader(Bytes(HeaderBytes(c.model)));
        const std::vector<unsigned char> frame = BuildXingFrame(model, fields);
        const auto h = ParseFrameHeader(frame.data());
        ASSERT_TRUE(h);
        EXPECT_EQ(static_cast<int>(frame.size()), h->Length());
        EXPECT_EQ(h->Length(), c.length);
        EXPECT_TRUE(SameStream(*h, model));
        EXPECT_EQ(h->ChannelMode, model.ChannelMode);
        EXPECT_FALSE(h->Protected);
        const int at = XingOffset(*h);
        EXPECT_EQ(std::memcmp(frame.data() + at, "Xing\0\0\0\x07\x01\x02\x03\x04\xA0\xB0\xC0\xD0", 16), 0);
        EXPECT_EQ(std::memcmp(frame.data() + at + 16, fields.Toc.data(), 100), 0);
        EXPECT_TRUE(ReadHeaderFrame(frame.data(), *h));
        // One rate lower would not hold the fields.
        FrameHeader smaller = *h;
        --smaller.BitRateIndex;
        EXPECT_LT(smaller.Length(), at + 116);
    }
}

}  // namespace
