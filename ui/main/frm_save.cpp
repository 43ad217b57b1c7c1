// SPDX-License-Identifier: GPL-3.0-or-later
// The ringtone once cut: which file it is on disk, and save as, which moves
// it under a name of the user's and has the window follow it there.

#include "frm.h"

#include "app_services.h"
#include "cut_engine.h"
#include "engine_path.h"
#include "frm_st.h"
#include "spoken_status.h"
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
    ComDlg2.Filter = QStringLiteral("*.mp3");
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
    QString target = ComDlg2.FileName;
    if (!target.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive))
        target += QStringLiteral(".mp3");
    saveRingtoneAs(target);
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

}  // namespace sundrel
