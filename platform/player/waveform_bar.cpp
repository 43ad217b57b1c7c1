// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform_bar.h"

#include "kept_gain.h"
#include "peak_decoder.h"
#include "player_keys.h"
#include "waveform_accessible.h"
#include "waveform_painting.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace sundrel {

namespace {

// A frame step on a song whose frames are not known yet.
constexpr double kStepSeconds = 1.0;
// A mark is grabbed on its line, this close, or on its flag; a click
// further beside it seeks.
constexpr double kLineGrabPixels = 2.5;
// An onset catches a dragged mark this close.
constexpr double kOnsetPixels = 6;
constexpr int kLimitShownMs = 1500;
// A dragged fade lands on whole tenths of a second.
constexpr double kFadeGridSeconds = 0.1;
constexpr int kWheelNotch = 120;

// Whole notches of a wheel's turn: fine-grained wheels send less than a
// notch at a time, and what is left adds up in `rest`.
int WholeNotches(int& rest, int turn)
{
    rest += turn;
    const int notches = rest / kWheelNotch;
    rest -= notches * kWheelNotch;
    return notches;
}

}  // namespace

WaveformBar::WaveformBar(QWidget* parent) : QWidget(parent)
{
    InstallWaveformAccessible();
    setAccessibleName(QStringLiteral("播放进度"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(40, 16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    // The pointer changes shape over a mark, before any button is pressed.
    setMouseTracking(true);
    limitShown_.setSingleShot(true);
    limitShown_.setInterval(kLimitShownMs);
    connect(&limitShown_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void WaveformBar::setPeaks(const Peaks* peaks)
{
    peaks_ = peaks;
    recompute();
}

void WaveformBar::setDuration(double seconds)
{
    if (view_.setDuration(seconds)) {
        recompute();
        announce();
    }
}

void WaveformBar::setPosition(double seconds)
{
    if (seconds == positionSeconds_)
        return;
    // A zoomed view turns its page when the position runs off it, but
    // stays where the user took it while the position is elsewhere.
    const bool follow = view_.shows(positionSeconds_) && !view_.shows(seconds);
    positionSeconds_ = seconds;
    if (follow) {
        view_.reveal(seconds);
        recompute();
    }
    update();
    announce(true);
}

void WaveformBar::setMarks(std::optional<double> startSeconds, std::optional<double> endSeconds)
{
    startMarkSeconds_ = startSeconds;
    endMarkSeconds_ = startSeconds ? endSeconds : std::nullopt;
    update();
    announce();
    emit selectionShown();
}

void WaveformBar::setFades(double fadeInSeconds, double fadeOutSeconds, double volumeDb)
{
    const auto length = [](double seconds) { return std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0; };
    fadeInSeconds_ = length(fadeInSeconds);
    fadeOutSeconds_ = length(fadeOutSeconds);
    volumeDb_ = std::isfinite(volumeDb) ? volumeDb : 0;
    update();
    announce();
    emit selectionShown();
}

void WaveformBar::setProposal(std::optional<double> startSeconds, std::optional<double> endSeconds)
{
    proposalStartSeconds_ = startSeconds;
    proposalEndSeconds_ = startSeconds ? endSeconds : std::nullopt;
    update();
}

double WaveformBar::shownFade(PlayerFade which) const
{
    if (dragFade_ == which)
        return fadeDropSeconds_;
    return which == PlayerFade::In ? fadeInSeconds_ : fadeOutSeconds_;
}

void WaveformBar::setFrameGrid(const FrameGrid& grid) { grid_ = grid; }

std::vector<WaveformBar::Column> WaveformBar::columns() const { return columns_; }

int WaveformBar::columnOf(double seconds) const
{
    if (view_.durationSeconds() <= 0 || width() <= 0)
        return 0;
    return std::clamp(int(std::floor(view_.xOf(seconds))), 0, width() - 1);
}

void WaveformBar::zoom(int steps, double anchorSeconds, double anchorX)
{
    if (view_.zoom(steps, anchorSeconds, anchorX)) {
        limitShown_.stop();
        recompute();
    } else if (steps != 0 && view_.durationSeconds() > 0) {
        limitShown_.start();
        update();
    }
}

QString WaveformBar::scaleText() const { return ScaleText(view_, limitShown_.isActive()); }

void WaveformBar::recompute()
{
    columns_.assign(std::size_t(std::max(0, width())), Column{});
    const double duration = view_.durationSeconds();
    if (!peaks_ || peaks_->bins.empty() || peaks_->binSeconds <= 0 || duration <= 0) {
        update();
        return;
    }
    const std::size_t count = peaks_->bins.size();
    const double from0 = view_.startSeconds();
    const double span = view_.spanSeconds();
    const double decoded = peaks_->finished ? duration : peaks_->decodedSeconds;
    const int w = width();
    for (int x = 0; x < w; ++x) {
        const double from = from0 + span * x / w;
        const double to = from0 + span * (x + 1) / w;
        if (from >= decoded)
            break;  // not decoded yet: the flat line shows there
        if (from >= double(count) * peaks_->binSeconds)
            break;
        // The column ends where the next begins: that moment is the next's.
        const auto [first, last] = peaks_->binsOver(from, std::max(from, std::nextafter(to, from)));
        Column column;
        double squares = 0;
        for (std::size_t b = first; b < last; ++b) {
            column.peak = std::max(column.peak, peaks_->peak(b));
            squares += double(peaks_->rms(b)) * peaks_->rms(b);
        }
        column.rms = float(std::sqrt(squares / double(last - first)));
        columns_[std::size_t(x)] = column;
    }
    update();
}

void WaveformBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    view_.setWidth(width());
    recompute();
}

bool WaveformBar::onOverview(double y) const
{
    return view_.zoomed() && y > waveform_layout::WaveBottom(view_, height());
}

std::optional<double> WaveformBar::shownMark(PlayerMark which) const
{
    // A mark being dragged is drawn where it would land.
    if (dragMark_ == which)
        return markDropSeconds_;
    return which == PlayerMark::Start ? startMarkSeconds_ : endMarkSeconds_;
}

void WaveformBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // While the pointer drags, the position shown is where it would land.
    PaintWaveform(painter, size(),
                  {view_, columns_, dragToSeconds_.value_or(positionSeconds_), shownMark(PlayerMark::Start),
                   shownMark(PlayerMark::End), shownFade(PlayerFade::In), shownFade(PlayerFade::Out), volumeDb_,
                   hasSelection() ? std::nullopt : proposalStartSeconds_, proposalEndSeconds_, scaleText(),
                   limitShown_.isActive(), hasFocus()});
}

std::optional<PlayerMark> WaveformBar::markAt(QPointF at) const
{
    using waveform_layout::kFlagPixels;
    std::optional<PlayerMark> nearest;
    double distance = kFlagPixels + 2;
    const int bottom = waveform_layout::WaveBottom(view_, height());
    const auto consider = [&](std::optional<double> mark, PlayerMark which) {
        if (!mark)
            return;
        const double dx = at.x() - view_.xOf(*mark);
        // The flag: right of the start's line at the top, left of the
        // end's at the bottom.
        const bool onFlag = which == PlayerMark::Start
                                ? dx >= 0 && dx <= kFlagPixels + 1 && at.y() <= kFlagPixels + 1
                                : dx <= 1 && dx >= -kFlagPixels - 1 && at.y() >= bottom - kFlagPixels - 1;
        if ((std::abs(dx) <= kLineGrabPixels || onFlag) && std::abs(dx) < distance) {
            distance = std::abs(dx);
            nearest = which;
        }
    };
    consider(startMarkSeconds_, PlayerMark::Start);
    consider(endMarkSeconds_, PlayerMark::End);
    return nearest;
}

std::optional<PlayerFade> WaveformBar::handleAt(QPointF at) const
{
    if (!hasSelection())
        return std::nullopt;
    using waveform_layout::FadeHandle;
    // The whole square as drawn, its outline included, and a pixel around.
    const auto grabs = [&](QRect handle) { return handle.adjusted(-2, -2, 2, 2).contains(at.toPoint()); };
    if (grabs(FadeHandle(view_, *startMarkSeconds_ + fadeInSeconds_, true)))
        return PlayerFade::In;
    if (grabs(FadeHandle(view_, *endMarkSeconds_ - fadeOutSeconds_, false)))
        return PlayerFade::Out;
    return std::nullopt;
}

double WaveformBar::fadeAt(PlayerFade which, double x, bool free) const
{
    // The handle goes as far as the pointer went since it grabbed it, not
    // to the pointer: a grab off its middle does not make it jump. Inward
    // from its own end of the selection, up to half of it.
    const double moved = view_.secondsAt(x) - grabSeconds_;
    double fade = fadeGrabbedSeconds_ + (which == PlayerFade::In ? moved : -moved);
    if (!free)
        fade = std::round(fade / kFadeGridSeconds) / (1 / kFadeGridSeconds);
    const double longest = LongestFadeSeconds(*endMarkSeconds_ - *startMarkSeconds_);
    return std::clamp(fade, 0.0, std::max(0.0, longest));
}

double WaveformBar::dropAt(double x, bool onsets) const
{
    const double seconds = view_.secondsAt(x);
    if (onsets && peaks_) {
        // The frame that holds the onset, so that the onset is kept.
        if (const auto onset = OnsetNear(*peaks_, seconds, kOnsetPixels * view_.secondsPerPixel()))
            return std::max(0.0, grid_.holding(*onset));
    }
    return std::clamp(grid_.nearest(seconds), 0.0, view_.durationSeconds());
}

void WaveformBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || view_.durationSeconds() <= 0 || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF at = event->position();
    if (onOverview(at.y())) {
        // The strip is a scroll bar: the view goes where it is pressed.
        draggingView_ = true;
        view_.centreOn(view_.wholeSecondsAt(at.x()));
        recompute();
        return;
    }
    if ((dragFade_ = handleAt(at))) {
        markDragged_ = false;
        fadeDropSeconds_ = *dragFade_ == PlayerFade::In ? fadeInSeconds_ : fadeOutSeconds_;
        fadeGrabbedSeconds_ = fadeDropSeconds_;
        grabSeconds_ = view_.secondsAt(at.x());
        return;
    }
    if ((dragMark_ = markAt(at))) {
        markDragged_ = false;
        markDropSeconds_ = *dragMark_ == PlayerMark::Start ? *startMarkSeconds_ : *endMarkSeconds_;
        emit dragged(markDropSeconds_);
    } else {
        dragToSeconds_ = view_.secondsAt(at.x());
        emit dragged(*dragToSeconds_);
    }
    update();
}

void WaveformBar::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    if (draggingView_) {
        view_.centreOn(view_.wholeSecondsAt(at.x()));
        recompute();
        return;
    }
    if (dragFade_) {
        fadeDropSeconds_ = fadeAt(*dragFade_, at.x(), event->modifiers() & Qt::ShiftModifier);
        markDragged_ = true;
        emit selectionShown();
    } else if (dragMark_) {
        markDropSeconds_ = dropAt(at.x(), !(event->modifiers() & Qt::ShiftModifier));
        markDragged_ = true;
        emit dragged(markDropSeconds_);
        emit selectionShown();
    } else if (dragToSeconds_) {
        dragToSeconds_ = view_.secondsAt(at.x());
        emit dragged(*dragToSeconds_);
    } else {
        const bool enabled = isEnabled();
        // Over a handle, the arrow runs along its ramp.
        const std::optional<PlayerFade> handle = enabled ? handleAt(at) : std::nullopt;
        setCursor(handle == PlayerFade::In        ? Qt::SizeBDiagCursor
                  : handle == PlayerFade::Out     ? Qt::SizeFDiagCursor
                  : enabled && onOverview(at.y()) ? Qt::OpenHandCursor
                  : enabled && markAt(at)         ? Qt::SizeHorCursor
                                                  : Qt::PointingHandCursor);
        return;
    }
    update();
}

void WaveformBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (draggingView_) {
        draggingView_ = false;
        return;
    }
    const double x = event->position().x();
    if (dragFade_) {
        const PlayerFade fade = *dragFade_;
        const double seconds = fadeAt(fade, x, event->modifiers() & Qt::ShiftModifier);
        dragFade_.reset();
        update();
        emit selectionShown();
        if (markDragged_)
            emit fadeSet(fade, seconds);
        return;
    }
    double target = view_.secondsAt(x);
    if (dragMark_) {
        const PlayerMark mark = *dragMark_;
        const double seconds = dropAt(x, !(event->modifiers() & Qt::ShiftModifier));
        dragMark_.reset();
        if (markDragged_) {
            update();
            emit selectionShown();
            emit markMoved(mark, seconds);
            return;
        }
        // A click on a mark, without a move, goes there as any click does.
        target = markDropSeconds_;
    } else if (!dragToSeconds_) {
        return;
    }
    dragToSeconds_.reset();
    positionSeconds_ = target;
    update();
    announce();
    emit seekRequested(target);
}

