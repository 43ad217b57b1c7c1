// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis pass on real files: its timeline against GStreamer's (which
// the player plays and the marks are set by), sounds that repeat nothing,
// and files that are no songs or stop being one while they are decoded.

#include "mp3_fixture.h"
#include "song_analysis.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace sundrel;
namespace fixture = sundrel::test;

namespace {

class TempFolder {
public:
    TempFolder() : path_(std::filesystem::temp_directory_path() / ("sundrel-analysis-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The first sample frame GStreamer's decoder (as the player's playbin picks
// it) gives louder than `level`, counted from the first frame it gives.
std::optional<std::size_t> FirstLoudFrameByGStreamer(const std::filesystem::path& song, float level) {
    gst_init(nullptr, nullptr);
    const std::string description =
        "filesrc name=file ! decodebin ! audioconvert ! "
        "audio/x-raw,format=F32LE,layout=interleaved ! appsink name=sink sync=false";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline) return std::nullopt;
    GstElement* file = gst_bin_get_by_name(GST_BIN(pipeline), "file");
    g_object_set(file, "location", song.c_str(), nullptr);
    gst_object_unref(file);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::optional<std::size_t> found;
    std::size_t frames = 0;
    while (!found) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND);
        if (!sample) break;
        int channels = 1;
        gst_structure_get_int(gst_caps_get_structure(gst_sample_get_caps(sample), 0), "channels", &channels);
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* values = reinterpret_cast<const float*>(map.data);
            const std::size_t count = map.size / sizeof(float);
            for (std::size_t i = 0; i < count && !found; ++i)
                if (std::fabs(values[i]) > level) found = frames + i / std::size_t(channels);
            frames += count / std::size_t(channels);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return found;
}

std::optional<std::size_t> FirstLoudBin(const Peaks& peaks, float level) {
    for (std::size_t i = 0; i < peaks.bins.size(); ++i)
        if (peaks.peak(i) > level) return i;
    return std::nullopt;
}

// Runs the analysis on another thread and gives up waiting after a while:
// a hang fails the test instead of stopping it.
std::optional<SongAnalysis> AnalyseWithin(const std::filesystem::path& path, std::chrono::seconds limit) {
    auto done = std::async(std::launch::async, [path] { return AnalyseSong(path); });
    if (done.wait_for(limit) != std::future_status::ready) {
        done.wait();  // still joined, so that nothing outlives the test
        return std::nullopt;
    }
    return done.get();
}

}  // namespace

// A sharp onset at 5 s lands in the bin where GStreamer's samples put it:
// the marks snap to onsets in the peaks, and the player plays by GStreamer.
TEST(DecodePass, AnOnsetLandsInTheSameBinAsWithGStreamer) {
    TempFolder folder;
    const auto song = folder / "onset.mp3";
    ASSERT_TRUE(fixture::MakeOnsetMp3(song, 12, 5.0));
    const auto byGStreamer = FirstLoudFrameByGStreamer(song, 0.1f);
    ASSERT_TRUE(byGStreamer);
    const SongAnalysis analysis = AnalyseSong(song);
    ASSERT_TRUE(analysis.Finished);
    ASSERT_EQ(analysis.peaks.binSeconds, double(PeakFineBinFrames) / fixture::kSampleRate);
    const auto bin = FirstLoudBin(analysis.peaks, 0.1f);
    ASSERT_TRUE(bin);
    EXPECT_EQ(*bin, *byGStreamer / PeakFineBinFrames);
    EXPECT_EQ(*bin, std::size_t(5.0 * fixture::kSampleRate) / PeakFineBinFrames);
    EXPECT_NEAR(analysis.peaks.decodedSeconds, 12.0, 1.0 / fixture::kSampleRate);
}

// Sounds without a chorus: no crash, and either nothing or one stretch
// inside the song, whose proposal stays within it and the length asked.
TEST(DecodePass, SoundsThatRepeatNothingGetASaneAnswer) {
    TempFolder folder;
    struct Row {
        const char* name;
        std::function<bool(const std::filesystem::path&)> make;
        double seconds;
    };
    const std::vector<Row> rows = {
        {"tone", [](const auto& p) { return fixture::MakeToneMp3(p, 40); }, 40},
        {"noise", [](const auto& p) { return fixture::MakeQuietLoudMp3(p, 45, fixture::BitRateMode::Cbr128); }, 45},
        {"stepped tone", [](const auto& p) { return fixture::MakeSteppedToneMp3(p, 50); }, 50},
        {"a short tone", [](const auto& p) { return fixture::MakeToneMp3(p, 6); }, 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto song = folder / "song.mp3";
        ASSERT_TRUE(row.make(song));
        const SongAnalysis analysis = AnalyseSong(song);
        ASSERT_TRUE(analysis.Finished);
        EXPECT_LE(analysis.Candidates.size(), 1u);
        for (const ChorusCandidate& candidate : analysis.Candidates) {
            EXPECT_GE(candidate.StartSeconds, 0);
            EXPECT_LE(candidate.SectionEndSeconds, row.seconds + 0.1);
        }
        const Proposal proposal = ProposalFor(analysis, 0);
        EXPECT_GE(proposal.StartSeconds, 0);
        EXPECT_LE(proposal.EndSeconds, row.seconds + 0.1);
        EXPECT_GT(proposal.EndSeconds, proposal.StartSeconds);
        EXPECT_LE(proposal.EndSeconds - proposal.StartSeconds, kProposalSeconds + 1e-9);
    }
}

// Files that are no songs, or odd ones: never a crash or a hang; those that
// hold no MPEG audio fail, the odd but real ones are decoded whole.
TEST(DecodePass, HostileFilesNeitherCrashNorHang) {
    TempFolder folder;
    const auto good = folder / "good.mp3";
    ASSERT_TRUE(fixture::MakeQuietLoudMp3(good, 20, fixture::BitRateMode::Cbr128));
    const std::vector<std::uint8_t> bytes = fixture::ReadBytes(good);
    std::mt19937 random(5);
    std::vector<std::uint8_t> garbage(300000);
    for (std::uint8_t& b : garbage) b = std::uint8_t(random());

    struct Row {
        const char* name;
        std::function<bool(const std::filesystem::path&)> make;
        bool decodes;
    };
    const std::vector<Row> rows = {
        {"a FIFO", [](const auto& p) { return ::mkfifo(p.c_str(), 0600) == 0; }, false},
        {"a folder", [](const auto& p) { return std::filesystem::create_directory(p); }, false},
        {"no file", [](const auto&) { return true; }, false},
        {"0 bytes", [](const auto& p) { return fixture::WriteBytes(p, {}); }, false},
        {"garbage", [&](const auto& p) { return fixture::WriteBytes(p, garbage); }, false},
        {"half a song",
         [&](const auto& p) {
             return fixture::WriteBytes(p, {bytes.data(), bytes.size() / 2});
         },
         true},
        {"free format",
         [](const auto& p) {
             return fixture::MakeQuietLoudMp3(p, 20, {"--freeformat", "-b", "200"});
         },
         true},
        {"MPEG-2.5 at 8 kHz",
         [](const auto& p) {
             return fixture::MakeQuietLoudMp3(p, 20, {"--resample", "8", "-b", "16"});
         },
         true},
    };
    int count = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto path = folder / ("hostile" + std::to_string(count++) + ".mp3");
        ASSERT_TRUE(row.make(path));
        const auto analysis = AnalyseWithin(path, std::chrono::seconds(30));
        ASSERT_TRUE(analysis) << "hung";
        EXPECT_EQ(analysis->Finished, row.decodes);
        EXPECT_EQ(analysis->Failed, !row.decodes);
        EXPECT_EQ(analysis->peaks.finished, row.decodes);
        if (row.decodes) {
            EXPECT_GT(analysis->peaks.decodedSeconds, 5);
        }
    }

    // Cut short and written over while it is decoded, again and again.
    const auto changing = folder / "changing.mp3";
    ASSERT_TRUE(fixture::WriteBytes(changing, bytes));
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            std::filesystem::resize_file(changing, bytes.size() / std::size_t(2 + i % 5));
            fixture::WriteBytes(changing, i % 2 ? bytes : garbage);
        }
    });
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(AnalyseWithin(changing, std::chrono::seconds(30))) << "hung";
    done = true;
    writer.join();
}

// Cancelling stops the pass at once, in the middle of a long song.
TEST(DecodePass, CancellingEndsThePassAsFailed) {
    TempFolder folder;
    const auto song = folder / "long.mp3";
    ASSERT_TRUE(fixture::MakeToneMp3(song, 300));
    std::stop_source stop;
    int calls = 0;
    const SongAnalysis analysis = AnalyseSong(
        song, stop.get_token(),
        [&](const Peaks&) {
            if (++calls == 1) stop.request_stop();
        },
        0);
    EXPECT_TRUE(analysis.Failed);
    EXPECT_FALSE(analysis.Finished);
    EXPECT_LT(analysis.peaks.decodedSeconds, 10);
}
