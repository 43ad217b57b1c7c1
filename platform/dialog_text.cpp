// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_text.h"

#include <QFileDialog>
#include <QStringList>

namespace sundrel {

namespace {

// QFileDialog separates the patterns of one filter by blanks only.
QString QtPatterns(const QString& patterns)
{
    QString blanks = patterns;
    blanks.replace(QLatin1Char(';'), QLatin1Char(' '));
    return blanks.simplified();
}

}  // namespace

QString QtNameFilter(const QString& filter)
{
    const QStringList fields = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        // A field without a partner, such as a bare "*.mp3", is a pattern
        // that names itself.
        if (i + 1 == fields.size()) {
            const QString patterns = QtPatterns(fields[i]);
            if (!patterns.isEmpty()) {
                filters << patterns;
            }
            continue;
        }
        const QString description = fields[i].trimmed();
        const QString patterns = QtPatterns(fields[i + 1]);
        if (patterns.isEmpty()) {
            continue;
        }
        filters << (description.isEmpty() ? patterns
                                          : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

void UseChineseLabels(QFileDialog& dialog, const QString& acceptText)
{
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    dialog.setLabelText(QFileDialog::FileName, dialog.fileMode() == QFileDialog::Directory
                                                   ? QStringLiteral("目录：")
                                                   : QStringLiteral("文件名："));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("文件类型："));
    dialog.setLabelText(QFileDialog::Accept, acceptText);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
}

}  // namespace sundrel