void WaveformBar::wheelEvent(QWheelEvent* event)
{
    if (view_.durationSeconds() <= 0 || !isEnabled()) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPoint turn = event->angleDelta();
    const double x = event->position().x();
    // Ctrl and the wheel over the selection: the ringtone's volume, a step
    // a notch.
    if ((event->modifiers() & Qt::ControlModifier) && hasSelection() && x >= view_.xOf(*startMarkSeconds_) &&
        x <= view_.xOf(*endMarkSeconds_)) {
        const int steps = WholeNotches(volumeWheelRest_, turn.y());
        if (steps != 0)
            emit volumeStepped(steps);
        event->accept();
        return;
    }
    if (turn.x() != 0 && view_.zoomed()) {
        // A sideways wheel scrolls a zoomed view, a tenth of it a notch.
        view_.showFrom(view_.startSeconds() - double(turn.x()) / kWheelNotch * view_.spanSeconds() / 10);
        recompute();
    } else {
        zoom(WholeNotches(wheelRest_, turn.y()), view_.secondsAt(x), x);
    }
    event->accept();
}

void WaveformBar::moveTo(double seconds)
{
    if (view_.durationSeconds() <= 0 || !std::isfinite(seconds))
        return;
    positionSeconds_ = std::clamp(seconds, 0.0, view_.durationSeconds());
    // The moment moved to is always shown: a way back to the position
    // from a view that went elsewhere.
    if (!view_.shows(positionSeconds_)) {
        view_.reveal(positionSeconds_);
        recompute();
    }
    update();
    announce();
    emit seekRequested(positionSeconds_);
}

