// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analyzer.h"
#include "real_fft.h"
#include "sound_features.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class DetectionFunction;

namespace sundrel::analysis {

// The sound's musical features: the song mixed down to one channel and
// brought down to about 11 kHz (a quarter of 44.1 kHz), then, frame by
// frame, its onset strength (qm-dsp's detection function on FFTW's spectra)
// and its chroma, band energies and loudness. The beats are found from the
// onset strength once the song has ended.
class FeatureAnalyzer final : public Analyzer {
public:
    explicit FeatureAnalyzer(SoundFeatures& features);
    ~FeatureAnalyzer() override;
    FeatureAnalyzer(const FeatureAnalyzer&) = delete;
    FeatureAnalyzer& operator=(const FeatureAnalyzer&) = delete;

    void initialise(int sampleRate, int channels) override;
    void process(const float* samples, std::size_t frames) override;
    void finalise() override;

private:
    void decimate(bool flush);
    void handOver(bool end);
    void work();
    void stopWorker();
    void analyse();
    void onsetFrame(const float* samples);
    void spectralFrame(const float* samples);

    SoundFeatures& features_;
    int channels_ = 0;
    int rate_ = 0;
    std::uint64_t inputFrames_ = 0;

    // Decimation: every factor_-th output of a low-pass FIR over the mono mix.
    int factor_ = 1;
    double analysisRate_ = 0;
    std::vector<float> taps_;
    std::vector<float> mono_;  // the mix, from sample monoFirst_ on
    std::int64_t monoFirst_ = 0;
    std::uint64_t nextOutput_ = 0;  // the next decimated sample's index

    // Decimated on the decoding thread, not yet handed over.
    std::vector<float> decimated_;
    // Handed over to the worker, which takes all there is at a time.
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<float> queued_;
    bool ended_ = false;
    bool broken_ = false;  // the worker's own
    std::thread worker_;

    // The worker's own: the decimated sound, from sample signalFirst_ on,
    // until every frame that holds a sample has used it.
    std::vector<float> signal_;
    std::uint64_t signalFirst_ = 0;
    std::uint64_t nextOnsetFrame_ = 0;
    std::uint64_t nextSpectralFrame_ = 0;

    std::size_t onsetStep_ = 0;
    std::unique_ptr<RealFft<double>> onsetFft_;
    std::vector<double> onsetWindow_, onsetReal_, onsetImag_;
    std::unique_ptr<DetectionFunction> detection_;

    std::size_t spectralHop_ = 0;
    std::unique_ptr<RealFft<float>> spectralFft_;
    std::vector<float> spectralWindow_;
    // For each FFT bin: its pitch class (or -1) and band (or -1).
    std::vector<std::int8_t> binPitchClass_, binBand_;
};

// Beats found by qm-dsp's TempoTrackV2 in the onset strength, in seconds
// (some 30 ms of work a minute of song, which is why it is left until the
// song is known to have been decoded whole). Too short a song (under about
// 10 s) has none.
std::vector<double> TrackBeats(const SoundFeatures& features);

}  // namespace sundrel::analysis
