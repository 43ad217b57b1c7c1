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
#include "window_event_pass.h"

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

// The start offset as a size field. A start at the very first byte would
// write "0", which the split plan reads as "no field" and drops, so that the
// selection became piece 0; zero written with its decimal place keeps an
// empty piece 0, and the kept piece 1 is the selection.
std::string StartFieldText(double kb)
{
    const std::string text = NumberToText(kb);
    return text == "0" ? std::string("0") + DecimalSeparator() + "0" : text;
}

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
    if (cutting_ || refusedWhileMapping())
        return;
    if (MDplay->URL().isEmpty()) {
        message(QStringLiteral("请选择要剪切的MP3文件！"));
        return;
    }
    if (refusedAsUnplayable())
        return;
    readSong();
    // A new Start begins a new ringtone: at full level, without fades.
    gain_ = {};
    startAt(MDplay->currentPosition());
}

void Frm::startAt(double position)
{
    services_.shared.StartPos = NumberToText(position);
    // An unknown duration skips the offset, and the mark with it.
    const auto startKB = positionKB(position);
    if (startKB)
        txtSplit[0]->setText(QString::fromStdString(StartFieldText(*startKB)));
    startMarked_ = startKB.has_value();
    cutShown_ = false;
    // The mark sits where the start was taken: the moment StartPos holds.
    MDplay->setMarks(startMarked_ ? TextToNumber(services_.shared.StartPos) : std::nullopt, std::nullopt);
    lb->setText(QStringLiteral("开始。。。"));
    lbk->setText(QString::fromStdString(WholeSecondsText(position)));
}

void Frm::Command1_Click()
{
    if (cutting_ || refusedWhileMapping())
        return;
    readSong();
    endAt(MDplay->currentPosition());
}

void Frm::MDplay_MarkMoved(PlayerMark mark, double seconds)
{
    if (cutting_ || mapping_ || MDplay->URL().isEmpty() || !startMarked_)
        return;
    readSong();
    // After a cut, the mark not dragged keeps its moment and the cut is made
    // again at once; before, the start mark alone moves, as Start there.
    const bool recut = cutShown_;
    const auto end = recut ? TextToNumber(services_.shared.EndPos) : std::nullopt;
    // A cut that would be refused leaves the one in place as it is: its
    // kept file, its marks and its times.
    if (const auto start = TextToNumber(services_.shared.StartPos); recut && end && start) {
        if (refusedSelection(mark == PlayerMark::Start ? seconds : *start, mark == PlayerMark::End ? seconds : *end)) {
            MDplay->setMarks(start, end);
            return;
        }
    }
    if (mark == PlayerMark::Start)
        startAt(seconds);
    if (recut && end)
        recutAt(mark == PlayerMark::End ? seconds : *end);
}

bool Frm::recutAt(double endPosition)
{
    recutting_ = true;
    const bool kept = endAt(endPosition);
    recutting_ = false;
    if (kept && preview_ && !closing_) {
        services_.shared.PreviewPath = PieceName(cut_, 1);
        preview_->play(QtPath(services_.shared.PreviewPath));
    }
    return kept;
}

bool Frm::endAt(double endPosition)
{
    services_.shared.EndPos = NumberToText(endPosition);
    cutShown_ = false;
    gainRefused_ = false;
    const auto startPosition = TextToNumber(services_.shared.StartPos);
    // The fades and volume as this selection can have them; kept once cut.
    const KeptGain gain = startPosition ? fittedGain(gain_, *startPosition, endPosition) : gain_;
    const CutPlan plan = planCut(startPosition, endPosition, gain);
    // Only a cut that is made shades a selection; until then the start
    // mark stands alone.
    MDplay->setMarks(startMarked_ ? startPosition : std::nullopt, std::nullopt);
    if (refusedCut(plan))
        return false;
    return keepCut(*startPosition, endPosition, gain);
}

CutPlan Frm::planCut(std::optional<double> startPosition, double endPosition, const KeptGain& gain)
{
    const auto startKB = startPosition ? positionKB(*startPosition) : std::nullopt;
    const auto endKB = positionKB(endPosition);
    const bool lengthWritten = startMarked_ && startKB && endKB;
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
    CutPlan plan = PlanCut(cut_, EnginePath(txtDestdir->text()), EnginePath(txtSource->text()), sizes, selection, gain);
    for (int i = 0; i < 3; ++i)
        txtSplit[i]->setText(QString::fromStdString(sizes[i]));
    plan.Split = plan.Split && lengthWritten;
    return plan;
}

bool Frm::refusedCut(const CutPlan& plan)
{
    if (!MDplay->URL().isEmpty() && refusedAsUnplayable())
        return true;
    if (MDplay->URL().isEmpty() || !startMarked_) {
        message(QStringLiteral("请先选择起点！"));
        return true;
    }
    if (txtDestdir->text().isEmpty()) {
        message(QStringLiteral("请选择要存放的文件夹！"), QStringLiteral("提示"));
        return true;
    }
    if (!songStillMapped() || refusedAsOtherFormat())
        return true;
    if (!plan.Split) {
        message(QStringLiteral("请选择要剪切的MP3文件！"), QStringLiteral("提示"));
        return true;
    }
    if (!plan.Kept) {
        message(QStringLiteral("结束时间必须在开始时间之后！"), QStringLiteral("提示"));
        return true;
    }
    return false;
}

