// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "media_player.h"
#include "song_analysis.h"

#include <QIcon>
#include <QtGlobal>

#include <memory>
#include <optional>

class QFrame;
class QHBoxLayout;
class QLabel;
class QSlider;
class QToolButton;

namespace sundrel {

class PeakDecoder;
class Playback;
class TimeEntry;
class WaveformBar;

// A playback time as a clock reads: "0:07", "12:34", "1:02:03" past an hour.
// Whole seconds, rounded down, so the display never runs ahead of the sound.
QString ClockText(qint64 milliseconds);

// The embedded player of the main and preview windows: a display with the
// file name, the status and the song's waveform, which is the seek bar, above
// a row of play/pause, stop, loop, time and volume controls. It never shows a
// dialog of its own; a file it cannot play is reported in the status only.
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
    void togglePlay() override;
    void playLoop(double fromSeconds, double toSeconds) override;
    void stopLoop() override;
    bool isLooping() const override;
    bool cannotPlay() const override;
    void setMarks(std::optional<double> startSeconds, std::optional<double> endSeconds) override;
    void setFrameGrid(double firstSeconds, double frameSeconds) override;
    void setSongLength(double seconds) override;
    void setFades(double fadeInSeconds, double fadeOutSeconds, double volumeDb) override;
    std::optional<double> peakBetween(double fromSeconds, double toSeconds) const override;

    // Moves playback to a moment of the loaded media, in seconds.
    void seek(double seconds);
    // The volume the sound output is actually set to, 0 to 100.
    int volume() const;

protected:
    // The waveform's keys work from any of the player's controls, and from
    // the window's buttons that pass them on.
    void keyPressEvent(QKeyEvent* event) override;
    // A double click on the top line opens the time entry.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls(int volume);
    // The dark display: file name and status above the waveform.
    QFrame* buildDisplay();
    // Play, stop, loop, time and volume.
    QHBoxLayout* buildControlRow(int volume);
    void stop();
    // The loop button: loops between the marks, or stops looping.
    void toggleLoop();
    void applyVolume(int volume);
    void moveTo(double seconds);
    // Brings every control in line with the song's status and position.
    void refresh();
    void refreshTime(double seconds);
    // The top line: the song's name, or from the first mark on the
    // selection's times, fades and volume as the waveform shows them.
    void refreshSelection();
    // The keys the waveform does not act on itself: a time to type opens
    // the entry here; the others are the window's.
    void takeCommand(KeyAction action);
    void openEntry(PlayerMark mark);
    // The proposal of the song's analysis: drawn once known, taken by H or
    // the 高潮 button (again: the next candidate), as long as 2, 3 or 4 ask
    // while nothing is marked.
    void analysed();
    void showProposal();
    void takeProposal();
    void askLength(double seconds);

    QString url_;
    // The song loaded now; none for no URL or for a file that is never
    // handed to GStreamer (not a regular file, or tags it cannot survive).
    std::unique_ptr<Playback> playback_;
    // Decodes the song's waveform in the background; replaced with the song.
    std::unique_ptr<PeakDecoder> decoder_;
    double gain_ = 0;
    // The marks as the window set them, which the loop button loops between.
    std::optional<double> markStart_;
    std::optional<double> markEnd_;

    QLabel* title_ = nullptr;
    QLabel* selection_ = nullptr;
    QLabel* status_ = nullptr;
    TimeEntry* entry_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QIcon playIcon_;
    QIcon pauseIcon_;
    QToolButton* stopButton_ = nullptr;
    QToolButton* loopButton_ = nullptr;
    QToolButton* proposalButton_ = nullptr;
    std::optional<Proposal> proposal_;
    std::size_t proposalIndex_ = 0;
    double proposalSeconds_ = kProposalSeconds;
    bool proposalTaken_ = false;
    WaveformBar* wave_ = nullptr;
    QLabel* time_ = nullptr;
    QSlider* volumeSlider_ = nullptr;
};

}  // namespace sundrel
