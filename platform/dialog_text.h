// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QFileDialog;

namespace sundrel {

// Turns a file-type filter written as "description|pattern" pairs, joined
// by further bars, into the filter text QFileDialog reads:
// "MP3音频文件|*.mp3" gives "MP3音频文件 (*.mp3)", two pairs are joined by
// ";;", and a bare pattern such as "*.mp3" is kept as it is. Several
// patterns in one field may be separated by ';' as well as by blanks.
QString QtNameFilter(const QString& filter);

// Gives a Qt file dialog's own labels and buttons Chinese texts, so that it
// matches the program whether or not Qt's translations are installed.
// acceptText names the confirming button: "打开", "保存", "选择".
void UseChineseLabels(QFileDialog& dialog, const QString& acceptText);

}  // namespace sundrel
