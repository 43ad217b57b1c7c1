// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the main window stands with its song, and what the user asked of
// the ringtone: the one home of the window's state. It holds no files and
// no Qt: the window asks it what a command builds on and tells it what came
// of each cut, so that every rule here can be tried without a window.

#include "cut_request.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace sundrel {

enum class WindowStage {
    NoSong,       // nothing chosen, or nothing the player holds
    ReadingSong,  // its frames are being walked: no mark can become a place yet
    SongLoaded,   // ready for 开始
    StartMarked,  // a start stands alone: 结束 cuts from it
    CutShown,     // the kept file in place is the cut of the request shown
};

// What the window shows, and what a step of undo goes back to: a start
// alone (only Request.StartSeconds counts) or a cut.
struct CutStep {
    CutRequest Request;
    bool Cut = false;

    bool operator==(const CutStep&) const = default;
};

// How a step came to be asked: by 结束 (a new cut, said as such), by a
// change of the cut shown (a mark, a fade, the volume: cut again at once),
// or by going back and forth through the steps already shown.
enum class StepCause { Pressed, Changed, Undo, Redo };

class CutSession {
public:
    WindowStage stage() const;
    bool cutting() const { return cutting_; }

    // The step shown: the start marked, or the cut in place.
    const std::optional<CutStep>& shown() const { return shown_; }
    // The fades and volume a new cut from the start takes: the shown
    // cut's, until a new start or song.
    KeptGain gain() const;

    // A song chosen (or none: the player holds nothing); `reading` while
    // its frames are walked. Each choice begins a new history and a new
    // generation, which ends an older walk.
    void chooseSong(bool loaded, bool reading);
    void songRead();
    int songGeneration() const { return generation_; }

    // A cut under way. A command asked meanwhile (a key, a wheel turn, a
    // drop) waits for it and runs after it, in the order asked, each on the
    // step the one before left: none is lost, and none builds on a step
    // that is about to change.
    void beginCut() { cutting_ = true; }
    void endCut() { cutting_ = false; }
    // False when nothing is under way and nothing waits: the caller does
    // it now. The command given must not ask again through here.
    bool deferred(std::function<void()> command);
    // Runs what waited, in order, once the cut under way is over; called
    // again from a command it runs, it leaves the rest to the run going.
    void runWaiting();
    std::size_t waiting() const { return waiting_.size(); }

    // The step is on show now (its cut made, or a start marked): a new step
    // of the history, or the one undo or redo went to.
    void showed(const CutStep& step, StepCause cause);
    // A step that could not be shown (refused, or its cut failed): the
    // history is back at the step shown.
    void refused();
    // Nothing marked any more (a start the duration could not place).
    void clearShown() { shown_.reset(); }

    // A step back or forth through the history: the step to show now, its
    // place taken at once, so that a second press goes on from it.
    std::optional<CutStep> undo();
    std::optional<CutStep> redo();

private:
    bool songLoaded_ = false;
    bool reading_ = false;
    bool cutting_ = false;
    int generation_ = 0;
    std::optional<CutStep> shown_;
    std::deque<std::function<void()>> waiting_;
    bool runningWaiting_ = false;
    // The steps shown since the song was chosen; at_ is the one shown.
    std::vector<CutStep> history_;
    std::size_t at_ = 0;
    std::size_t shownAt_ = 0;
};

}  // namespace sundrel
