// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "media_player.h"

#include <QLineEdit>

namespace sundrel {

// Where a mark's time is typed: a line over the display's top line, opened
// by a key or a double click on the selection's times. Return hands the
// text on (the window reads it and decides); Esc, or the focus going
// elsewhere, closes it and changes nothing.
class TimeEntry final : public QLineEdit {
    Q_OBJECT

public:
    explicit TimeEntry(QWidget* parent = nullptr);

    // Opens for a mark, its time so far (if any) filled in and selected;
    // the focus goes back to `back` when it closes.
    void open(PlayerMark mark, std::optional<double> seconds, QWidget* back);
    PlayerMark mark() const { return mark_; }

signals:
    void typed(sundrel::PlayerMark mark, const QString& text);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void finish();

    PlayerMark mark_ = PlayerMark::Start;
    QWidget* back_ = nullptr;
};

}  // namespace sundrel
