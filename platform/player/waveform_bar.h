// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mark_snap.h"
#include "media_player.h"
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
// the arrow keys (1 s; with Shift 0.1 s, with Ctrl one frame), Page Up and
// Down (5 s), Home and End. The wheel zooms around the pointer, + and -
// around the position, 0 shows the whole song again; a zoomed view follows
// the playing position, says how long a pixel is and shows where it lies in
// the song on a strip along its foot, which can be dragged. A mark shows
// where Start was pressed, and a shaded band the selection that was cut;
// both marks can be dragged, or moved by [ and ] (the start) and { and }
// (the end), a frame a press, 0.1 s with Alt; the bar only reports where
// one was put. Over a selection it draws the ringtone's fades as ramps,
// with a handle at each top corner to drag; I and O (Shift: shorter) ask
// for a fade 0.5 s longer, Ctrl+Up and Ctrl+Down (or Ctrl and the wheel
// over the selection) a step of volume, which it only reports too. Without
// peaks (not decoded yet, or not decodable) it is a flat line. Every time
// in here is in seconds.
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
    // A mark was dropped at a moment, or moved there by a key; the bar
    // still shows it where it was until it is given the marks again.
    void markMoved(sundrel::PlayerMark mark, double seconds);
    // A fade's handle was dropped, or its key pressed: the length asked for.
    void fadeSet(sundrel::PlayerFade fade, double seconds);
    void volumeStepped(int steps);
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
    bool moveMarkByKey(const QKeyEvent& event);
    bool onOverview(double y) const;
    // The mark whose line or flag is under the pointer.
    std::optional<PlayerMark> markAt(QPointF at) const;
    // Where a mark dragged to pixel x lands.
    double dropAt(double x, bool onsets) const;
    bool hasSelection() const { return startMarkSeconds_ && endMarkSeconds_; }
    // The fade whose handle is under the pointer, and the length a handle
    // dragged to pixel x asks for.
    std::optional<PlayerFade> handleAt(QPointF at) const;
    double fadeAt(PlayerFade which, double x) const;
    bool shapeByKey(const QKeyEvent& event);
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
    std::optional<PlayerFade> dragFade_;
    double fadeDropSeconds_ = 0;
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
