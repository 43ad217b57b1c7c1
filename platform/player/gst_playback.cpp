// SPDX-License-Identifier: GPL-3.0-or-later
#include "gst_playback.h"

#include "engine_path.h"
#include "song_map.h"

#include <gst/gst.h>

#include <cstdio>
#include <mutex>
#include <optional>

namespace sundrel {

namespace {

// playbin's flags, from its own GstPlayFlags: sound only, with its volume
// applied in software so that it works on every output.
constexpr guint kPlayAudio = 1u << 1;
constexpr guint kPlaySoftVolume = 1u << 4;

constexpr int kPollMs = 40;

// A loop turning more often than this would only flood the bus with its
// turns, and be heard as a buzz.
constexpr qint64 kShortestLoopMs = 100;

// Whether the user has been told that nothing will be heard: once is enough,
// whichever way it was found out.
bool silenceReported = false;

const gchar* FactoryName(GstElement* element)
{
    GstElementFactory* factory = element ? gst_element_get_factory(element) : nullptr;
    return factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
}

// autoaudiosink falls back to a fake sink, which keeps time silently, when
// none of the real outputs opens (no sound server and no sound card).
bool PlaysIntoFakeSink(GstElement* playbin)
{
    bool fake = false;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(playbin));
    GValue item = G_VALUE_INIT;
    for (bool done = false; !done;) {
        switch (gst_iterator_next(elements, &item)) {
            case GST_ITERATOR_OK: {
                auto* element = GST_ELEMENT(g_value_get_object(&item));
                GstObject* parent = gst_object_get_parent(GST_OBJECT(element));
                if (parent && GST_IS_ELEMENT(parent) && g_strcmp0(FactoryName(element), "fakesink") == 0 &&
                    g_strcmp0(FactoryName(GST_ELEMENT(parent)), "autoaudiosink") == 0)
                    fake = true;
                if (parent)
                    gst_object_unref(parent);
                g_value_reset(&item);
                break;
            }
            case GST_ITERATOR_RESYNC:
                gst_iterator_resync(elements);
                break;
            default:
                done = true;
                break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return fake;
}

bool StartOnce()
{
    GError* error = nullptr;
    const bool started = gst_init_check(nullptr, nullptr, &error);
    if (!started) {
        std::fprintf(stderr, "Sundrel: GStreamer cannot start (%s); songs will not play.\n",
                     error ? error->message : "unknown error");
        g_clear_error(&error);
    }
    return started;
}

// GStreamer's own account of why a song failed, on one line: its debug
// text runs over several.
QByteArray OneLine(const gchar* text) { return QByteArray(text ? text : "").simplified(); }

}  // namespace

bool StartGStreamer()
{
    static const bool started = StartOnce();
    return started;
}

void WarnOnceWithoutAudioOutput()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!StartGStreamer())
            return;
        // What autoaudiosink chooses from: every sound output but itself.
        GList* sinks = gst_element_factory_list_get_elements(
            GST_ELEMENT_FACTORY_TYPE_SINK | GST_ELEMENT_FACTORY_TYPE_MEDIA_AUDIO, GST_RANK_MARGINAL);
        bool found = false;
        for (GList* item = sinks; item && !found; item = item->next) {
            const gchar* name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(item->data));
            found = g_strcmp0(name, "autoaudiosink") != 0;
        }
        gst_plugin_feature_list_free(sinks);
        if (!found) {
            silenceReported = true;
            std::fprintf(stderr,
                         "Sundrel: no sound output was found (GStreamer has neither its PulseAudio nor its "
                         "ALSA output), so songs play silently. Install gstreamer1.0-pulseaudio or "
                         "gstreamer1.0-alsa to hear them.\n");
        }
    });
}

Playback::Playback(const QString& path, double gain, QObject* parent) : QObject(parent)
{
    connect(&poll_, &QTimer::timeout, this, &Playback::poll);
    // A player never shown (or a song chosen before its first paint) tells
    // here that nothing will be heard.
    WarnOnceWithoutAudioOutput();
    if (!StartGStreamer()) {
        failed_ = true;
        return;
    }
    // The URI is made of the name's own bytes, percent-encoded: a name that
    // is not UTF-8 plays as well as any.
    const std::string bytes = AbsoluteEnginePath(path).native();
    const QByteArray file(bytes.data(), qsizetype(bytes.size()));
    file_ = file;
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(file.constData(), &error);
    playbin_ = uri ? gst_element_factory_make("playbin", nullptr) : nullptr;
    if (!playbin_) {
        std::fprintf(stderr, "Sundrel: cannot play %s: %s\n", file.constData(),
                     error ? error->message : "GStreamer has no playbin (gstreamer1.0-plugins-base)");
        g_clear_error(&error);
        g_free(uri);
        failed_ = true;
        return;
    }
    gst_object_ref_sink(playbin_);
    // The volume is a volume element of ours before the sound output rather
    // than playbin's own (its soft-volume flag), which GStreamer 1.22 leaves
    // behind, with its pads and buffers, for every song played. Either way
    // the volume works on every output.
    if (GstElement* output = gst_parse_bin_from_description("volume name=gain ! autoaudiosink", TRUE, nullptr)) {
        gain_ = gst_bin_get_by_name(GST_BIN(output), "gain");
        g_object_set(playbin_, "audio-sink", output, nullptr);
    }
    g_object_set(playbin_, "uri", uri, "flags", kPlayAudio | (gain_ ? 0u : kPlaySoftVolume), nullptr);
    setGain(gain);
    g_free(uri);
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        fail();
        return;
    }
    poll_.start(kPollMs);
}

