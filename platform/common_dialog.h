// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace sundrel {

class Desktop;

// An open or save dialog as the windows use it: set Filter, DialogTitle and
// InitDir (the folder it opens in), show it, read FileName. A cancel leaves
// FileName as it was, so it stays "" until the first confirmation. The save
// dialog proposes FileName's own name (without its folder) in its name box.
class CommonDialog {
public:
    explicit CommonDialog(Desktop& desktop) : desktop_(desktop) {}

    QString Filter;
    QString DialogTitle;
    QString InitDir;
    QString FileName;

    // False when the user cancelled: the caller skips what needed a name.
    bool ShowOpen(QWidget* owner);
    bool ShowSave(QWidget* owner);

private:
    bool take(const QString& answer);

    Desktop& desktop_;
};

}  // namespace sundrel
