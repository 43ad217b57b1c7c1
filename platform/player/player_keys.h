// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every key of the player's waveform, in one table: which key, what it does
// and the line the waveform's tooltip gives it. The waveform takes its keys
// from here, and its tooltip is made from here.

#include <QKeyCombination>
#include <QString>

#include <array>
#include <span>

class QKeyEvent;

namespace sundrel {

enum class KeyAction {
    Seek,           // by Amount seconds
    SeekFrames,     // by Amount frames
    SeekToEnd,      // Amount 0: the beginning, 1: the end
    Zoom,           // Amount steps in (negative: out), around the position
    ZoomWhole,      // the whole song again
    MoveStart,      // the start mark by Amount frames
    MoveStartFine,  // ... by Amount seconds
    MoveEnd,
    MoveEndFine,
    FadeIn,  // Amount steps longer (negative: shorter)
    FadeOut,
    Volume,  // Amount steps louder
    Undo,
    Redo,
    TypeStart,  // type where the start lies
    TypeEnd,
    PlayPause,
    Loop,          // the selection played in a loop, or the loop stopped
    TakeProposal,  // the proposed ringtone cut; again, the next one
    Length,        // the selection (or the proposal) Amount seconds long
};

struct KeyRow {
    KeyAction Action;
    double Amount;
    // Up to two keys; the second may be none (Qt::Key_unknown).
    std::array<QKeyCombination, 2> Keys;
    // Its line of the tooltip; empty when the row before says it for both.
    const char* Tip;
};

std::span<const KeyRow> PlayerKeys();
// The row of a key pressed; nothing for a key that is none of them.
const KeyRow* FindPlayerKey(const QKeyEvent& event);
// The waveform's tooltip: how the mouse works, then one line a row.
QString PlayerKeysTip();

}  // namespace sundrel
