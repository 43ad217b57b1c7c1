// SPDX-License-Identifier: GPL-3.0-or-later
// Start, End and the cut: the commands the tool exists for.

#include "frm.h"

#include "app_services.h"
#include "cut_engine.h"
#include "desktop.h"
#include "engine_path.h"
#include "frm_st.h"
#include "media_player.h"
#include "piece_folder_lock.h"
#include "spoken_status.h"
#include "window_event_pass.h"
#include "window_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace sundrel {

namespace {

// How long a cut waits for another cut into the same folder, which takes
// well under a second for a song of hundreds of MB, and how often it looks.
constexpr qint64 kLockWaitMs = 30'000;
constexpr unsigned long kLockPollMs = 5;
// Cuts of this program's windows under way: one of another window cannot
// end before the cut that waits for it, run from its event pass, returns.
int cutsUnderWay = 0;

// The start offset as a size field. A start at the very first byte would
// write "0", which the split plan reads as "no field" and drops, so that the
// selection became piece 0; zero written with its decimal place keeps an
// empty piece 0, and the kept piece 1 is the selection.
std::string StartFieldText(double kb)
{
    const std::string text = NumberToText(kb);
    return text == "0" ? std::string("0") + DecimalSeparator() + "0" : text;
}

// A position as the cut state holds it: as number text, read back.
double HeldPosition(double position) { return TextToNumber(NumberToText(position)).value_or(position); }

}  // namespace

std::optional<double> Frm::positionKB(double position) const
{
    return cut_.SourceMap.PositionToKB(position, services_.shared.MediaDuration);
}

void Frm::readSong()
{
    SharedCutState& shared = services_.shared;
    if (const auto duration = PlayedDuration(MDplay->duration(), cut_.SourceMap))
        shared.MediaDuration = *duration;
    if (const auto kb = TextToNumber(BytesToKbText(cut_.SourceLen)))
        shared.SourceKB = *kb;
}

void Frm::cmdQ_Click()
{
    // The files are being written: a new mark would land in the middle of it.
    if (session_.cutting() || refusedWhileMapping())
        return;
    if (MDplay->URL().isEmpty()) {
        message(texts::ChooseSong());
        return;
    }
    if (refusedAsUnplayable())
        return;
    readSong();
    // A new Start begins a new ringtone: at full level, without fades. The
    // cut it puts aside is a step back.
    takeStep({{MDplay->currentPosition(), 0, {}}, false}, StepCause::Pressed);
}

void Frm::Command1_Click()
{
    if (session_.cutting() || refusedWhileMapping())
        return;
    readSong();
    // The start marked, or none: End then says to choose one. The fades and
    // volume of the cut shown stay with the new one.
    const std::optional<CutStep>& shown = session_.shown();
    CutRequest request{shown ? shown->Request.StartSeconds : 0, MDplay->currentPosition(), session_.gain()};
    takeStep({request, true}, StepCause::Pressed);
}

bool Frm::takeStep(CutStep step, StepCause cause)
{
    // The start is held as the cut state holds it, as number text, and the
    // cut is planned from that; the end as asked.
    step.Request.StartSeconds = HeldPosition(step.Request.StartSeconds);
    bool shown = false;
    if (!step.Cut) {
        shown = startAt(step.Request.StartSeconds);
        if (shown)
            session_.showed(step, cause);
        else
            session_.clearShown();
    } else {
        shown = cutAt(step.Request, cause);
        if (!shown) {
            session_.refused();
            // A refusal changes nothing: the step shown stays as it was.
            if (!closing_)
                showStep();
        }
    }
    // What was asked meanwhile goes on from here.
    session_.runWaiting();
    return shown;
}

bool Frm::holdStart(double position)
{
    services_.shared.StartPos = NumberToText(position);
    lbk->setText(QString::fromStdString(WholeSecondsText(position)));
    // An unknown duration skips the offset, and the mark with it.
    const auto startKB = positionKB(position);
    if (startKB)
        txtSplit[0]->setText(QString::fromStdString(StartFieldText(*startKB)));
    return startKB.has_value();
}

bool Frm::startAt(double position)
{
    const bool marked = holdStart(position);
    // The mark sits where the start was taken: the moment StartPos holds.
    MDplay->setMarks(marked ? std::optional<double>(position) : std::nullopt, std::nullopt);
    MDplay->setFades(0, 0, 0);
    SayStatus(lb, texts::Starting());
    return marked;
}

