// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "peaks.h"
#include "song_analysis.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

namespace sundrel {

// Decodes a song in the background, once, with the analysis pass (libmpg123
// on a thread of its own), and keeps what it learns: the waveform's peaks,
// never the samples, then the beats and the chorus. The bins grow from the
// left as decoding goes on; progressed() says when there is more to see,
// analysed() when the chorus candidates are known. Destroying the decoder
// cancels the decoding and lets go of the file.
class PeakDecoder final : public QObject {
    Q_OBJECT

public:
    explicit PeakDecoder(const QString& path, QObject* parent = nullptr);
    ~PeakDecoder() override;
    PeakDecoder(const PeakDecoder&) = delete;
    PeakDecoder& operator=(const PeakDecoder&) = delete;

    // What has been decoded so far.
    const Peaks& peaks() const { return analysis_.peaks; }
    // Where a ringtone could start, best first; empty until analysed(), and
    // for a song that could not be decoded or is silent.
    const std::vector<ChorusCandidate>& candidates() const { return analysis_.Candidates; }
    // All that is known: peaks, beats, candidates.
    const SongAnalysis& analysis() const { return analysis_; }
    // The ringtone proposed from candidates()[candidate].
    Proposal proposal(std::size_t candidate, double lengthSeconds = kProposalSeconds) const
    {
        return ProposalFor(analysis_, candidate, lengthSeconds);
    }

signals:
    void progressed();
    void analysed();

private:
    struct Shared;

    void poll();

    // Filled on the worker thread; read here under its lock.
    std::shared_ptr<Shared> shared_;
    SongAnalysis analysis_;
    QTimer poll_;
    // Last, so that it is stopped and joined first when the decoder goes.
    std::jthread worker_;
};

}  // namespace sundrel