void WaveformBar::keyPressEvent(QKeyEvent* event)
{
    if (!takeKey(*event))
        QWidget::keyPressEvent(event);
}

bool WaveformBar::takeKey(const QKeyEvent& event)
{
    if (view_.durationSeconds() <= 0)
        return false;
    const KeyRow* row = FindPlayerKey(event);
    if (!row)
        return false;
    // Keys zoom around the position, or around the middle when it is out
    // of view.
    const double positionX = view_.xOf(positionSeconds_);
    const bool positionShown = positionX >= 0 && positionX <= width();
    const double anchorSeconds = positionShown ? positionSeconds_ : view_.secondsAt(width() / 2.0);
    const double anchorX = positionShown ? positionX : width() / 2.0;
    const double amount = row->Amount;
    switch (row->Action) {
        case KeyAction::Seek:
            moveTo(positionSeconds_ + amount);
            break;
        case KeyAction::SeekFrames:
            moveTo(positionSeconds_ + amount * (grid_.known() ? grid_.length : kStepSeconds));
            break;
        case KeyAction::SeekToEnd:
            moveTo(amount * view_.durationSeconds());
            break;
        case KeyAction::Zoom:
            zoom(int(amount), anchorSeconds, anchorX);
            break;
        case KeyAction::ZoomWhole:
            zoom(-view_.zoomLevel(), 0, 0);
            break;
        case KeyAction::MoveStart:
        case KeyAction::MoveEnd:
        case KeyAction::MoveStartFine:
        case KeyAction::MoveEndFine:
            stepMark(*row);
            break;
        case KeyAction::FadeIn:
        case KeyAction::FadeOut:
            // Before a cut there is no fade to change: the key is left alone.
            if (!hasSelection())
                return false;
            emit fadeStepped(row->Action == KeyAction::FadeIn ? PlayerFade::In : PlayerFade::Out, int(amount));
            break;
        case KeyAction::Volume:
            if (!hasSelection())
                return false;
            emit volumeStepped(int(amount));
            break;
        case KeyAction::Length:
            emit lengthAsked(amount);
            break;
        default:
            emit commandAsked(row->Action);
            break;
    }
    return true;
}