void Frm::showStep()
{
    const std::optional<CutStep>& step = session_.shown();
    if (!step) {
        MDplay->setMarks(std::nullopt, std::nullopt);
        return;
    }
    const CutRequest& request = step->Request;
    // The fields a refused End's split plan tidied stay as it left them.
    if (services_.shared.StartPos != NumberToText(request.StartSeconds))
        holdStart(request.StartSeconds);
    if (step->Cut) {
        services_.shared.EndPos = NumberToText(request.EndSeconds);
        lbj->setText(QString::fromStdString(WholeSecondsText(request.EndSeconds)));
    }
    const KeptGain gain = step->Cut ? request.Gain : KeptGain{};
    MDplay->setMarks(request.StartSeconds, step->Cut ? std::optional<double>(request.EndSeconds) : std::nullopt);
    MDplay->setFades(gain.FadeInSeconds, gain.FadeOutSeconds, gain.VolumeSteps * GainStepDb);
}

bool Frm::cutAt(CutRequest request, StepCause cause)
{
    // Another start than the one shown is marked first, as a drop of the
    // start mark does.
    const std::optional<CutStep> shown = session_.shown();
    const bool startMarked = shown.has_value();
    if (startMarked && shown->Request.StartSeconds != request.StartSeconds)
        startAt(request.StartSeconds);
    services_.shared.EndPos = NumberToText(request.EndSeconds);
    const double start = request.StartSeconds;
    const double end = request.EndSeconds;
    // The fades and volume as this selection can have them.
    request.Gain = fittedGain(request.Gain, start, end);
    const CutPlan plan = planCut(startMarked ? std::optional<double>(start) : std::nullopt, end, request.Gain);
    // Only a cut that is made shades a selection; until then the start
    // mark stands alone.
    if (cause == StepCause::Pressed)
        MDplay->setMarks(startMarked ? std::optional<double>(start) : std::nullopt, std::nullopt);
    if (refusedCut(plan))
        return false;
    const bool kept = keepCut(request, cause);
    if (kept)
        session_.showed({request, true}, cause);
    return kept;
}

CutPlan Frm::planCut(std::optional<double> startPosition, double endPosition, const KeptGain& gain)
{
    const auto startKB = startPosition ? positionKB(*startPosition) : std::nullopt;
    const auto endKB = positionKB(endPosition);
    const bool lengthWritten = startPosition && startKB && endKB;
    if (lengthWritten)
        txtSplit[1]->setText(QString::fromStdString(NumberToText(*endKB - *startKB)));

    // The plan runs before the refusals: its tidying of the fields shows
    // even when the cut is then refused. Fields it did not just receive
    // belong to an earlier cut and must not cut this one.
    std::array<std::string, 3> sizes;
    for (int i = 0; i < 3; ++i)
        sizes[i] = txtSplit[i]->text().toStdString();
    std::optional<Selection> selection;
    if (lengthWritten && endPosition > *startPosition)
        selection = Selection{*startPosition, endPosition};
    CutPlan plan = PlanCut(cut_, EnginePath(PathIn(txtDestdir)), EnginePath(PathIn(txtSource)), sizes, selection, gain);
    for (int i = 0; i < 3; ++i)
        txtSplit[i]->setText(QString::fromStdString(sizes[i]));
    plan.Split = plan.Split && lengthWritten;
    return plan;
}

bool Frm::refusedCut(const CutPlan& plan)
{
    if (!MDplay->URL().isEmpty() && refusedAsUnplayable())
        return true;
    if (MDplay->URL().isEmpty() || !session_.shown()) {
        message(texts::ChooseStart());
        return true;
    }
    if (txtDestdir->text().isEmpty()) {
        message(texts::ChooseFolder(), texts::Tip());
        return true;
    }
    if (!songStillMapped() || refusedAsOtherFormat())
        return true;
    if (!plan.Split) {
        message(texts::ChooseSong(), texts::Tip());
        return true;
    }
    if (!plan.Kept) {
        message(texts::EndBeforeStart(), texts::Tip());
        return true;
    }
    return false;
}

bool Frm::keepCut(const CutRequest& request, StepCause cause)
{
    bool clean = true;
    const WrittenPieces written = writeKeptPiece(clean);
    const bool kept = written.Kept;
    if (closing_)
        return kept;
    // Pieces that could not be removed (hundreds of MB, some of them hidden)
    // are said plainly, never passed over as a clean cut.
    const bool again = cause != StepCause::Pressed;
    if (kept) {
        keptFileWritten();
        services_.shared.CutMade = true;
        MDplay->setMarks(request.StartSeconds, request.EndSeconds);
        MDplay->setFades(request.Gain.FadeInSeconds, request.Gain.FadeOutSeconds,
                         request.Gain.VolumeSteps * GainStepDb);
        if (!clean)
            SayStatus(lb, texts::CutDoneLeftovers());
        else
            SayStatus(lb, again ? texts::CutReplaced() : texts::CutDone());
        if (again) {
            flashStatus();
            previewFollows();
        }
    } else if (written.GainRefused) {
        // Nothing was written: the kept file is the one before.
        message(texts::GainRefused(), texts::Tip());
    } else {
        SayStatus(lb, clean ? texts::CutFailed() : texts::CutFailedLeftovers());
        message(folderHeldElsewhere_ ? texts::FolderHeldElsewhere() : texts::CutFailedCheck(), texts::Tip());
    }
    MDplay->pause();
    lbj->setText(QString::fromStdString(WholeSecondsText(request.EndSeconds)));
    return kept;
}

