// SPDX-License-Identifier: GPL-3.0-or-later
#include "peak_decoder.h"

#include "gst_playback.h"

#include <QFile>
#include <QFileInfo>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>

namespace sundrel {

namespace {

// The finest bin, in sample frames: 5.8 ms at 44.1 kHz.
constexpr std::uint64_t kFineBinFrames = 256;
constexpr auto kPublishEvery = std::chrono::milliseconds(100);
constexpr int kPollMs = 50;

std::uint16_t Level(double value) { return std::uint16_t(std::lround(std::clamp(value, 0.0, 1.0) * Peaks::kFull)); }

}  // namespace

// The decoding's own state lives on GStreamer's streaming thread; the bins
// it finishes are handed over under the lock and kept only by the peaks.
struct PeakDecoder::Work {
    struct Fine {
        float peak = 0;
        float rms = 0;
    };

    PeakDecoder* owner = nullptr;

    int rate = 0;
    int channels = 0;
    std::uint64_t frames = 0;
    // The fine bin being filled, and those finished since the last hand-over.
    float peak = 0;
    double squares = 0;
    std::uint64_t values = 0;
    std::vector<Fine> finished;
    std::chrono::steady_clock::time_point published{};

    std::mutex lock;
    std::vector<Fine> handed;  // not yet taken by the user-interface thread
    double decodedSeconds = 0;
    double fineSeconds = 0;
    bool ended = false;
    bool fresh = false;

    void closeBin()
    {
        finished.push_back({std::min(peak, 1.0f), values ? float(std::sqrt(squares / double(values))) : 0.0f});
        peak = 0;
        squares = 0;
        values = 0;
    }

    void add(const float* samples, std::uint64_t frameCount)
    {
        std::uint64_t done = 0;
        while (done < frameCount) {
            const std::uint64_t room = kFineBinFrames - frames % kFineBinFrames;
            const std::uint64_t take = std::min(room, frameCount - done);
            const float* from = samples + done * std::uint64_t(channels);
            const std::uint64_t count = take * std::uint64_t(channels);
            float top = peak;
            double sum = 0;
            for (std::uint64_t i = 0; i < count; ++i) {
                const float v = from[i];
                top = std::max(top, std::fabs(v));
                sum += double(v) * v;
            }
            peak = top;
            squares += sum;
            values += count;
            frames += take;
            done += take;
            if (take == room)
                closeBin();
        }
    }

    // Hands the finished bins to the user-interface thread and tells it so.
    void publish(bool end)
    {
        if (end && values > 0)
            closeBin();
        {
            const std::lock_guard guard(lock);
            handed.insert(handed.end(), finished.begin(), finished.end());
            decodedSeconds = rate > 0 ? double(frames) / rate : 0;
            fineSeconds = rate > 0 ? double(kFineBinFrames) / rate : 0;
            ended = end;
            fresh = true;
        }
        finished.clear();
        published = std::chrono::steady_clock::now();
        QMetaObject::invokeMethod(owner, &PeakDecoder::takeSnapshot, Qt::QueuedConnection);
    }

