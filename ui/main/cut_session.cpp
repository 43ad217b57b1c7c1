// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_session.h"

#include <utility>

namespace sundrel {

WindowStage CutSession::stage() const
{
    if (!songLoaded_)
        return WindowStage::NoSong;
    if (reading_)
        return WindowStage::ReadingSong;
    if (!shown_)
        return WindowStage::SongLoaded;
    return shown_->Cut ? WindowStage::CutShown : WindowStage::StartMarked;
}

KeptGain CutSession::gain() const { return shown_ ? shown_->Request.Gain : KeptGain{}; }

void CutSession::chooseSong(bool loaded, bool reading)
{
    songLoaded_ = loaded;
    reading_ = loaded && reading;
    ++generation_;
    shown_.reset();
    waiting_.clear();
    history_.clear();
    at_ = shownAt_ = 0;
}

void CutSession::songRead() { reading_ = false; }

bool CutSession::deferred(std::function<void()> command)
{
    // Also behind what already waits, and while it runs: in the order asked.
    if (!cutting_ && waiting_.empty() && !runningWaiting_)
        return false;
    waiting_.push_back(std::move(command));
    return true;
}

void CutSession::runWaiting()
{
    if (runningWaiting_)
        return;
    runningWaiting_ = true;
    while (!cutting_ && !waiting_.empty()) {
        const std::function<void()> command = std::move(waiting_.front());
        waiting_.pop_front();
        command();
    }
    runningWaiting_ = false;
}

void CutSession::showed(const CutStep& step, StepCause cause)
{
    shown_ = step;
    // Undo and redo moved through the history when asked.
    if (cause == StepCause::Pressed || cause == StepCause::Changed) {
        if (!history_.empty())
            history_.resize(at_ + 1);
        history_.push_back(step);
        at_ = history_.size() - 1;
    }
    shownAt_ = at_;
}

void CutSession::refused() { at_ = shownAt_; }

std::optional<CutStep> CutSession::undo()
{
    if (at_ == 0 || at_ >= history_.size())
        return std::nullopt;
    return history_[--at_];
}

std::optional<CutStep> CutSession::redo()
{
    if (at_ + 1 >= history_.size())
        return std::nullopt;
    return history_[++at_];
}

}  // namespace sundrel