Playback::~Playback()
{
    if (playbin_) {
        // Synchronous: GStreamer's threads have stopped and the file is
        // closed when this returns.
        gst_element_set_state(playbin_, GST_STATE_NULL);
        gst_object_unref(playbin_);
    }
    if (gain_)
        gst_object_unref(gain_);
}

qint64 Playback::durationMs() const
{
    // A header frame that lies (a byte count of 0xFFFFFFFF, counts of half
    // the song) leaves GStreamer without the length, or with a wrong one,
    // while its accurate seeks still land on the very sample: only the
    // length must come from the frames.
    const auto seconds = [](qint64 ms) { return ms > 0 ? std::optional<double>(double(ms) / 1000.0) : std::nullopt; };
    const auto played = PlayedDuration(seconds(duration_), seconds(songLength_));
    return played ? qRound64(*played * 1000.0) : 0;
}

void Playback::setSongLength(qint64 milliseconds)
{
    songLength_ = qMax<qint64>(0, milliseconds);
    emit changed();
}

Playback::Status Playback::status() const
{
    if (failed_)
        return Status::Failed;
    if (ended_)
        return Status::Ended;
    if (stopped_)
        return Status::Stopped;
    if (!playing_)
        return Status::Paused;
    return opened_ ? Status::Playing : Status::Opening;
}

bool Playback::queryPosition(qint64& milliseconds) const
{
    gint64 nanoseconds = 0;
    if (!playbin_ || !gst_element_query_position(playbin_, GST_FORMAT_TIME, &nanoseconds) || nanoseconds < 0)
        return false;
    milliseconds = nanoseconds / GST_MSECOND;
    return true;
}

qint64 Playback::positionMs() const
{
    if (ended_)
        return durationMs();
    if (seeking_)
        return *seeking_;
    if (pendingSeek_)
        return *pendingSeek_;
    if (!opened_)
        return 0;
    qint64 now = 0;
    if (queryPosition(now))
        lastPosition_ = now;
    return lastPosition_;
}

void Playback::play()
{
    if (!playbin_ || failed_)
        return;
    if (ended_)
        startSeek(0);
    ended_ = false;
    stopped_ = false;
    playing_ = true;
    gst_element_set_state(playbin_, GST_STATE_PLAYING);
    emit changed();
}

void Playback::pause()
{
    if (!playbin_ || failed_ || !playing_)
        return;
    playing_ = false;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    emit changed();
}

void Playback::stop()
{
    if (!playbin_ || failed_)
        return;
    loop_.reset();
    playing_ = false;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    seek(0);
    ended_ = false;
    stopped_ = true;
    emit changed();
}

void Playback::seek(qint64 milliseconds)
{
    if (!playbin_ || failed_)
        return;
    milliseconds = qMax<qint64>(0, milliseconds);
    if (durationMs() > 0)
        milliseconds = qMin(milliseconds, durationMs());
    if (loop_ && (milliseconds < loop_->fromMs || milliseconds >= loop_->toMs))
        loop_.reset();
    ended_ = false;
    stopped_ = false;
    // Before the song is open a seek would be lost: it waits for the open.
    if (!opened_) {
        pendingSeek_ = milliseconds;
    } else {
        startSeek(milliseconds);
    }
    emit changed();
}

void Playback::startSeek(qint64 milliseconds)
{
    // A turn's end reported before this seek belongs to the segment the
    // flush throws away: acted on, it would cut the new one short.
    GstBus* bus = gst_element_get_bus(playbin_);
    while (GstMessage* stale = gst_bus_pop_filtered(bus, GST_MESSAGE_SEGMENT_DONE))
        gst_message_unref(stale);
    gst_object_unref(bus);
    // Accurate, so that the moment the player then reports is the moment
    // the user hears; flushing, so that it lands at once. A segment seek
    // ends in SEGMENT_DONE at the loop's end instead of EOS, which lets the
    // next turn be queued behind this one; an end of "none" lifts the end
    // that a loop may have left.
    auto flags = GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    gint64 endNs = gint64(GST_CLOCK_TIME_NONE);
    if (loop_) {
        flags = GstSeekFlags(flags | GST_SEEK_FLAG_SEGMENT);
        endNs = loop_->toMs * GST_MSECOND;
    }
    if (gst_element_seek(playbin_, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, milliseconds * GST_MSECOND,
                         GST_SEEK_TYPE_SET, endNs)) {
        seeking_ = milliseconds;
        lastPosition_ = milliseconds;
    } else {
        loop_.reset();
    }
}