void Frm::previewFollows()
{
    if (!preview_ || closing_)
        return;
    services_.shared.PreviewPath = PieceName(cut_, 1);
    preview_->play(QtPath(services_.shared.PreviewPath));
}

bool Frm::refusedSelection(double start, double end)
{
    // As End checks it, before anything is written: the order, and for a
    // song with frames at least one frame (a song without is End's to refuse).
    const SongMap& map = cut_.SourceMap;
    if (end > start && (map.Frames().Count() == 0 || map.Kept(start, end)))
        return false;
    message(texts::EndBeforeStart(), texts::Tip());
    return true;
}

bool Frm::refusedWhileMapping()
{
    // Marks need the map of the song to become places in the file; a press
    // is refused plainly rather than lost in silence.
    if (session_.stage() != WindowStage::ReadingSong)
        return false;
    message(texts::WaitForReading(), texts::Tip());
    return true;
}

bool Frm::songStillMapped()
{
    // The map and the marks describe the file as it was chosen; another
    // file renamed onto its name, or the same one rewritten, would be cut
    // by them into garbage.
    const QString path = PathIn(txtSource);
    const auto now = IdentifyFile(EnginePath(path));
    if (now && now == songIdentity_)
        return true;
    const bool lost = !now || (songIdentity_ && now->Size < songIdentity_->Size);
    if (now)
        takeUpSong(path);
    if (lost) {
        SayStatus(lb, texts::CutFailed());
        message(texts::CutFailedCheck(), texts::Tip());
    } else {
        message(texts::SongChanged(), texts::Tip());
    }
    return false;
}

bool Frm::refusedAsUnplayable()
{
    // An MP3 song the player cannot play (free format at a rate its parser
    // does not find, say) has no moment to mark; nor has one whose encoder
    // delay and padding leave no sound. Each is told as it is: a file that
    // is no MP3 at all is End's to refuse as such.
    const SongMap& map = cut_.SourceMap;
    if (map.File().OtherFormat || map.Frames().Count() == 0)
        return false;
    if (MDplay->cannotPlay()) {
        message(texts::Unplayable(), texts::Tip());
        return true;
    }
    if (map.Duration().value_or(0) <= 0) {
        message(texts::Soundless(), texts::Tip());
        return true;
    }
    return false;
}

bool Frm::refusedAsOtherFormat()
{
    // A player plays FLAC, Ogg or WAVE renamed to .mp3, but a slice of
    // their bytes plays nowhere: better no ringtone than one that is silent.
    const SongMap& map = cut_.SourceMap;
    if (!map.File().OtherFormat && map.Frames().Count() > 0)
        return false;
    message(texts::OtherFormat(), texts::Tip());
    return true;
}

WrittenPieces Frm::writeKeptPiece(bool& clean)
{
    setCursor(Qt::WaitCursor);
    LockSplit(true);
    cut_.SourcePath = EnginePath(PathIn(txtSource));
    cut_.SourceName = cut_.SourcePath.filename();
    cut_.DestDir = EnginePath(PathIn(txtDestdir));

    session_.beginCut();
    WindowEventPass eventPass([this] { return !closing_; });
    PieceFolderLock lock(PieceName(cut_, 1).remove_filename().native());
    // Another cut writes into the folder (another copy of the program):
    // this one follows it, unless it never ends. One of another window of
    // this program cannot end before this handler, run from its event
    // pass, returns: this cut is refused at once.
    QElapsedTimer waited;
    waited.start();
    if (lock.state() == PieceFolderLock::State::Busy && cutsUnderWay == 0)
        SayStatus(lb, texts::OtherCutWaiting());
    while (lock.state() == PieceFolderLock::State::Busy && cutsUnderWay == 0 && !waited.hasExpired(kLockWaitMs) &&
           eventPass()) {
        QThread::msleep(kLockPollMs);
        lock.tryAgain();
    }
    WrittenPieces written;
    // Waited for as long as a cut may take, in vain: the refusal says so.
    folderHeldElsewhere_ = lock.state() == PieceFolderLock::State::Busy && cutsUnderWay == 0 && !closing_;
    if (lock.state() != PieceFolderLock::State::Busy && !closing_) {
        const bool alone = lock.state() == PieceFolderLock::State::Held;
        ++cutsUnderWay;
        written = WritePieces(cut_, eventPass, alone ? Leftovers::Remove : Leftovers::Keep);
        // Also when the window is closing: nothing of the cut but the kept
        // file may stay behind.
        clean = RemoveOuterPieces(written);
        --cutsUnderWay;
    }
    session_.endCut();

    LockSplit(false);
    unsetCursor();
    return written;
}

}  // namespace sundrel