void WaveformBar::stepMark(const KeyRow& row)
{
    // A frame a press, or 0.1 s with Alt; the window puts the mark there
    // from wherever its latest step left it.
    const bool end = row.Action == KeyAction::MoveEnd || row.Action == KeyAction::MoveEndFine;
    const bool fine = row.Action == KeyAction::MoveStartFine || row.Action == KeyAction::MoveEndFine;
    const std::optional<double> mark = end ? endMarkSeconds_ : startMarkSeconds_;
    // Without a mark, or frames to step by, the key does nothing.
    if (!mark || !(fine || grid_.known()))
        return;
    const double by = fine ? row.Amount : row.Amount * grid_.length;
    // A zoomed view keeps the mark in sight as it walks.
    const double to = std::clamp(*mark + by, 0.0, view_.durationSeconds());
    if (!view_.shows(to)) {
        view_.reveal(to);
        recompute();
    }
    emit markStepped(end ? PlayerMark::End : PlayerMark::Start, by);
}

void WaveformBar::announce(bool playing)
{
    if (!QAccessible::isActive())
        return;
    // Played on, the position is told a second at a time: a screen reader
    // that spoke each refresh would drown everything else.
    const int second = int(std::floor(positionSeconds_));
    if (playing && second == announcedSecond_)
        return;
    announcedSecond_ = second;
    QAccessibleValueChangeEvent moved(this, positionSeconds_);
    QAccessible::updateAccessibility(&moved);
    const QString text = WaveformValueText(*this);
    if (playing || text == announced_)
        return;
    announced_ = text;
    QAccessibleEvent described(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

}  // namespace sundrel
