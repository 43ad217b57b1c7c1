// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform_bar.h"

#include "peak_decoder.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>

namespace sundrel {

namespace {

// Drawn on the player's dark display: the played part in blue, the rest in
// grey-blue, each with its RMS lighter than its peak.
const QColor kPlayedPeak(0x3d, 0x8e, 0xe6);
const QColor kPlayedRms(0x9c, 0xcb, 0xff);
const QColor kRestPeak(0x4f, 0x5e, 0x72);
const QColor kRestRms(0x86, 0x96, 0xab);
const QColor kPosition(0xff, 0xff, 0xff);
const QColor kMark(0xff, 0xb0, 0x20);
const QColor kSelection(0xff, 0xb0, 0x20, 60);

constexpr qint64 kStepMs = 1000;
constexpr qint64 kPageMs = 5000;

}  // namespace

WaveformBar::WaveformBar(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(40, 16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
}

void WaveformBar::setPeaks(const Peaks* peaks)
{
    peaks_ = peaks;
    recompute();
}

void WaveformBar::setDuration(qint64 milliseconds)
{
    milliseconds = std::max<qint64>(0, milliseconds);
    if (milliseconds == duration_)
        return;
    duration_ = milliseconds;
    recompute();
}

void WaveformBar::setPosition(qint64 milliseconds)
{
    if (milliseconds == position_)
        return;
    position_ = milliseconds;
    update();
}

void WaveformBar::setMarks(std::optional<qint64> startMs, std::optional<qint64> endMs)
{
    startMark_ = startMs;
    endMark_ = startMs ? endMs : std::nullopt;
    update();
}

std::vector<WaveformBar::Column> WaveformBar::columns() const
{
    return columns_;
}

int WaveformBar::columnOf(qint64 milliseconds) const
{
    if (duration_ <= 0 || width() <= 0)
        return 0;
    const double x = double(milliseconds) / double(duration_) * width();
    return std::clamp(int(std::floor(x)), 0, width() - 1);
}

qint64 WaveformBar::momentAt(int x) const
{
    if (width() <= 0)
        return 0;
    const double share = std::clamp(double(x) / width(), 0.0, 1.0);
    return qRound64(share * double(duration_));
}

void WaveformBar::recompute()
{
    columns_.assign(std::size_t(std::max(0, width())), Column{});
    if (!peaks_ || peaks_->peak.empty() || peaks_->binSeconds <= 0 || duration_ <= 0)
    {
        update();
        return;
    }
    const std::vector<float>& peak = peaks_->peak;
    const std::vector<float>& rms = peaks_->rms;
    const double seconds = double(duration_) / 1000.0;
    const double decoded = peaks_->finished ? seconds : peaks_->decodedSeconds;
    const int w = width();
    for (int x = 0; x < w; ++x) {
        const double from = seconds * x / w;
        const double to = seconds * (x + 1) / w;
        if (from >= decoded)
            break;  // not decoded yet: the flat line shows there
        const auto first = std::size_t(from / peaks_->binSeconds);
        if (first >= peak.size())
            break;
        const std::size_t last = std::clamp(std::size_t(std::ceil(to / peaks_->binSeconds)), first + 1, peak.size());
        Column column;
        double squares = 0;
        for (std::size_t b = first; b < last; ++b) {
            column.peak = std::max(column.peak, peak[b]);
            squares += double(rms[b]) * rms[b];
        }
        column.rms = float(std::sqrt(squares / double(last - first)));
        columns_[std::size_t(x)] = column;
    }
    update();
}

void WaveformBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    recompute();
}

void WaveformBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int h = height();
    const double half = (h - 2) / 2.0;
    const int middle = h / 2;
    const qint64 shown = dragTo_ ? *dragTo_ : position_;
    const int played = duration_ > 0 ? columnOf(shown) : -1;

    if (startMark_ && endMark_ && duration_ > 0) {
        const int from = columnOf(*startMark_);
        const int to = columnOf(*endMark_);
        painter.fillRect(QRect(QPoint(std::min(from, to), 0), QPoint(std::max(from, to), h - 1)), kSelection);
    }
    for (int x = 0; x < int(columns_.size()); ++x) {
        const Column& column = columns_[std::size_t(x)];
        const bool before = x < played;
        // Silence, or what is not decoded yet, is a one-pixel line.
        const int peakReach = std::max(0, int(std::lround(column.peak * half)));
        const int rmsReach = std::max(0, int(std::lround(column.rms * half)));
        painter.setPen(before ? kPlayedPeak : kRestPeak);
        painter.drawLine(x, middle - peakReach, x, middle + peakReach);
        if (rmsReach > 0) {
            painter.setPen(before ? kPlayedRms : kRestRms);
            painter.drawLine(x, middle - rmsReach, x, middle + rmsReach);
        }
    }
    if (startMark_ && duration_ > 0) {
        const int x = columnOf(*startMark_);
        painter.setPen(kMark);
        painter.drawLine(x, 0, x, h - 1);
        const QPoint flag[] = {{x, 0}, {x + 5, 0}, {x, 5}};
        painter.setBrush(kMark);
        painter.drawPolygon(flag, 3);
        if (endMark_)
            painter.drawLine(columnOf(*endMark_), 0, columnOf(*endMark_), h - 1);
    }
    if (played >= 0) {
        painter.setPen(kPosition);
        painter.drawLine(played, 0, played, h - 1);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void WaveformBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || duration_ <= 0 || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragTo_ = momentAt(event->position().toPoint().x());
    emit dragged(*dragTo_);
    update();
}

void WaveformBar::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragTo_)
        return;
    dragTo_ = momentAt(event->position().toPoint().x());
    emit dragged(*dragTo_);
    update();
}

void WaveformBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragTo_ || event->button() != Qt::LeftButton)
        return;
    const qint64 target = momentAt(event->position().toPoint().x());
    dragTo_.reset();
    position_ = target;
    update();
    emit seekRequested(target);
}

void WaveformBar::keyPressEvent(QKeyEvent* event)
{
    if (duration_ <= 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    qint64 target = position_;
    switch (event->key()) {
    case Qt::Key_Left: case Qt::Key_Down: target -= kStepMs; break;
    case Qt::Key_Right: case Qt::Key_Up: target += kStepMs; break;
    case Qt::Key_PageDown: target -= kPageMs; break;
    case Qt::Key_PageUp: target += kPageMs; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = duration_; break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    position_ = std::clamp<qint64>(target, 0, duration_);
    update();
    emit seekRequested(position_);
}

}  // namespace sundrel
