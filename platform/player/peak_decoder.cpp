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

// The finest bin, in sample frames; bins double in length whenever the song
// outgrows PeakBinsMax of them.
constexpr std::uint64_t kFirstBinFrames = 256;
constexpr auto kPublishEvery = std::chrono::milliseconds(100);
constexpr int kPollMs = 50;

}  // namespace

// The decoding's own state lives on GStreamer's streaming thread; only the
// published copy is shared, under the lock.
struct PeakDecoder::Work {
    PeakDecoder* owner = nullptr;

    int rate = 0;
    int channels = 0;
    std::uint64_t binFrames = kFirstBinFrames;
    std::uint64_t frames = 0;
    std::vector<float> peak;
    std::vector<double> squares;
    std::vector<std::uint64_t> counts;  // samples in each bin
    std::chrono::steady_clock::time_point published{};

    std::mutex lock;
    Peaks shared;
    bool fresh = false;

    // Two neighbouring bins become one: the song still fits PeakBinsMax.
    void halve()
    {
        const std::size_t half = (peak.size() + 1) / 2;
        for (std::size_t i = 0; i < half; ++i) {
            const std::size_t a = 2 * i;
            const std::size_t b = std::min(a + 1, peak.size() - 1);
            const bool pair = b != a;
            peak[i] = std::max(peak[a], pair ? peak[b] : 0.0f);
            squares[i] = squares[a] + (pair ? squares[b] : 0.0);
            counts[i] = counts[a] + (pair ? counts[b] : 0);
        }
        peak.resize(half);
        squares.resize(half);
        counts.resize(half);
        binFrames *= 2;
    }

    void add(const float* samples, std::uint64_t frameCount)
    {
        std::uint64_t done = 0;
        while (done < frameCount) {
            std::uint64_t bin = frames / binFrames;
            while (bin >= PeakBinsMax) {
                halve();
                bin = frames / binFrames;
            }
            if (bin >= peak.size()) {
                peak.resize(bin + 1, 0.0f);
                squares.resize(bin + 1, 0.0);
                counts.resize(bin + 1, 0);
            }
            const std::uint64_t room = (bin + 1) * binFrames - frames;
            const std::uint64_t take = std::min(room, frameCount - done);
            const float* from = samples + done * std::uint64_t(channels);
            const std::uint64_t values = take * std::uint64_t(channels);
            float top = peak[bin];
            double sum = 0;
            for (std::uint64_t i = 0; i < values; ++i) {
                const float v = from[i];
                top = std::max(top, std::fabs(v));
                sum += double(v) * v;
            }
            peak[bin] = std::min(top, 1.0f);
            squares[bin] += sum;
            counts[bin] += values;
            frames += take;
            done += take;
        }
    }

    // Copies the bins for the user-interface thread and tells it so.
    void publish(bool finished)
    {
        {
            const std::lock_guard guard(lock);
            shared.binSeconds = rate > 0 ? double(binFrames) / rate : 0;
            shared.peak = peak;
            shared.rms.resize(peak.size());
            for (std::size_t i = 0; i < peak.size(); ++i)
                shared.rms[i] = counts[i] ? float(std::min(1.0, std::sqrt(squares[i] / double(counts[i])))) : 0.0f;
            shared.decodedSeconds = rate > 0 ? double(frames) / rate : 0;
            shared.finished = finished;
            fresh = true;
        }
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

PeakDecoder::PeakDecoder(const QString& path, QObject* parent)
    : QObject(parent), work_(std::make_shared<Work>())
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
    pipeline_ = uri ? gst_parse_launch("uridecodebin name=source caps=audio/x-raw expose-all-streams=false"
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

PeakDecoder::~PeakDecoder()
{
    stopPipeline();
}

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
    const std::lock_guard guard(work_->lock);
    if (!work_->fresh)
        return;
    work_->fresh = false;
    const bool failed = peaks_.failed;
    peaks_ = work_->shared;
    peaks_.failed = failed;
    emit progressed();
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