bool Frm::keepCut(double startPosition, double endPosition, const KeptGain& gain)
{
    bool clean = true;
    const WrittenPieces written = writeKeptPiece(clean);
    const bool kept = written.Kept;
    gainRefused_ = written.GainRefused;
    if (closing_)
        return kept;
    // Pieces that could not be removed (hundreds of MB, some of them hidden)
    // are said plainly, never passed over as a clean cut.
    if (kept) {
        keptFileWritten();
        services_.shared.CutMade = true;
        cutShown_ = true;
        gain_ = gain;
        MDplay->setMarks(startPosition, TextToNumber(services_.shared.EndPos));
        showGain();
        if (!clean)
            lb->setText(QStringLiteral("剪切完成，残片未删除"));
        else
            lb->setText(recutting_ ? QStringLiteral("铃声已换，请试听") : QStringLiteral("剪切完成，请试听"));
        if (recutting_)
            flashStatus();
    } else if (written.GainRefused) {
        // Nothing was written: the kept file is the one before.
        message(QStringLiteral("此文件的帧无法渐入渐出或调节音量！"), QStringLiteral("提示"));
    } else {
        lb->setText(clean ? QStringLiteral("剪切失败") : QStringLiteral("剪切失败，残片未删除"));
        message(folderHeldElsewhere_ ? QStringLiteral("另有剪切占用此文件夹，请稍后再试！")
                                     : QStringLiteral("剪切失败，请检查MP3文件和存放的文件夹！"),
                QStringLiteral("提示"));
    }
    MDplay->pause();
    lbj->setText(QString::fromStdString(WholeSecondsText(endPosition)));
    return kept;
}

bool Frm::refusedSelection(double start, double end)
{
    // As End checks it, before anything is written: the order, and for a
    // song with frames at least one frame (a song without is End's to refuse).
    const SongMap& map = cut_.SourceMap;
    if (end > start && (map.Frames().Count() == 0 || map.Kept(start, end)))
        return false;
    message(QStringLiteral("结束时间必须在开始时间之后！"), QStringLiteral("提示"));
    return true;
}

bool Frm::refusedWhileMapping()
{
    // Marks need the map of the song to become places in the file; a press
    // is refused plainly rather than lost in silence.
    if (!mapping_)
        return false;
    message(QStringLiteral("正在读取歌曲，请稍候再按！"), QStringLiteral("提示"));
    return true;
}

bool Frm::songStillMapped()
{
    // The map and the marks describe the file as it was chosen; another
    // file renamed onto its name, or the same one rewritten, would be cut
    // by them into garbage.
    const QString path = txtSource->text();
    const auto now = IdentifyFile(EnginePath(path));
    if (now && now == songIdentity_)
        return true;
    const bool lost = !now || (songIdentity_ && now->Size < songIdentity_->Size);
    if (now)
        takeUpSong(path);
    if (lost) {
        lb->setText(QStringLiteral("剪切失败"));
        message(QStringLiteral("剪切失败，请检查MP3文件和存放的文件夹！"), QStringLiteral("提示"));
    } else {
        message(QStringLiteral("MP3文件已改变，已重新载入，请重新选择起点！"), QStringLiteral("提示"));
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
        message(QStringLiteral("播放器无法播放此MP3文件，不能剪切！"), QStringLiteral("提示"));
        return true;
    }
    if (map.Duration().value_or(0) <= 0) {
        message(QStringLiteral("此MP3文件没有声音，不能剪切！"), QStringLiteral("提示"));
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
    message(QStringLiteral("只能剪切MP3文件，其他格式请看“如何剪切其他格式”！"), QStringLiteral("提示"));
    return true;
}

WrittenPieces Frm::writeKeptPiece(bool& clean)
{
    setCursor(Qt::WaitCursor);
    LockSplit(true);
    cut_.SourcePath = EnginePath(txtSource->text());
    cut_.SourceName = cut_.SourcePath.filename();
    cut_.DestDir = EnginePath(txtDestdir->text());

    cutting_ = true;
    WindowEventPass eventPass([this] { return !closing_; });
    PieceFolderLock lock(PieceName(cut_, 1).remove_filename().native());
    // Another cut writes into the folder (another copy of the program):
    // this one follows it, unless it never ends. One of another window of
    // this program cannot end before this handler, run from its event
    // pass, returns: this cut is refused at once.
    static int cutsUnderWay = 0;
    QElapsedTimer waited;
    waited.start();
    if (lock.state() == PieceFolderLock::State::Busy && cutsUnderWay == 0)
        lb->setText(QStringLiteral("另有剪切，请稍候"));
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
    cutting_ = false;

    LockSplit(false);
    unsetCursor();
    return written;
}

}  // namespace sundrel
