// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileDialog>

namespace sundrel {

// The name with `extension` appended unless it already ends in ".mp3" or
// ".m4r" (an iPhone's ringtone) in any case: "ring" and "ring.v2" gain it,
// "ring.MP3" and "ring.m4r" keep their own. An empty name, or one ending in
// '/' (a folder), is left alone.
QString WithRingtoneExtension(const QString& name, const QString& extension = QStringLiteral(".mp3"));

// Qt's own (non-native) save dialog whose confirmed name always ends in
// ".mp3", or ".m4r" when typed so or when the iPhone filter (*.m4r) is
// chosen. The name is completed before the dialog checks it, so Qt's
// question about replacing an existing file is asked about the final name.
// QFileDialog::setDefaultSuffix would not do: it leaves any name with a dot,
// such as "ring.v2", as it is.
class Mp3SaveDialog final : public QFileDialog {
public:
    explicit Mp3SaveDialog(QWidget* parent = nullptr);

    void accept() override;
};

}  // namespace sundrel
