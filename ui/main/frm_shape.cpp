// SPDX-License-Identifier: GPL-3.0-or-later
// What the user does to the ringtone on the player's waveform: marks dropped,
// stepped or typed, fades and volume, undo and redo. Each builds the next
// step from the one shown and hands it to the one cut path; after a cut
// each cuts again at once.

#include "frm.h"

#include "app_services.h"
#include "cut_engine.h"
#include "media_player.h"
#include "spoken_status.h"
#include "time_text.h"
#include "window_style.h"
#include "window_texts.h"

#include <QLabel>

#include <algorithm>

namespace sundrel {

namespace {

// A fade key makes a fade this much longer or shorter.
constexpr double kFadeStepSeconds = 0.5;
// How long the status stays lit up after the ringtone was replaced.
constexpr int kFlashMs = 1500;
const QColor kFlash(0xe0, 0x40, 0x00);
// The status's own blue; on a dark ground the palette's link colour, which
// a dark theme makes a light blue.
const QColor kStatusBlue(0, 0, 255);

// The start of the frame that holds a moment, where a cut from it begins;
// the moment itself in a song without frames.
double FrameHolding(const SongMap& map, double seconds)
{
    const auto frame = map.FrameNear(seconds);
    if (!frame)
        return seconds;
    if (frame->Start <= seconds)
        return frame->Start;
    // The next frame was nearer: the one before it holds the moment.
    const auto before = map.FrameNear(seconds - frame->Length / 2);
    return before ? std::min(before->Start, seconds) : seconds;
}

}  // namespace

void Frm::whenFree(std::function<void()> command)
{
    // A key or a wheel turn during a cut is done after it, in order, on the
    // step that cut shows: never lost, never built on a step about to go.
    if (session_.deferred(command))
        return;
    command();
    session_.runWaiting();
}

void Frm::MDplay_MarkMoved(PlayerMark mark, double seconds)
{
    whenFree([this, mark, seconds] { moveMark(mark, seconds); });
}

void Frm::MDplay_MarkStepped(PlayerMark mark, double bySeconds)
{
    whenFree([this, mark, bySeconds] {
        const std::optional<CutStep>& shown = session_.shown();
        if (!shown || (mark == PlayerMark::End && !shown->Cut))
            return;
        const CutRequest& request = shown->Request;
        const double from = mark == PlayerMark::Start ? request.StartSeconds : request.EndSeconds;
        moveMark(mark, std::clamp(from + bySeconds, 0.0, services_.shared.MediaDuration));
    });
}

void Frm::moveMark(PlayerMark mark, double seconds)
{
    const std::optional<CutStep> shown = session_.shown();
    if (session_.cutting() || session_.stage() == WindowStage::ReadingSong || MDplay->URL().isEmpty() || !shown)
        return;
    readSong();
    // Before a cut the start mark alone moves, as Start there.
    if (!shown->Cut) {
        if (mark == PlayerMark::Start)
            takeStep({{seconds, 0, {}}, false}, StepCause::Changed);
        return;
    }
    // After a cut the mark not moved keeps its moment and the cut is made
    // again at once. One that would be refused leaves the cut in place as
    // it is: its kept file, its marks and its times.
    CutRequest request = shown->Request;
    (mark == PlayerMark::Start ? request.StartSeconds : request.EndSeconds) = seconds;
    if (refusedSelection(request.StartSeconds, request.EndSeconds)) {
        showStep();
        return;
    }
    takeStep({request, true}, StepCause::Changed);
}

void Frm::MDplay_TimeTyped(PlayerMark mark, const QString& text)
{
    whenFree([this, mark, text] { typeTime(mark, text); });
}

void Frm::typeTime(PlayerMark mark, const QString& text)
{
    if (session_.cutting() || refusedWhileMapping())
        return;
    if (MDplay->URL().isEmpty()) {
        message(texts::ChooseSong());
        return;
    }
    const std::optional<double> typed = ParseTimeText(text.trimmed().toStdString());
    if (!typed) {
        message(texts::TimeUnreadable(), texts::Tip());
        return;
    }
    readSong();
    if (*typed > services_.shared.MediaDuration) {
        message(texts::TimeOutsideSong(), texts::Tip());
        return;
    }
    // Where a cut from that moment begins, as a dropped mark lands.
    const double seconds = FrameHolding(cut_.SourceMap, *typed);
    const std::optional<CutStep> shown = session_.shown();
    if (shown && shown->Cut) {
        moveMark(mark, seconds);
        return;
    }
    if (refusedAsUnplayable())
        return;
    if (mark == PlayerMark::Start) {
        // As Start pressed there: a new ringtone.
        takeStep({{seconds, 0, {}}, false}, StepCause::Pressed);
    } else if (!shown) {
        message(texts::ChooseStart());
    } else if (!refusedSelection(shown->Request.StartSeconds, seconds)) {
        // As End pressed there.
        takeStep({{shown->Request.StartSeconds, seconds, session_.gain()}, true}, StepCause::Pressed);
    }
}

void Frm::MDplay_FadeSet(PlayerFade fade, double seconds)
{
    whenFree([this, fade, seconds] {
        KeptGain gain = session_.gain();
        (fade == PlayerFade::In ? gain.FadeInSeconds : gain.FadeOutSeconds) = std::max(0.0, seconds);
        changeGain(gain);
    });
}

void Frm::MDplay_FadeStepped(PlayerFade fade, int steps)
{
    whenFree([this, fade, steps] {
        KeptGain gain = session_.gain();
        double& seconds = fade == PlayerFade::In ? gain.FadeInSeconds : gain.FadeOutSeconds;
        seconds = std::max(0.0, seconds + steps * kFadeStepSeconds);
        changeGain(gain);
    });
}

void Frm::MDplay_VolumeStepped(int steps)
{
    whenFree([this, steps] {
        const std::optional<CutStep> shown = session_.shown();
        if (session_.stage() != WindowStage::CutShown || steps == 0)
            return;
        const KeptGain now = shown->Request.Gain;
        // Louder only as far as the song's own decoded sound allows, which the
        // player knows once it has decoded the selection.
        int loudest = now.VolumeSteps;
        if (steps > 0) {
            const auto limit = loudestVolume(shown->Request.StartSeconds, shown->Request.EndSeconds);
            if (!limit) {
                SayStatus(lb, texts::ReadingWaveform());
                return;
            }
            loudest = std::max(loudest, *limit);
        }
        KeptGain gain = now;
        gain.VolumeSteps = std::clamp(now.VolumeSteps + steps, MinVolumeSteps, std::max(loudest, MinVolumeSteps));
        if (gain.VolumeSteps == now.VolumeSteps) {
            SayStatus(lb, steps > 0 ? texts::Loudest() : texts::Quietest());
            return;
        }
        changeGain(gain);
    });
}

void Frm::changeGain(KeptGain gain)
{
    if (session_.cutting() || session_.stage() != WindowStage::CutShown || MDplay->URL().isEmpty())
        return;
    readSong();
    CutRequest request = session_.shown()->Request;
    if (fittedGain(gain, request.StartSeconds, request.EndSeconds) == request.Gain)
        return;
    request.Gain = gain;
    takeStep({request, true}, StepCause::Changed);
}

void Frm::MDplay_CommandAsked(KeyAction action)
{
    if (action == KeyAction::Undo)
        whenFree([this] { undo(); });
    else if (action == KeyAction::Redo)
        whenFree([this] { redo(); });
}

void Frm::MDplay_ProposalFound()
{
    // Said while nothing of the user's own stands there yet.
    if (session_.stage() == WindowStage::SongLoaded || session_.stage() == WindowStage::ReadingSong)
        SayStatus(lb, texts::ProposalFound());
}

void Frm::MDplay_ProposalTaken(double startSeconds, double endSeconds, double fadeOutSeconds)
{
    whenFree([this, startSeconds, endSeconds, fadeOutSeconds] {
        if (session_.cutting() || refusedWhileMapping() || MDplay->URL().isEmpty() || refusedAsUnplayable())
            return;
        readSong();
        // Where no cut stands, the start is marked first, as Start there.
        const std::optional<CutStep> shown = session_.shown();
        if (!shown && !takeStep({{startSeconds, 0, {}}, false}, StepCause::Pressed))
            return;
        const bool again = shown && shown->Cut;
        takeStep({{startSeconds, endSeconds, {0, fadeOutSeconds, 0}}, true},
                 again ? StepCause::Changed : StepCause::Pressed);
    });
}

void Frm::MDplay_LengthAsked(double seconds)
{
    whenFree([this, seconds] {
        const std::optional<CutStep> shown = session_.shown();
        if (!shown || session_.cutting())
            return;
        readSong();
        const double end = std::min(shown->Request.StartSeconds + seconds, services_.shared.MediaDuration);
        if (shown->Cut) {
            moveMark(PlayerMark::End, end);
        } else if (!refusedSelection(shown->Request.StartSeconds, end)) {
            // As End pressed there.
            takeStep({{shown->Request.StartSeconds, end, session_.gain()}, true}, StepCause::Pressed);
        }
    });
}

void Frm::undo() { stepThroughHistory(true); }

void Frm::redo() { stepThroughHistory(false); }

void Frm::stepThroughHistory(bool back)
{
    if (session_.cutting() || session_.stage() == WindowStage::ReadingSong)
        return;
    if (const std::optional<CutStep> step = back ? session_.undo() : session_.redo())
        takeStep(*step, back ? StepCause::Undo : StepCause::Redo);
    else
        SayStatus(lb, back ? texts::NothingToUndo() : texts::NothingToRedo());
}

KeptGain Frm::fittedGain(KeptGain gain, double start, double end) const
{
    if (!(end > start))
        return gain;
    const double longest = LongestFadeSeconds(end - start);
    gain.FadeInSeconds = std::clamp(gain.FadeInSeconds, 0.0, longest);
    gain.FadeOutSeconds = std::clamp(gain.FadeOutSeconds, 0.0, longest);
    // A selection moved onto louder sound takes the volume down with it.
    if (gain.VolumeSteps > 0)
        if (const auto loudest = loudestVolume(start, end))
            gain.VolumeSteps = std::min(gain.VolumeSteps, std::max(*loudest, 0));
    return gain;
}

std::optional<int> Frm::loudestVolume(double start, double end) const
{
    // The selection's own samples: a louder one just outside it, which a
    // decoder that honours the gapless record never plays, holds nothing back.
    const auto peak = MDplay->peakBetween(start, end);
    return peak ? std::optional<int>(LoudestVolumeSteps(*peak)) : std::nullopt;
}

void Frm::flashStatus()
{
    // In another colour for a moment: the label's box overlaps the button
    // beside it, so its ground stays as it is.
    statusFlash_.start(kFlashMs);
    colourStatus();
}

void Frm::statusFlashed() { colourStatus(); }

void Frm::colourStatus()
{
    const QPalette& window = palette();
    QPalette status = lb->palette();
    status.setColor(QPalette::WindowText, statusFlash_.isActive()
                                              ? TextColourOn(window, kFlash, kFlash)
                                              : TextColourOn(window, kStatusBlue, window.color(QPalette::Link)));
    lb->setPalette(status);
}

}  // namespace sundrel
