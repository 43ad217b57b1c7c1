// SPDX-License-Identifier: GPL-3.0-or-later
// The ringtone's fades and volume, asked for on the player's waveform after
// a cut: each change cuts again at once, as a dropped mark does.

#include "frm.h"

#include "app_services.h"
#include "cut_engine.h"
#include "media_player.h"

#include <QLabel>

#include <algorithm>

namespace sundrel {

namespace {

// Decoders that ignore the gapless record play a frame or two beyond the
// selection: their sound must not clip either.
constexpr double kAroundSelectionSeconds = 0.1;
// How long the status stays lit up after the ringtone was replaced.
constexpr int kFlashMs = 1500;
const QColor kFlash(0xe0, 0x40, 0x00);

}  // namespace

void Frm::MDplay_FadeSet(PlayerFade fade, double seconds)
{
    KeptGain gain = gain_;
    (fade == PlayerFade::In ? gain.FadeInSeconds : gain.FadeOutSeconds) = std::max(0.0, seconds);
    reshape(gain);
}

void Frm::MDplay_VolumeStepped(int steps)
{
    const auto start = TextToNumber(services_.shared.StartPos);
    const auto end = TextToNumber(services_.shared.EndPos);
    if (!mayReshape() || !start || !end || steps == 0)
        return;
    // Louder only as far as the song's own decoded sound allows, which the
    // player knows once it has decoded the selection.
    int loudest = gain_.VolumeSteps;
    if (steps > 0) {
        const auto limit = loudestVolume(*start, *end);
        if (!limit) {
            lb->setText(QStringLiteral("读取波形，请稍候"));
            return;
        }
        loudest = std::max(loudest, *limit);
    }
    KeptGain gain = gain_;
    gain.VolumeSteps = std::clamp(gain_.VolumeSteps + steps, MinVolumeSteps, std::max(loudest, MinVolumeSteps));
    if (gain.VolumeSteps == gain_.VolumeSteps) {
        lb->setText(steps > 0 ? QStringLiteral("音量最大") : QStringLiteral("音量最小"));
        return;
    }
    reshape(gain);
}

bool Frm::mayReshape() const { return !cutting_ && !mapping_ && cutShown_ && startMarked_ && !MDplay->URL().isEmpty(); }

void Frm::reshape(KeptGain gain)
{
    if (!mayReshape())
        return;
    readSong();
    const auto start = TextToNumber(services_.shared.StartPos);
    const auto end = TextToNumber(services_.shared.EndPos);
    if (!start || !end || fittedGain(gain, *start, *end) == gain_)
        return;
    const KeptGain before = gain_;
    gain_ = gain;
    if (recutAt(*end))
        return;
    gain_ = before;
    // Refused before anything was written: the cut in place stays shown.
    if (gainRefused_ && !closing_) {
        cutShown_ = true;
        MDplay->setMarks(start, end);
    }
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
    const auto peak = MDplay->peakBetween(start - kAroundSelectionSeconds, end + kAroundSelectionSeconds);
    return peak ? std::optional<int>(LoudestVolumeSteps(*peak)) : std::nullopt;
}

void Frm::showGain() { MDplay->setFades(gain_.FadeInSeconds, gain_.FadeOutSeconds, gain_.VolumeSteps * GainStepDb); }

void Frm::flashStatus()
{
    // In another colour for a moment: the label's box overlaps the button
    // beside it, so its ground stays as it is.
    QPalette lit = lb->palette();
    if (!statusFlash_.isActive())
        statusColour_ = lit.color(QPalette::WindowText);
    lit.setColor(QPalette::WindowText, kFlash);
    lb->setPalette(lit);
    statusFlash_.start(kFlashMs);
}

void Frm::statusFlashed()
{
    QPalette plain = lb->palette();
    plain.setColor(QPalette::WindowText, statusColour_);
    lb->setPalette(plain);
}

}  // namespace sundrel