    static GstFlowReturn onSample(GstAppSink* sink, gpointer data)
    {
        auto* work = static_cast<Work*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_EOS;
        if (work->rate == 0) {
            const GstStructure* format = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
            gst_structure_get_int(format, "rate", &work->rate);
            gst_structure_get_int(format, "channels", &work->channels);
        }
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (work->rate > 0 && work->channels > 0 && buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const std::uint64_t frameCount = map.size / (sizeof(float) * std::uint64_t(work->channels));
            work->add(reinterpret_cast<const float*>(map.data), frameCount);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        if (std::chrono::steady_clock::now() - work->published >= kPublishEvery)
            work->publish(false);
        return GST_FLOW_OK;
    }

    static void onEnd(GstAppSink*, gpointer data) { static_cast<Work*>(data)->publish(true); }
};

PeakDecoder::PeakDecoder(const QString& path, QObject* parent) : QObject(parent), work_(std::make_shared<Work>())
{
    work_->owner = this;
    connect(&poll_, &QTimer::timeout, this, &PeakDecoder::poll);
    if (!StartGStreamer()) {
        peaks_.failed = true;
        return;
    }
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    gchar* uri = gst_filename_to_uri(file.constData(), nullptr);
    // Only the sound is decoded; other streams are not even exposed.
    pipeline_ = uri ? gst_parse_launch(
                          "uridecodebin name=source caps=audio/x-raw expose-all-streams=false"
                          " ! audioconvert ! audio/x-raw,format=F32LE,layout=interleaved"
                          " ! appsink name=sink sync=false",
                          nullptr)
                    : nullptr;
    if (!pipeline_) {
        g_free(uri);
        peaks_.failed = true;
        return;
    }
    gst_object_ref_sink(pipeline_);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline_), "source");
    g_object_set(source, "uri", uri, nullptr);
    gst_object_unref(source);
    g_free(uri);

    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Work::onSample;
    callbacks.eos = &Work::onEnd;
    // The work outlives the pipeline's threads: they are stopped before the
    // last reference here goes.
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, work_.get(), nullptr);
    gst_object_unref(sink);

    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        fail();
        return;
    }
    poll_.start(kPollMs);
}

PeakDecoder::~PeakDecoder() { stopPipeline(); }

void PeakDecoder::stopPipeline()
{
    poll_.stop();
    if (!pipeline_)
        return;
    // Synchronous: no callback runs any more once this returns.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
}

void PeakDecoder::takeSnapshot()
{
    std::vector<Work::Fine> taken;
    bool ended = false;
    double fineSeconds = 0;
    {
        const std::lock_guard guard(work_->lock);
        if (!work_->fresh)
            return;
        work_->fresh = false;
        taken.swap(work_->handed);
        ended = work_->ended;
        fineSeconds = work_->fineSeconds;
        peaks_.decodedSeconds = work_->decodedSeconds;
    }
    for (const Work::Fine& fine : taken)
        peaks_.addFine(fine.peak, fine.rms, fineSeconds);
    if (ended) {
        peaks_.closeOpenBin();
        peaks_.bins.shrink_to_fit();
        peaks_.finished = true;
    }
    emit progressed();
}

void Peaks::addFine(float finePeak, float fineRms, double fineSeconds)
{
    binSeconds = fineSeconds * double(fineInBin_);
    openPeak_ = std::max(openPeak_, finePeak);
    openSquares_ += double(fineRms) * fineRms;
    if (++openCount_ < fineInBin_)
        return;
    if (bins.size() < PeakBinsMax) {
        closeOpenBin();
        return;
    }
    // Two neighbouring bins become one; the open bin is the first half of
    // the next one.
    for (std::size_t i = 0; i < PeakBinsMax / 2; ++i) {
        const Bin a = bins[2 * i];
        const Bin b = bins[2 * i + 1];
        const double squares = (double(a.rms) * a.rms + double(b.rms) * b.rms) / 2.0;
        bins[i] = {std::max(a.peak, b.peak), std::uint16_t(std::lround(std::sqrt(squares)))};
    }
    bins.resize(PeakBinsMax / 2);
    fineInBin_ *= 2;
    binSeconds *= 2;
}

void Peaks::closeOpenBin()
{
    if (openCount_ == 0)
        return;
    bins.push_back({Level(openPeak_), Level(std::sqrt(openSquares_ / double(openCount_)))});
    openCount_ = 0;
    openPeak_ = 0;
    openSquares_ = 0;
}

void PeakDecoder::fail()
{
    stopPipeline();
    takeSnapshot();
    peaks_.failed = true;
    emit progressed();
}

void PeakDecoder::poll()
{
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* message = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    gst_object_unref(bus);
    if (!message)
        return;
    const bool failed = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    gst_message_unref(message);
    // The end has been published by the sink itself; either way the
    // pipeline's work is over and the file is let go.
    if (failed) {
        fail();
    } else {
        stopPipeline();
        takeSnapshot();
    }
}

}  // namespace sundrel
