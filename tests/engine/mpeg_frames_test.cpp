// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpeg_frames.h"
#include "frame_stream.h"
#include "side_info.h"
#include "xing_frame.h"

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;

namespace {

std::span<const unsigned char> Bytes(const std::string& text) { return AsBytes(text); }
FrameHeader Parsed(const RawHeader& raw) { return *ParseFrameHeader(Bytes(HeaderBytes(raw))); }

// Lengths worked out by hand from the format's formulas.
TEST(FrameHeader, EachVersionAndLayer) {
    const struct {
        RawHeader raw;
        MpegVersion version;
        int layer, bitRate, sampleRate, samples, length;
    } cases[] = {
        {{3, 1, 9, 0, false, 1}, MpegVersion::Mpeg1, 3, 128000, 44100, 1152, 417},
        {{3, 1, 9, 0, true, 3}, MpegVersion::Mpeg1, 3, 128000, 44100, 1152, 418},
        {{3, 1, 14, 1, false, 0}, MpegVersion::Mpeg1, 3, 320000, 48000, 1152, 960},
        {{3, 2, 14, 2, true, 0}, MpegVersion::Mpeg1, 2, 384000, 32000, 1152, 1729},
        {{3, 3, 14, 2, true, 0}, MpegVersion::Mpeg1, 1, 448000, 32000, 384, 676},
        {{2, 1, 8, 0, false, 3}, MpegVersion::Mpeg2, 3, 64000, 22050, 576, 208},
        {{2, 2, 14, 1, false, 0}, MpegVersion::Mpeg2, 2, 160000, 24000, 1152, 960},
        {{2, 3, 14, 2, false, 0}, MpegVersion::Mpeg2, 1, 256000, 16000, 384, 768},
        {{0, 1, 8, 0, true, 3}, MpegVersion::Mpeg25, 3, 64000, 11025, 576, 418},
        {{0, 2, 14, 2, true, 1}, MpegVersion::Mpeg25, 2, 160000, 8000, 1152, 2881},
    };
    for (const auto& c : cases) {
        const std::string bytes = HeaderBytes(c.raw);
        const auto h = ParseFrameHeader(Bytes(bytes));
        ASSERT_TRUE(h) << c.length;
        EXPECT_EQ(h->Version, c.version);
        EXPECT_EQ(h->Layer, c.layer);
        EXPECT_EQ(h->BitRate(), c.bitRate);
        EXPECT_EQ(h->SampleRate(), c.sampleRate);
        EXPECT_EQ(h->Samples(), c.samples);
        EXPECT_EQ(h->Length(), c.length);
        EXPECT_LE(h->Length(), MaxFrameLength);
        EXPECT_EQ(h->ChannelMode, c.raw.mode);
        const auto encoded = EncodeFrameHeader(*h);
        EXPECT_EQ(std::string(encoded.begin(), encoded.end()), bytes);
    }
    EXPECT_TRUE(Parsed({3, 1, 9, 0, false, 3, true}).Protected);
}

TEST(FrameHeader, RejectsWhatNoLengthCanBeComputedFor) {
    const std::string cases[] = {
        HeaderBytes({3, 1, 0, 0}),   // free format
        HeaderBytes({3, 1, 15, 0}),  // bit-rate index 15
        HeaderBytes({3, 1, 9, 3}),   // sample-rate index 3
        HeaderBytes({1, 1, 9, 0}),   // reserved version
        HeaderBytes({3, 0, 9, 0}),   // reserved layer
        "\xFE\xFB\x90\x00",         "\xFF\xDB\x90\x00", std::string(4, '\0'),
    };
    for (const std::string& bytes : cases) EXPECT_FALSE(ParseFrameHeader(Bytes(bytes))) << &bytes - cases;
}

TEST(HeaderFrame, XingAndInfoStandAfterTheSideInformation) {
    const struct {
        RawHeader raw;
        int offset;  // 4 + side information, with CRC or not
    } cases[] = {
        {{3, 1, 9, 0, false, 0}, 36},  {{3, 1, 9, 0, false, 3}, 21},       {{2, 1, 14, 0, false, 1}, 21},
        {{0, 1, 14, 0, false, 3}, 13}, {{3, 1, 9, 0, false, 3, true}, 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        const FrameHeader h = Parsed(c.raw);
        EXPECT_EQ(XingOffset(h), c.offset);
        EXPECT_TRUE(ReadHeaderFrame(Bytes(XingFrameBytes(c.raw, c.offset, "Xing")), h));
        EXPECT_TRUE(ReadHeaderFrame(Bytes(XingFrameBytes(c.raw, c.offset, "Info")), h));
        EXPECT_FALSE(ReadHeaderFrame(Bytes(XingFrameBytes(c.raw, c.offset + 1)), h));
        EXPECT_FALSE(ReadHeaderFrame(Bytes(FrameBytes(c.raw)), h));
    }
    const RawHeader mono{3, 1, 9, 0, false, 3};
    EXPECT_TRUE(ReadHeaderFrame(Bytes(FrameBytes(mono, std::string(32, '\0') + "VBRI")), Parsed(mono)));
    EXPECT_FALSE(ReadHeaderFrame(Bytes(FrameBytes(mono, std::string(33, '\0') + "VBRI")), Parsed(mono)));
    const RawHeader layerTwo{3, 2, 9, 0, false, 0};
    EXPECT_FALSE(ReadHeaderFrame(Bytes(XingFrameBytes(layerTwo, 36)), Parsed(layerTwo)));
}

TEST(HeaderFrame, EncoderDelayFromTheExtension) {
    const RawHeader raw{3, 1, 9, 0, false, 3};
    const struct {
        const char* encoder;
        int flags;
        std::optional<int> delay;
    } cases[] = {
        {"LAME3.100", 15, 576}, {"Lavc58.91", 15, 1105},
        {"Lavf", 15, 4095},     {"LAME3.99r", 7, 576},  // no quality field: the extension comes earlier
        {"LAME3.100", 1, 576},  {"GOGO", 15, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto found = ReadHeaderFrame(
            Bytes(XingFrameBytes(raw, 21, "Info", c.encoder, c.delay.value_or(576), c.flags)), Parsed(raw));
        ASSERT_TRUE(found) << c.encoder;
        EXPECT_EQ(found->EncoderDelay, c.delay) << c.encoder << " flags " << c.flags;
    }
}

TEST(XingFrame, SmallestRateThatHoldsTheFields) {
    const struct {
        RawHeader model;
        int length;
    } cases[] = {
        {{3, 1, 1, 0, true, 1, true}, 156},  // MPEG-1 stereo 44.1k: 48 kbit/s
        {{3, 1, 1, 1, false, 3}, 144},       // MPEG-1 mono 48k: 48 kbit/s
        {{0, 1, 1, 2, false, 3}, 144},       // MPEG-2.5 mono 8k: 16 kbit/s
        {{3, 1, 9, 0, false, 3}, 417},       // the model's own 128 kbit/s holds them
    };
    for (const auto& c : cases) {
        const FrameHeader model = Parsed(c.model);
        const std::vector<unsigned char> frame = BuildXingFrame(model, {});
        const auto h = ParseFrameHeader(frame);
        ASSERT_TRUE(h);
        EXPECT_EQ(static_cast<int>(frame.size()), c.length);
        EXPECT_EQ(h->Length(), c.length);
        EXPECT_TRUE(SameStream(*h, model));
        EXPECT_EQ(h->ChannelMode, model.ChannelMode);
        EXPECT_FALSE(h->Padding);
        // A CRC when the model has one, as decoders compare that bit.
        EXPECT_EQ(h->Protected, model.Protected);
        if (h->Protected) {
            EXPECT_EQ(frame[4] << 8 | frame[5], *FrameCrc(*h, frame));
        }
        EXPECT_TRUE(ReadHeaderFrame(frame, *h));
        FrameHeader smaller = *h;
        --smaller.BitRateIndex;
        if (model.BitRateIndex == 1) {
            EXPECT_LT(smaller.Length(), XingOffset(*h) + 120) << "one rate lower would hold the fields";
        }
    }
}

}  // namespace

namespace {

// The gapless record a kept file carries reads back as LAME's, which
// players trust.
TEST(XingFrame, GaplessRecordReadsBackAsLames) {
    const FrameHeader model = Parsed({3, 1, 9, 0, false, 1});
    for (const auto& [delay, padding] : {std::pair{0, 529}, {4095, 4095}, {1234, 1681}}) {
        XingFields fields;
        fields.Record = Gapless{delay, padding};
        const std::vector<unsigned char> frame = BuildXingFrame(model, fields);
        const auto found = ReadHeaderFrame(frame, *ParseFrameHeader(frame));
        ASSERT_TRUE(found);
        EXPECT_TRUE(found->Lame);
        EXPECT_EQ(found->EncoderDelay, delay);
        EXPECT_EQ(found->Padding, padding);
    }
}

}  // namespace
