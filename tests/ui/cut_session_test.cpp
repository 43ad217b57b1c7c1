// SPDX-License-Identifier: GPL-3.0-or-later
// The window's state without a window: where it stands, what it shows,
// where undo and redo go, and commands that wait for a cut.

#include "cut_session.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace sundrel;

namespace {

CutStep Start(double s) { return {{s, 0, {}}, false}; }
CutStep Cut(double s, double e, double fadeOut = 0) { return {{s, e, {0, fadeOut, 0}}, true}; }

// One thing done to the session: a step shown, refused, undone, redone.
struct Op {
    enum Kind { Show, Undo, UndoRefused, Redo, Choose } kind;
    CutStep step{};
    StepCause cause = StepCause::Changed;
};

Op Shows(CutStep step, StepCause cause = StepCause::Changed) { return {Op::Show, step, cause}; }

struct Case {
    const char* name;
    std::vector<Op> ops;
    WindowStage stage;
    std::optional<CutStep> shown;
    std::optional<CutStep> undoGoesTo;
    std::optional<CutStep> redoGoesTo;
};

void Apply(CutSession& session, const std::vector<Op>& ops)
{
    for (const Op& op : ops) {
        switch (op.kind) {
            case Op::Show:
                session.showed(op.step, op.cause);
                break;
            // The step undo points at could not be shown: its cut refused.
            case Op::UndoRefused:
                session.undo();
                session.refused();
                break;
            // As the window does: the step undo or redo points at is shown.
            case Op::Undo:
                if (const auto step = session.undo())
                    session.showed(*step, StepCause::Undo);
                break;
            case Op::Redo:
                if (const auto step = session.redo())
                    session.showed(*step, StepCause::Redo);
                break;
            case Op::Choose:
                session.chooseSong(true, false);
                break;
        }
    }
}

TEST(CutSession, StepsUndoAndRedo)
{
    const Op undo{Op::Undo}, redo{Op::Redo}, undoRefused{Op::UndoRefused}, choose{Op::Choose};
    const Case cases[] = {
        {"a song loaded", {}, WindowStage::SongLoaded, std::nullopt, std::nullopt, std::nullopt},
        {"start marked", {Shows(Start(3))}, WindowStage::StartMarked, Start(3), std::nullopt, std::nullopt},
        {"cut shown", {Shows(Start(3)), Shows(Cut(3, 5))}, WindowStage::CutShown, Cut(3, 5), Start(3), std::nullopt},
        {"undo of a cut goes back to its start alone",
         {Shows(Start(3)), Shows(Cut(3, 5)), undo},
         WindowStage::StartMarked,
         Start(3),
         std::nullopt,
         Cut(3, 5)},
        {"a new start after a cut: undo gives the cut back, fades and all",
         {Shows(Start(3)), Shows(Cut(3, 5, 1)), Shows(Start(8), StepCause::Pressed), undo},
         WindowStage::CutShown,
         Cut(3, 5, 1),
         Start(3),
         Start(8)},
        {"two undos and a redo",
         {Shows(Start(3)), Shows(Cut(3, 5)), Shows(Cut(3, 6)), Shows(Cut(3, 7)), undo, undo, redo},
         WindowStage::CutShown,
         Cut(3, 6),
         Cut(3, 5),
         Cut(3, 7)},
        {"a change after undo drops what redo had",
         {Shows(Start(3)), Shows(Cut(3, 5)), Shows(Cut(3, 6)), undo, Shows(Cut(4, 5))},
         WindowStage::CutShown,
         Cut(4, 5),
         Cut(3, 5),
         std::nullopt},
        {"an undo whose cut is refused leaves the history where it was",
         {Shows(Start(3)), Shows(Cut(3, 5)), Shows(Cut(3, 6)), undoRefused},
         WindowStage::CutShown,
         Cut(3, 6),
         Cut(3, 5),
         std::nullopt},
        {"undo at the first step stays there",
         {Shows(Start(3)), undo, undo},
         WindowStage::StartMarked,
         Start(3),
         std::nullopt,
         std::nullopt},
        {"another song forgets the steps",
         {Shows(Start(3)), Shows(Cut(3, 5)), choose},
         WindowStage::SongLoaded,
         std::nullopt,
         std::nullopt,
         std::nullopt},
    };
    for (const Case& c : cases) {
        CutSession session;
        session.chooseSong(true, false);
        Apply(session, c.ops);
        EXPECT_EQ(session.stage(), c.stage) << c.name;
        EXPECT_EQ(session.shown(), c.shown) << c.name;
        CutSession probe = session;
        EXPECT_EQ(probe.undo(), c.undoGoesTo) << c.name;
        probe = session;
        EXPECT_EQ(probe.redo(), c.redoGoesTo) << c.name;
    }
}

TEST(CutSession, CommandsDuringACutRunAfterItInOrder)
{
    CutSession session;
    session.chooseSong(true, false);
    std::string ran;
    // Nothing under way: done at once by the caller.
    EXPECT_FALSE(session.deferred([&] { ran += 'x'; }));
    session.beginCut();
    for (const char c : std::string("abc"))
        EXPECT_TRUE(session.deferred([&ran, c] { ran += c; }));
    // A command that cuts: what arrives during its cut waits behind the rest.
    EXPECT_TRUE(session.deferred([&] {
        session.beginCut();
        EXPECT_TRUE(session.deferred([&] { ran += 'e'; }));
        session.endCut();
        ran += 'd';
        session.runWaiting();  // as the cut path does: the run going takes it
    }));
    session.runWaiting();  // still cutting: nothing runs yet
    EXPECT_EQ(ran, "");
    session.endCut();
    session.runWaiting();
    EXPECT_EQ(ran, "abcde");
    EXPECT_EQ(session.waiting(), 0u);
}

}  // namespace
