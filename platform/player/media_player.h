// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player_keys.h"

#include <QWidget>

#include <optional>

namespace sundrel {

enum class PlayerMark { Start, End };
enum class PlayerFade { In, Out };

// What the windows need of an embedded media player, in seconds and URLs.
// A URL here is a local file path as the user chose it; "" means no media.
class MediaPlayer : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // Loads the file and starts playing it from its beginning, also when it
    // is the file already loaded. "" empties the player and releases the file.
    virtual void setURL(const QString& url) = 0;
    virtual QString URL() const = 0;

    // Length of the loaded media; 0 while it is still being opened, nothing
    // when no media is loaded.
    virtual std::optional<double> duration() const = 0;
    virtual double currentPosition() const = 0;
    virtual void pause() = 0;
    // Plays or pauses, as the player's own play button does.
    virtual void togglePlay() = 0;
    // Plays from fromSeconds to toSeconds and back again, each turn joined to
    // the next without a gap, until stopLoop(), stop, a seek outside the
    // stretch or a new URL. Called again while looping, the loop follows the
    // new stretch at once, and so it does marks set with both moments (marks
    // without an end leave it as it is). A stretch under a tenth of a second
    // is not looped.
    virtual void playLoop(double fromSeconds, double toSeconds) = 0;
    // Playback goes on past the stretch's end (or stays paused).
    virtual void stopLoop() = 0;
    virtual bool isLooping() const = 0;
    // The loaded media cannot be played: the player refused the file or
    // failed to open it (its status says so). False with no media.
    virtual bool cannotPlay() const = 0;

    // Marks the moments the user chose, in seconds: the start alone, or the
    // start and the end of the selection that was cut. A new URL clears them.
    virtual void setMarks(std::optional<double> startSeconds, std::optional<double> endSeconds) = 0;
    // Where the song's frames start: every frameSeconds from firstSeconds
    // on. Marks dragged by the user land on them, and a key steps by one.
    // A frame length of 0 (and a new URL) means none is known.
    virtual void setFrameGrid(double firstSeconds, double frameSeconds) = 0;
    // The song's length as its frames tell it. Where the player's own is
    // missing, zero or wrong (a header frame that lies about the song), its
    // seek bar, keys, seeks and duration() go by this one instead, so that
    // every moment of the song can be reached. 0 (and a new URL): none known.
    virtual void setSongLength(double seconds) = 0;
    // The fades (seconds) and the volume (decibels) of the ringtone cut, drawn
    // over its selection and told with its times. All 0 (and a new URL): none.
    virtual void setFades(double fadeInSeconds, double fadeOutSeconds, double volumeDb) = 0;
    // The loudest sample of the song from one moment to another, a share of
    // full scale; nothing until the song is decoded that far.
    virtual std::optional<double> peakBetween(double fromSeconds, double toSeconds) const = 0;

signals:
    // The user dragged a mark and dropped it at a moment. The player's
    // marks stay as they were until they are set again.
    void markMoved(sundrel::PlayerMark mark, double seconds);
    // The user dragged a fade's handle, or pressed its key, asking for a fade
    // of this length; the fades drawn stay as they were until set again.
    void fadeSet(sundrel::PlayerFade fade, double seconds);
    // The user asked for the volume this many steps louder (or quieter).
    void volumeStepped(int steps);
    // A key asked for a mark this much earlier (negative) or later, or a
    // fade this many steps longer (or shorter), from wherever the window's
    // latest cut put it.
    void markStepped(sundrel::PlayerMark mark, double bySeconds);
    void fadeStepped(sundrel::PlayerFade fade, int steps);
    // The user typed where a mark should be, as text to be read as a time.
    void timeTyped(sundrel::PlayerMark mark, const QString& text);
    // A key whose command is the window's (undo, redo).
    void commandAsked(sundrel::KeyAction action);
    // The song's analysis proposes a ringtone (its chorus), now drawn; the
    // user took it (H, or the player's 高潮 button): a ringtone from
    // startSeconds to endSeconds, fading out for its last fadeOutSeconds.
    void proposalFound();
    void proposalTaken(double startSeconds, double endSeconds, double fadeOutSeconds);
    // A key asked for the selection this long from its start.
    void lengthAsked(double seconds);
};

}  // namespace sundrel
