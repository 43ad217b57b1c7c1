// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Windows are built from tables: one row a control, with its name, kind,
// caption, place in twips and focus order, so that a window reads like its
// design sheet instead of a run of near-identical lines.

#include <QHash>
#include <QString>

#include <span>

class QWidget;

namespace sundrel {

enum class ControlKind { Frame, Label, TextBox, Button, Line, Premade };

struct ControlRow {
    const char* name;
    ControlKind kind;
    const char* caption;           // UTF-8; for a Line, unused
    int left, top, width, height;  // twips, in the container's client area
    int tab;                       // focus order; -1 for none
    const char* container;         // "" for the window itself
};

// 1440 twips an inch, through the screen's logical DPI: 15 twips a pixel at 96 DPI.
int TwipsToPixels(int twips, const QWidget* reference);

// Creates the controls of a table inside form, names them, places them and
// chains their focus order. Premade rows place a widget given by name in
// premade (the media players). Returns every control by name.
QHash<QString, QWidget*> BuildControls(QWidget* form, std::span<const ControlRow> rows,
                                       const QHash<QString, QWidget*>& premade = {});

// Gives the window a fixed client area of the given size in twips.
void SetClientSizeTwips(QWidget* form, int width, int height);

}  // namespace sundrel
