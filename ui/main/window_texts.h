// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's texts, each named once: the statuses and messages its
// commands give.

#include <QString>

namespace sundrel::texts {

// Titles and statuses.
inline QString Tip() { return QStringLiteral("提示"); }
inline QString Starting() { return QStringLiteral("开始。。。"); }
inline QString CutDone() { return QStringLiteral("剪切完成，请试听"); }
inline QString CutDoneLeftovers() { return QStringLiteral("剪切完成，残片未删除"); }
// A cut made again by a drop, a key, a fade, undo or redo.
inline QString CutReplaced() { return QStringLiteral("铃声已换，请试听"); }
inline QString CutFailed() { return QStringLiteral("剪切失败"); }
inline QString CutFailedLeftovers() { return QStringLiteral("剪切失败，残片未删除"); }
inline QString OtherCutWaiting() { return QStringLiteral("另有剪切，请稍候"); }
inline QString ReadingSong() { return QStringLiteral("读取歌曲。。。"); }
inline QString ReadingWaveform() { return QStringLiteral("读取波形，请稍候"); }
inline QString Loudest() { return QStringLiteral("音量最大"); }
inline QString Quietest() { return QStringLiteral("音量最小"); }
// The song's chorus found and drawn on the waveform.
inline QString ProposalFound() { return QStringLiteral("找到高潮，按H选用"); }
inline QString NothingToUndo() { return QStringLiteral("无可撤销"); }
inline QString NothingToRedo() { return QStringLiteral("无可重做"); }

// Messages.
inline QString ChooseSong() { return QStringLiteral("请选择要剪切的MP3文件！"); }
inline QString ChooseStart() { return QStringLiteral("请先选择起点！"); }
inline QString ChooseFolder() { return QStringLiteral("请选择要存放的文件夹！"); }
inline QString EndBeforeStart() { return QStringLiteral("结束时间必须在开始时间之后！"); }
inline QString CutFailedCheck() { return QStringLiteral("剪切失败，请检查MP3文件和存放的文件夹！"); }
inline QString GainRefused() { return QStringLiteral("此文件的帧无法渐入渐出或调节音量！"); }
inline QString WaitForReading() { return QStringLiteral("正在读取歌曲，请稍候再按！"); }
inline QString SongChanged() { return QStringLiteral("MP3文件已改变，已重新载入，请重新选择起点！"); }
inline QString Unplayable() { return QStringLiteral("播放器无法播放此MP3文件，不能剪切！"); }
inline QString Soundless() { return QStringLiteral("此MP3文件没有声音，不能剪切！"); }
inline QString OtherFormat() { return QStringLiteral("只能剪切MP3文件，其他格式请看“如何剪切其他格式”！"); }
inline QString SaveFailed() { return QStringLiteral("另存为失败！"); }
inline QString SaveFailedNoFolder() { return QStringLiteral("另存为失败：文件夹不存在！"); }
inline QString SaveFailedCannotWrite() { return QStringLiteral("另存为失败：不能写入此文件夹！"); }
inline QString SaveFailedDiskFull() { return QStringLiteral("另存为失败：磁盘已满！"); }
inline QString SaveFailedBadName() { return QStringLiteral("另存为失败：不能使用此文件名！"); }
inline QString SaveFailedNothingCut() { return QStringLiteral("另存为失败：请先剪切铃声！"); }
// The ringtone saved elsewhere, which the window follows.
inline QString Saved() { return QStringLiteral("已另存，请试听"); }
// The ringtone saved as an iPhone's too, which had to be encoded again; the
// window keeps following the MP3. The tooltip says where it went.
inline QString SavedAsM4r() { return QStringLiteral("已另存，重新编码"); }
inline QString SavedAsM4rTip(const QString& path)
{
    return QStringLiteral("已另存为苹果手机铃声（重新编码）：%1").arg(path);
}
inline QString SaveFailedTooLongForIphone() { return QStringLiteral("另存为失败：苹果手机的铃声最长40秒！"); }
inline QString FolderHeldElsewhere() { return QStringLiteral("另有剪切占用此文件夹，请稍后再试！"); }
inline QString TimeUnreadable()
{
    return QStringLiteral("无法识别的时间：请输入秒数（如 62.43）或分:秒（如 1:02.43）！");
}
inline QString TimeOutsideSong() { return QStringLiteral("时间超出歌曲的长度！"); }

// Songs handed over by the desktop.
inline QString OneSongAtATime() { return QStringLiteral("一次只能打开一个MP3文件！"); }
inline QString OnlyLocalSongs() { return QStringLiteral("只能打开本机上的MP3文件！"); }
inline QString FolderGiven() { return QStringLiteral("这是一个文件夹，请选择MP3文件！"); }
inline QString SongNotFound(const QString& path) { return QStringLiteral("找不到文件“%1”！").arg(path); }

}  // namespace sundrel::texts
