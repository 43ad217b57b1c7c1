// SPDX-License-Identifier: GPL-3.0-or-later
#include "common_dialog.h"

#include "desktop.h"

#include <QFileInfo>

namespace sundrel {

bool CommonDialog::ShowOpen(QWidget* owner) { return take(desktop_.askOpenFile(owner, DialogTitle, Filter, InitDir)); }

bool CommonDialog::ShowSave(QWidget* owner)
{
    return take(desktop_.askSaveFile(owner, DialogTitle, Filter, InitDir, QFileInfo(FileName).fileName()));
}

bool CommonDialog::take(const QString& answer)
{
    if (answer.isEmpty())
        return false;
    FileName = answer;
    return true;
}

}  // namespace sundrel
