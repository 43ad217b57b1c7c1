// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ringtone_file.h"

#include <QWidget>

#include <functional>

namespace sundrel {

struct AppServices;
class MediaPlayer;

// The preview window: plays the kept piece, then keeps it, deletes it or
// opens its folder. It has no owner and never blocks the main window.
class FrmST final : public QWidget {
    Q_OBJECT

public:
    // destDirText reads the main window's folder box as it is now.
    FrmST(AppServices& services, std::function<QString()> destDirText);

    // Loads the file into the player and plays it from its beginning.
    void play(const QString& path);
    // The ringtone the delete may remove: that file and no other, even
    // after the main window has closed.
    void setRingtone(const RingtoneFile& ringtone) { ringtone_ = ringtone; }

    void Command1_Click();  // "满意！关闭"
    void Command2_Click();  // "不满意，删除！"
    void Command3_Click();  // "打开所在文件夹"

protected:
    // Esc closes the preview as 满意！关闭 does, unless the player's time
    // entry takes it first to put its typing away.
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppServices& services_;
    std::function<QString()> destDirText_;
    MediaPlayer* MDst = nullptr;
    RingtoneFile ringtone_;
};

}  // namespace sundrel
