// SPDX-License-Identifier: GPL-3.0-or-later
// The ringtone once cut: which file it is on disk, and save as, which moves
// it under a name of the user's and has the window follow it there; or,
// for a name ending in .m4r, writes an iPhone's ringtone from it.

#include "frm.h"

#include "app_services.h"
#include "cut_engine.h"
#include "engine_path.h"
#include "frm_st.h"
#include "m4r_file.h"
#include "save_dialog.h"
#include "spoken_status.h"
#include "window_event_pass.h"
#include "window_texts.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>

#include <cerrno>
#include <system_error>

namespace sundrel {

namespace {

// Why a move failed, as the user can act on it; the file stayed where it was.
QString SaveAsFailure(const std::error_code& why)
{
    switch (why.value()) {
        case ENOENT:
        case ENOTDIR:
            return texts::SaveFailedNoFolder();
        case EACCES:
        case EPERM:
        case EROFS:
            return texts::SaveFailedCannotWrite();
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return texts::SaveFailedDiskFull();
        case ENAMETOOLONG:
        case EINVAL:
        case EISDIR:
        case EEXIST:
        case ENOTEMPTY:
            return texts::SaveFailedBadName();
        default:
            return texts::SaveFailed();
    }
}

}  // namespace

void Frm::keptFileWritten()
{
    ringtone_ = RingtoneFile::At(PieceName(cut_, 1));
    // The status now speaks of this ringtone, not of one saved before.
    lb->setToolTip(QString());
    if (preview_)
        preview_->setRingtone(ringtone_);
}

bool Frm::ringtoneStillOurs()
{
    if (ringtone_.None())
        return true;
    const auto lost = RingtoneLost(ringtone_);
    if (lost)
        message(*lost, texts::Tip());
    return !lost;
}

void Frm::Command5_Click()
{
    if (session_.cutting() || !ringtoneStillOurs())
        return;
    ComDlg2.Filter = QStringLiteral("MP3音频文件|*.mp3|苹果手机铃声|*.m4r");
    ComDlg2.DialogTitle = QStringLiteral("保存音频文件");
    // The dialog opens in the folder that holds the ringtone, so that a
    // bare name lands beside it, and proposes the ringtone's own name.
    const std::filesystem::path ringtone = ringtone_.None() ? PieceName(cut_, 1) : ringtone_.Path;
    QString folder = QtPath(std::filesystem::path(ringtone).remove_filename());
    if (folder.isEmpty())
        folder = PathIn(txtDestdir);
    ComDlg2.InitDir = folder.isEmpty() ? QDir::homePath() : folder;
    // A name that is not UTF-8 is proposed as shown: saved, it is a name in
    // UTF-8, as any the user types.
    ComDlg2.FileName = ringtone_.None() ? QString() : ShownPath(QtPath(ringtone_.Path.filename()));
    // A cancelled dialog moves nothing.
    if (!ComDlg2.ShowSave(this))
        return;
    saveRingtoneAs(WithRingtoneExtension(ComDlg2.FileName));
}

void Frm::saveRingtoneAs(const QString& target)
{
    if (ringtone_.None()) {
        message(texts::SaveFailedNothingCut(), texts::Tip());
        return;
    }
    // The dialog stayed open as long as the user liked: the file may have
    // changed meanwhile.
    if (!ringtoneStillOurs())
        return;
    if (IsM4rName(EnginePath(target))) {
        saveRingtoneAsM4r(target);
        return;
    }
    std::error_code why;
    if (!MoveFile(ringtone_.Path, EnginePath(target), why)) {
        message(SaveAsFailure(why), texts::Tip());
        return;
    }
    // The window follows the ringtone: 试听, the preview, its delete and a
    // second save as act on it where it is now.
    ringtone_ = RingtoneFile::At(EnginePath(target));
    services_.shared.PreviewPath = ringtone_.Path;
    SayStatus(lb, texts::Saved());
    lb->setToolTip(QDir::toNativeSeparators(ShownPath(QtPath(AbsoluteEnginePath(target)))));
    if (preview_ && !closing_) {
        preview_->setRingtone(ringtone_);
        preview_->play(QtPath(ringtone_.Path));
    }
}

void Frm::saveRingtoneAsM4r(const QString& target)
{
    // Encoding 40 s takes a fraction of a second, yet the window repaints
    // meanwhile, as during a cut, and takes no other command until it ends.
    setCursor(Qt::WaitCursor);
    session_.beginCut();
    const M4rWrite written = WriteM4r(ringtone_.Path, EnginePath(target), cut_.SourceName.stem().string(),
                                      WindowEventPass([this] { return !closing_; }));
    session_.endCut();
    unsetCursor();
    switch (written.Fault) {
        case M4rFault::None: {
            // The MP3 stays the window's ringtone, where it was.
            const QString where = QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath());
            SayStatus(lb, texts::SavedAsM4r());
            lb->setToolTip(texts::SavedAsM4rTip(where));
            break;
        }
        case M4rFault::TooLong:
            message(texts::SaveFailedTooLongForIphone(), texts::Tip());
            break;
        case M4rFault::CannotWrite:
            message(SaveAsFailure(written.Why), texts::Tip());
            break;
        case M4rFault::Abandoned:
            break;
        case M4rFault::Undecodable:
        case M4rFault::EncoderFailed:
            message(texts::SaveFailed(), texts::Tip());
            break;
    }
    session_.runWaiting();
}

}  // namespace sundrel
