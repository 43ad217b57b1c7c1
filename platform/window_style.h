// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What all four windows share in looks: the icon, the fonts, and the
// fixed-size frame with only a close button.

#include <Qt>

class QColor;
class QFont;
class QIcon;
class QPalette;
class QPushButton;
class QString;
class QWidget;

namespace sundrel {

QIcon SundrelIcon();

// How far two colours stand apart to the eye, from 1 to 21 to 1 (the ratio
// of their relative luminances, as WCAG measures it).
double ContrastRatio(const QColor& one, const QColor& other);
// A text colour of the design, on the palette's window ground: on a light
// ground the colour designed, as it always was; on a dark one (the desktop's
// dark theme) `onDark`, made lighter until it reads 4.5 to 1 against it.
QColor TextColourOn(const QPalette& palette, const QColor& designed, const QColor& onDark);

// "宋体" at a size in points; where it is not installed, the best Song-style
// Chinese font that is takes its place.
QFont SongFont(double points, bool bold = false, bool italic = false);

// The windows' default font: a Simplified Chinese system font of 9 points.
QFont DefaultFormFont();

// A named and titled top-level window with a fixed client area in twips and
// only a close button; extra adds flags such as Qt::Tool.
void MakeFixedWindow(QWidget* window, const char* name, const QString& title, int widthTwips, int heightTwips,
                     Qt::WindowFlags extra = {});

// Enter presses the focused button, or this one when no button has the
// focus: the default button of a window that is not a dialog.
void MakeDefaultButton(QPushButton* button);

void CentreOnScreen(QWidget* window);

// Moves a window that is not shown yet beside another one (to its right,
// its left, below or above it, the first that fits on the screen), so that
// it hides nothing of it; where none fits, where it hides the least.
void PlaceBeside(QWidget* window, const QWidget* other);

// Keeps a top-level window out of the taskbar on an EWMH window manager
// (_NET_WM_STATE_SKIP_TASKBAR), each time it is shown. Qt::Tool alone does
// that on Windows only; elsewhere this does nothing.
void KeepOutOfTaskbar(QWidget* window);

}  // namespace sundrel
