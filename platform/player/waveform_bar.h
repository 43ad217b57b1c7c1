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
// one was put. Without peaks (not decoded yet, or not decodable) it is a
// flat line. Every time in here is in seconds.
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
    bool isDragging() const { return dragToSeconds_.has_value() || dragMark_.has_value(); }
    const Peaks* peaks() const { return peaks_; }
    double positionSeconds() const { return positionSeconds_; }
    std::optional<double> startMarkSeconds() const { return startMarkSeconds_; }
    std::optional<double> endMarkSeconds() const { return endMarkSeconds_; }
    const FrameGrid& frameGrid() const { return grid_; }

signals:
    // The user moved to a moment; while dragging, dragged() follows the
    // pointer and seekRequested() comes when the button is let go.
    void seekRequested(double seconds);
    void dragged(double seconds);
    // A mark was dropped at a moment, or moved there by a key; the bar
    // still shows it where it was until it is given the marks again.
    void markMoved(sundrel::PlayerMark mark, double seconds);

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
    std::optional<double> shownMark(PlayerMark which) const;
    // Tells a screen reader when what it hears has changed: at once for what
    // the user did, a second at a time while the song plays on.
    void announce(bool playing = false);

    void paintSelection(QPainter& painter, std::optional<double> start, std::optional<double> end) const;
    int playedColumn() const;
    void paintColumns(QPainter& painter) const;
    void paintPosition(QPainter& painter) const;
    void paintMarks(QPainter& painter, std::optional<double> start, std::optional<double> end) const;
    void paintOverview(QPainter& painter) const;
    void paintScale(QPainter& painter) const;
    void paintFocus(QPainter& painter) const;

    const Peaks* peaks_ = nullptr;
    WaveformView view_;
    double positionSeconds_ = 0;
    std::optional<double> startMarkSeconds_;
    std::optional<double> endMarkSeconds_;
    FrameGrid grid_;
    int wheelRest_ = 0;
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
