// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mark_snap.h"
#include "media_player.h"

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
// the playing position. A mark shows where Start was pressed, and a shaded
// band the selection that was cut; both marks can be dragged, and the bar
// only reports where one was dropped. Without peaks (not decoded yet, or
// not decodable) it is a flat line.
class WaveformBar final : public QWidget {
    Q_OBJECT

public:
    explicit WaveformBar(QWidget* parent = nullptr);

    // The bar keeps a pointer: the peaks must outlive it or be replaced.
    void setPeaks(const Peaks* peaks);
    void setDuration(qint64 milliseconds);
    void setPosition(qint64 milliseconds);
    void setMarks(std::optional<qint64> startMs, std::optional<qint64> endMs);
    void setFrameGrid(const FrameGrid& grid);

    // The loudness of each pixel column, 0 to 1, as drawn.
    struct Column {
        float peak = 0;
        float rms = 0;
    };
    std::vector<Column> columns() const;
    // The pixel column of a moment (clamped to the bar), and the moment at
    // a pixel column, in the stretch of the song in view.
    int columnOf(qint64 milliseconds) const;
    qint64 momentAt(int x) const;
    // The stretch in view, in milliseconds; the whole song unless zoomed.
    double viewStart() const { return viewStart_; }
    double viewSpan() const;
    int zoomLevel() const { return zoom_; }
    // Zooms in or out one step, keeping the moment at pixel x where it is.
    void zoom(int steps, double anchorMs, double anchorX);

    bool isDragging() const { return dragTo_.has_value() || dragMark_.has_value(); }
    const Peaks* peaks() const { return peaks_; }
    qint64 position() const { return position_; }
    std::optional<qint64> startMark() const { return startMark_; }
    std::optional<qint64> endMark() const { return endMark_; }

signals:
    // The user moved to a moment; while dragging, dragged() follows the
    // pointer and seekRequested() comes when the button is let go.
    void seekRequested(qint64 milliseconds);
    void dragged(qint64 milliseconds);
    // A mark was dropped at a moment, in seconds; the bar still shows it
    // where it was until it is given the marks again.
    void markMoved(PlayerMark mark, double seconds);

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
    double xOf(double milliseconds) const;
    void showView(double startMs);
    std::optional<PlayerMark> markNear(double x) const;
    // Where a mark dragged to pixel x lands, in seconds.
    double dropAt(double x, bool onsets) const;
    void step(qint64 milliseconds);

    const Peaks* peaks_ = nullptr;
    qint64 duration_ = 0;
    qint64 position_ = 0;
    std::optional<qint64> startMark_;
    std::optional<qint64> endMark_;
    FrameGrid grid_;
    int zoom_ = 0;
    double viewStart_ = 0;
    int wheelRest_ = 0;
    std::optional<qint64> dragTo_;
    std::optional<PlayerMark> dragMark_;
    double markDrop_ = 0;  // seconds
    bool markDragged_ = false;
    // Worked out from the peaks for the present width and view, so that
    // painting costs a column of lines and no more.
    std::vector<Column> columns_;
};

}  // namespace sundrel
