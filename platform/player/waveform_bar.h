// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mark_snap.h"
#include "media_player.h"
#include "player_keys.h"
#include "waveform_painting.h"
#include "waveform_view.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <vector>

namespace sundrel {

struct Peaks;

// The song drawn as its loudness along its length, one column a pixel: the
// peak, and the RMS in a lighter shade; the part already played in one
// colour and the rest in another, a thin line at the playing position. It
// is the player's seek bar: clicking or dragging moves playback, and so do
// the keys of the player's key table (player_keys.h). The wheel zooms
// around the pointer; a zoomed view follows the playing position, says how
// long a pixel is and shows where it lies in the song on a strip along its
// foot, which can be dragged. A mark shows where Start was pressed, and a
// shaded band the selection that was cut; both marks can be dragged, and
// over a selection the ringtone's fades are drawn as ramps with a handle at
// each top corner to drag. What the user does to marks, fades and volume,
// and the keys the window decides, the bar only reports. Without peaks (not
// decoded yet, or not decodable) it is a flat line. Every time in here is
// in seconds.
class WaveformBar final : public QWidget {
    Q_OBJECT

public:
    explicit WaveformBar(QWidget* parent = nullptr);

    // The bar keeps a pointer: the peaks must outlive it or be replaced.
    void setPeaks(const Peaks* peaks);
    void setDuration(double seconds);
    void setPosition(double seconds);
    void setMarks(std::optional<double> startSeconds, std::optional<double> endSeconds);
    void setFrameGrid(const FrameGrid& grid);
    void setFades(double fadeInSeconds, double fadeOutSeconds, double volumeDb);
    // The ringtone proposed, drawn as a band until a selection is cut.
    void setProposal(std::optional<double> startSeconds, std::optional<double> endSeconds);

    // The loudness of each pixel column, 0 to 1, as drawn.
    using Column = WaveformColumn;
    std::vector<Column> columns() const;
    // The pixel column of a moment (clamped to the bar), and the moment at
    // a pixel column, in the stretch of the song in view.
    int columnOf(double seconds) const;
    double secondsAt(int x) const { return view_.secondsAt(x); }
    const WaveformView& view() const { return view_; }
    int zoomLevel() const { return view_.zoomLevel(); }
    // Zooms in or out, keeping the moment anchorSeconds at pixel anchorX; a
    // step that can go no further says so in the scale.
    void zoom(int steps, double anchorSeconds, double anchorX);
    // What the scale in the corner says: how long a pixel is, in a zoomed
    // view or just after a zoom step went no further; else nothing.
    QString scaleText() const;
    // Moves playback as a key does: a zoomed view comes to the moment.
    void moveTo(double seconds);
    // The keys of the bar, from wherever they come; false for a key that is
    // none of them.
    bool takeKey(const QKeyEvent& event);
    bool isDragging() const { return dragToSeconds_ || dragMark_ || dragFade_; }
    const Peaks* peaks() const { return peaks_; }
    double positionSeconds() const { return positionSeconds_; }
    std::optional<double> startMarkSeconds() const { return startMarkSeconds_; }
    std::optional<double> endMarkSeconds() const { return endMarkSeconds_; }
    const FrameGrid& frameGrid() const { return grid_; }
    // A mark, and a fade, as shown: where it is being dragged to, or set.
    std::optional<double> shownMark(PlayerMark which) const;
    double shownFade(PlayerFade which) const;
    double volumeDb() const { return volumeDb_; }

signals:
    // The user moved to a moment; while dragging, dragged() follows the
    // pointer and seekRequested() comes when the button is let go.
    void seekRequested(double seconds);
    void dragged(double seconds);
    // A mark was dropped at a moment; the bar still shows it where it was
    // until it is given the marks again. A key asks for a step of it.
    void markMoved(sundrel::PlayerMark mark, double seconds);
    void markStepped(sundrel::PlayerMark mark, double bySeconds);
    // A fade's handle was dropped: the length asked for. A key asks for a
    // step longer (or shorter).
    void fadeSet(sundrel::PlayerFade fade, double seconds);
    void fadeStepped(sundrel::PlayerFade fade, int steps);
    void volumeStepped(int steps);
    // A key whose command the window decides (undo, redo, typing a time).
    void commandAsked(sundrel::KeyAction action);
    // A key asking for the selection (or the proposal) this long.
    void lengthAsked(double seconds);
    // What the marks and fades show changed: set, or being dragged.
    void selectionShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void recompute();
    // A mark moved by a key: reported as the step asked.
    void stepMark(const KeyRow& row);
    bool onOverview(double y) const;
    // The mark whose line or flag is under the pointer.
    std::optional<PlayerMark> markAt(QPointF at) const;
    // Where a mark dragged to pixel x lands.
    double dropAt(double x, bool onsets) const;
    bool hasSelection() const { return startMarkSeconds_ && endMarkSeconds_; }
    // The fade whose handle is under the pointer, and the length a handle
    // dragged to pixel x asks for.
    std::optional<PlayerFade> handleAt(QPointF at) const;
    // free: anywhere, not on whole tenths of a second.
    double fadeAt(PlayerFade which, double x, bool free) const;
    // Tells a screen reader when what it hears has changed: at once for what
    // the user did, a second at a time while the song plays on.
    void announce(bool playing = false);

    const Peaks* peaks_ = nullptr;
    WaveformView view_;
    double positionSeconds_ = 0;
    std::optional<double> startMarkSeconds_;
    std::optional<double> endMarkSeconds_;
    FrameGrid grid_;
    double fadeInSeconds_ = 0;
    double fadeOutSeconds_ = 0;
    double volumeDb_ = 0;
    std::optional<double> proposalStartSeconds_;
    std::optional<double> proposalEndSeconds_;
    std::optional<PlayerFade> dragFade_;
    double fadeDropSeconds_ = 0;
    // Where a dragged handle was grabbed, and its fade then.
    double grabSeconds_ = 0;
    double fadeGrabbedSeconds_ = 0;
    int wheelRest_ = 0;
    int volumeWheelRest_ = 0;
    std::optional<double> dragToSeconds_;
    std::optional<PlayerMark> dragMark_;
    double markDropSeconds_ = 0;
    bool markDragged_ = false;
    bool draggingView_ = false;
    // A zoom step that went no further: the scale says so for a moment.
    QTimer limitShown_;
    QString announced_;
    int announcedSecond_ = -1;
    // Worked out from the peaks for the present width and view, so that
    // painting costs a column of lines and no more.
    std::vector<Column> columns_;
};

}  // namespace sundrel
