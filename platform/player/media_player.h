// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <optional>

namespace sundrel {

// What the windows need of an embedded media player, in seconds and URLs.
// A URL here is a local file path as the user chose it; "" means no media.
class MediaPlayer : public QWidget {
public:
    using QWidget::QWidget;

    // Loads the file and starts playing it from its beginning, also when it
    // is the file already loaded. "" empties the player and releases the file.
    virtual void setURL(const QString& url) = 0;
    virtual QString URL() const = 0;

    // Length of the loaded media; 0 while it is still being opened, nothing
    // when no media is loaded.
    virtual std::optional<double> duration() const = 0;
    virtual double currentPosition() const = 0;
    virtual void pause() = 0;

    // Marks the moments the user chose, in seconds: the start alone, or the
    // start and the end of the selection that was cut. A new URL clears them.
    virtual void setMarks(std::optional<double> startSeconds, std::optional<double> endSeconds) = 0;
};

}  // namespace sundrel