void Playback::turnAgain()
{
    // Not flushing: the end of this turn still in GStreamer's queues plays
    // out, and the next turn follows it without a gap.
    const auto flags = GstSeekFlags(GST_SEEK_FLAG_ACCURATE | GST_SEEK_FLAG_SEGMENT);
    if (!gst_element_seek(playbin_, 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, loop_->fromMs * GST_MSECOND,
                          GST_SEEK_TYPE_SET, loop_->toMs * GST_MSECOND)) {
        // Nothing more will come after the segment's end: it is the end.
        loop_.reset();
        ended_ = true;
    }
}

void Playback::loop(qint64 fromMs, qint64 toMs)
{
    if (!playbin_ || failed_)
        return;
    fromMs = qMax<qint64>(0, fromMs);
    if (toMs - fromMs < kShortestLoopMs) {
        stopLoop();
        return;
    }
    const Stretch stretch{fromMs, toMs};
    if (loop_ == stretch)
        return;
    // A loop that is changed goes on where it is, if it can; a new one
    // starts at its beginning.
    const qint64 now = positionMs();
    const bool inside = loop_ && !ended_ && now >= fromMs && now < toMs;
    loop_ = stretch;
    ended_ = false;
    stopped_ = false;
    const qint64 target = inside ? now : fromMs;
    if (!opened_) {
        pendingSeek_ = target;
    } else {
        startSeek(target);
    }
    emit changed();
}

void Playback::stopLoop()
{
    if (!loop_)
        return;
    loop_.reset();
    // The segment still ends at the loop's end, and the next turn may be
    // queued already: a flush to the moment heard now lets playback go on.
    if (opened_ && !ended_)
        startSeek(positionMs());
    emit changed();
}

bool Playback::looping() const { return loop_.has_value(); }

void Playback::setGain(double gain)
{
    if (gain_)
        g_object_set(gain_, "volume", gain, nullptr);
    else if (playbin_)
        g_object_set(playbin_, "volume", gain, nullptr);
}

void Playback::fail(GstMessage* error)
{
    // What GStreamer said goes to standard error, the window shows that the
    // song cannot be played. A state change refused at once leaves its
    // reason on the bus.
    GstBus* bus = error ? nullptr : gst_element_get_bus(playbin_);
    GstMessage* found = bus ? gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR) : nullptr;
    if (GstMessage* message = error ? error : found) {
        GError* gerror = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &gerror, &debug);
        std::fprintf(stderr, "Sundrel: cannot play %s: %s (%s)\n", file_.constData(),
                     OneLine(gerror ? gerror->message : nullptr).constData(), OneLine(debug).constData());
        g_clear_error(&gerror);
        g_free(debug);
    } else {
        std::fprintf(stderr, "Sundrel: cannot play %s: GStreamer refused to start it\n", file_.constData());
    }
    if (found)
        gst_message_unref(found);
    if (bus)
        gst_object_unref(bus);
    failed_ = true;
    loop_.reset();
    poll_.stop();
    // The pipeline stays, but idle: it holds the file no longer.
    gst_element_set_state(playbin_, GST_STATE_NULL);
    emit changed();
}

void Playback::poll()
{
    GstBus* bus = gst_element_get_bus(playbin_);
    while (GstMessage* message = gst_bus_pop(bus)) {
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_ERROR:
                fail(message);
                gst_message_unref(message);
                gst_object_unref(bus);
                return;
            case GST_MESSAGE_EOS:
                // A looped segment ends in SEGMENT_DONE, also at the song's
                // end: EOS means an element did not take the segment seek,
                // and the loop ends rather than wait for a turn.
                loop_.reset();
                ended_ = true;
                seeking_.reset();
                break;
            case GST_MESSAGE_SEGMENT_DONE:
                // Without a loop it can only be an old segment's, which a
                // flush has replaced with one that ends in EOS.
                if (loop_)
                    turnAgain();
                break;
            case GST_MESSAGE_ASYNC_DONE:
                // The song is open, or a seek has landed.
                if (!opened_ && !silenceReported && PlaysIntoFakeSink(playbin_)) {
                    silenceReported = true;
                    std::fprintf(stderr,
                                 "Sundrel: no sound output could be opened (no sound server is running and "
                                 "no sound card answers), so songs play silently.\n");
                }
                opened_ = true;
                seeking_.reset();
                if (pendingSeek_) {
                    const qint64 target = *pendingSeek_;
                    pendingSeek_.reset();
                    startSeek(target);
                }
                [[fallthrough]];
            case GST_MESSAGE_DURATION_CHANGED: {
                gint64 nanoseconds = 0;
                if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &nanoseconds) && nanoseconds > 0)
                    duration_ = nanoseconds / GST_MSECOND;
                break;
            }
            default:
                break;
        }
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    emit changed();
}

}  // namespace sundrel
