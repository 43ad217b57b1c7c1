#pragma once

#include "media_player.h"

#include <QtGlobal>

#include <memory>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;

namespace sundrel {

// A playback time as a clock reads: "0:07", "12:34", "1:02:03" past an hour.
// Whole seconds, rounded down, so the display never runs ahead of the sound.
QString ClockText(qint64 milliseconds);

// The embedded player of the main and preview windows: a display with the
// file name and a status line above a row of play/pause, stop, seek, time and
// volume controls. It never shows a dialog of its own; a file it cannot play
// is reported in the status line only.
class MediaPlayerWidget final : public MediaPlayer {
    Q_OBJECT

public:
    // volume: 0 to 100, as the volume slider shows it.
    explicit MediaPlayerWidget(int volume, QWidget* parent = nullptr);
    ~MediaPlayerWidget() override;

    void setURL(const QString& url) override;
    QString URL() const override;
    std::optional<double> duration() const override;
    double currentPosition() const override;
    void pause() override;

    // Moves playback to a moment of the loaded media, in seconds.
    void seek(double seconds);
    // The volume the sound output is actually set to, 0 to 100.
    int volume() const;

private:
    void buildControls(int volume);
    void load();
    void togglePlay();
    void stop();
    void applyVolume(int volume);
    void onPositionChanged(qint64 milliseconds);
    void onDurationChanged(qint64 milliseconds);
    void onSeekAction(int action);
    void onSeekReleased();
    void moveTo(qint64 milliseconds);
    void applyPendingSeek();
    void onMediaStatusChanged(int status);
    void onError();
    void refreshState();
    void refreshTime(qint64 milliseconds);

    // Qt Multimedia stays out of this header, so both are created in the
    // constructor; the player is declared last so that it goes first.
    std::unique_ptr<QAudioOutput> audio_;
    std::unique_ptr<QMediaPlayer> player_;

    QString url_;
    // Set by a load that failed, until the next load: the status line keeps
    // saying so instead of "stopped".
    bool failed_ = false;
    // A seek asked for before the media could take one.
    std::optional<qint64> pendingSeek_;
    // Whether the media set last has moved past its start, and whether it
    // has been opened a second time after ending without playing.
    bool played_ = false;
    bool reloaded_ = false;

    QLabel* title_ = nullptr;
    QLabel* status_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QToolButton* stopButton_ = nullptr;
    QSlider* seekSlider_ = nullptr;
    QLabel* time_ = nullptr;
    QSlider* volumeSlider_ = nullptr;
};

}  // namespace sundrel
