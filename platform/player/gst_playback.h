// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

struct _GstElement;
struct _GstMessage;

namespace sundrel {

// Starts GStreamer once for the whole program. False when it cannot run;
// then nothing plays, but the windows still work.
bool StartGStreamer();

// When GStreamer has no audio output besides its silent fake one, says so
// once on standard error: the tool works, but nothing will be heard.
void WarnOnceWithoutAudioOutput();

// One song played by GStreamer's own playbin, made fresh for every song so
// that nothing of the previous song's pipeline survives a load. It is driven
// from the user-interface thread alone: its bus is read by a timer, and no
// code of ours runs on GStreamer's threads, so nothing there can wait for
// this thread while this thread waits for it.
class Playback final : public QObject {
    Q_OBJECT

public:
    enum class Status { Opening, Playing, Paused, Stopped, Ended, Failed };

    // Starts playing the file at once. gain: linear, 0 to 1.
    Playback(const QString& path, double gain, QObject* parent = nullptr);
    // Lets go of the file before it returns.
    ~Playback() override;
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    Status status() const;
    qint64 positionMs() const;
    // 0 until the song has been opened. GStreamer's own, unless the song's
    // length was told and GStreamer's is missing or more than a second off.
    qint64 durationMs() const;
    // The length the song's frames tell; 0 for none.
    void setSongLength(qint64 milliseconds);

    void play();
    void pause();
    // Back to the beginning, paused.
    void stop();
    // A seek inside the stretch being looped keeps the loop; one outside
    // ends it.
    void seek(qint64 milliseconds);
    void setGain(double gain);

    // Plays [fromMs, toMs) over and over, each turn joined to the next
    // without a gap, until stopLoop(), stop(), an error or the song's end.
    // Asked again while looping, the loop takes the new stretch at once and
    // keeps the position when it lies inside, else goes to the new start.
    // Pausing and playing keep the loop. A stretch shorter than a tenth of
    // a second is not looped: it ends any loop instead.
    void loop(qint64 fromMs, qint64 toMs);
    // Lifts the stretch's end: playback goes on (or stays paused) from where
    // it is.
    void stopLoop();
    bool looping() const;

signals:
    // The status, the duration or the position has moved.
    void changed();

private:
    void poll();
    // Says why on standard error: GStreamer's error (given, or left on the
    // bus), one line.
    void fail(_GstMessage* error = nullptr);
    // A flushing seek; while looping it also bounds the segment by the loop.
    void startSeek(qint64 milliseconds);
    // The next turn of the loop, queued behind what is still to be played.
    void turnAgain();
    bool queryPosition(qint64& milliseconds) const;

    QByteArray file_;  // the song's path, for what is said when it fails
    _GstElement* playbin_ = nullptr;
    // The volume element before the sound output; none when it could not be
    // made, and playbin's own volume serves.
    _GstElement* gain_ = nullptr;
    QTimer poll_;
    bool playing_ = true;  // what was asked for: playing or paused
    bool opened_ = false;  // the first preroll is done: seeks can be made
    bool ended_ = false;
    bool stopped_ = false;
    bool failed_ = false;
    qint64 duration_ = 0;    // GStreamer's
    qint64 songLength_ = 0;  // the frames'
    // A seek asked for before the song was open, and the target of a seek
    // under way: until it lands, the position reads as its target.
    std::optional<qint64> pendingSeek_;
    std::optional<qint64> seeking_;
    struct Stretch {
        qint64 fromMs = 0;
        qint64 toMs = 0;
        bool operator==(const Stretch&) const = default;
    };
    std::optional<Stretch> loop_;
    mutable qint64 lastPosition_ = 0;
};

}  // namespace sundrel
