// SPDX-License-Identifier: GPL-3.0-or-later
#include "save_dialog.h"

#include <QFileInfo>
#include <QLineEdit>

namespace sundrel {

QString WithRingtoneExtension(const QString& name, const QString& extension)
{
    const bool hasOwn = name.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive) ||
                        name.endsWith(QStringLiteral(".m4r"), Qt::CaseInsensitive);
    if (name.isEmpty() || name.endsWith(QLatin1Char('/')) || hasOwn) {
        return name;
    }
    return name + extension;
}

Mp3SaveDialog::Mp3SaveDialog(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

void Mp3SaveDialog::accept()
{
    // QFileDialog takes the confirmed name from its name box, both for the
    // overwrite question and for selectedFiles(), so the name is completed
    // there. A name that is an existing folder means "go into it" and stays.
    auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (nameBox != nullptr) {
        const QString typed = nameBox->text();
        const QStringList chosen = selectedFiles();
        const bool isFolder = chosen.size() == 1 && QFileInfo(chosen.first()).isDir();
        const bool iphone = selectedNameFilter().contains(QStringLiteral("*.m4r"));
        const QString completed = WithRingtoneExtension(typed, QLatin1String(iphone ? ".m4r" : ".mp3"));
        if (!isFolder && completed != typed) {
            nameBox->setText(completed);
        }
    }
    QFileDialog::accept();
}

}  // namespace sundrel
