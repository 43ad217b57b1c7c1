// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <optional>
#include <vector>

namespace sundrel {

struct Peaks;

// The song drawn as its loudness along its length, one column a pixel: the
// peak, and the RMS in a lighter shade; the part already played in one
// colour and the rest in another, a thin line at the playing position. It
// is the player's seek bar: clicking or dragging moves playback, and so do
// the arrow keys (1 s), Page Up and Down (5 s), Home and End. A mark shows
// where Start was pressed, and a shaded band the selection that was cut.
// Without peaks (not decoded yet, or not decodable) it is a flat line.
class WaveformBar final : public QWidget {
    Q_OBJECT

public:
    explicit WaveformBar(QWidget* parent = nullptr);

    // The bar keeps a pointer: the peaks must outlive it or be replaced.
    void setPeaks(const Peaks* peaks);
    void setDuration(qint64 milliseconds);
    void setPosition(qint64 milliseconds);
    void setMarks(std::optional<qint64> startMs, std::optional<qint64> endMs);

    // The loudness of each pixel column, 0 to 1, as drawn.
    struct Column {
        float peak = 0;
        float rms = 0;
    };
    std::vector<Column> columns() const;
    // The pixel column of a moment, and the moment at a pixel column.
    int columnOf(qint64 milliseconds) const;
    qint64 momentAt(int x) const;
    bool isDragging() const { return dragTo_.has_value(); }
    const Peaks* peaks() const { return peaks_; }
    qint64 position() const { return position_; }
    std::optional<qint64> startMark() const { return startMark_; }
    std::optional<qint64> endMark() const { return endMark_; }

signals:
    // The user moved to a moment; while dragging, dragged() follows the
    // pointer and seekRequested() comes when the button is let go.
    void seekRequested(qint64 milliseconds);
    void dragged(qint64 milliseconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void recompute();

    const Peaks* peaks_ = nullptr;
    qint64 duration_ = 0;
    qint64 position_ = 0;
    std::optional<qint64> startMark_;
    std::optional<qint64> endMark_;
    std::optional<qint64> dragTo_;
    // Worked out from the peaks for the present width, so that painting
    // costs a column of lines and no more.
    std::vector<Column> columns_;
};

}  // namespace sundrel
