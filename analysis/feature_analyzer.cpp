// SPDX-License-Identifier: GPL-3.0-or-later
#include "feature_analyzer.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sundrel::analysis {

namespace {

// The rate the features are found at: enough for the notes (chroma up to
// 2.1 kHz) and the onsets of a song, a quarter of the work of 44.1 kHz.
constexpr double kAnalysisRate = 11025;
// The onset strength's step, as qm-dsp's beat tracker expects it: 512
// samples at 44.1 kHz.
constexpr double kOnsetStepSeconds = 512.0 / 44100.0;
// Chroma from C2 (65 Hz) to C7 (2.1 kHz); band energies from 60 Hz to 5 kHz.
constexpr double kChromaLowHz = 63;
constexpr double kChromaHighHz = 2150;
constexpr double kBandLowHz = 60;
constexpr double kBandHighHz = 5000;
// Mixed-down samples kept past what the frames still need before the
// buffer is compacted.
constexpr std::size_t kSlack = 16384;
// Decimated samples handed to the worker at once, and at most waiting for
// it (some 24 s of sound, 1 MB): the decoding waits beyond that.
constexpr std::size_t kHandOver = 4096;
constexpr std::size_t kQueueLimit = 262144;

std::vector<float> HannWindow(std::size_t length) {
    std::vector<float> window(length);
    for (std::size_t i = 0; i < length; ++i)
        window[i] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(length)));
    return window;
}

// A low-pass FIR for decimating by `factor`: a Hann-windowed sinc cut off at
// the lower rate's Nyquist frequency, its gain 1 at 0 Hz.
std::vector<float> DecimationTaps(int factor) {
    if (factor <= 1) return {1.0f};
    const int count = 8 * factor + 1;
    const double cutoff = 0.5 / factor;  // of the input rate
    const int middle = count / 2;
    std::vector<double> taps(std::size_t(count), 0.0);
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const double x = i - middle;
        const double sinc = x == 0 ? 2 * cutoff : std::sin(2 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
        const double hann = 0.5 + 0.5 * std::cos(std::numbers::pi * x / (middle + 1));
        taps[std::size_t(i)] = sinc * hann;
        sum += taps[std::size_t(i)];
    }
    std::vector<float> result(taps.size());
    for (std::size_t i = 0; i < taps.size(); ++i) result[i] = float(taps[i] / sum);
    return result;
}

}  // namespace

FeatureAnalyzer::FeatureAnalyzer(SoundFeatures& features) : features_(features) {}

FeatureAnalyzer::~FeatureAnalyzer() { stopWorker(); }

void FeatureAnalyzer::stopWorker() {
    if (!worker_.joinable()) return;
    {
        const std::lock_guard guard(lock_);
        ended_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void FeatureAnalyzer::initialise(int sampleRate, int channels) {
    stopWorker();
    rate_ = sampleRate;
    channels_ = channels;
    factor_ = std::max(1, int(std::lround(sampleRate / kAnalysisRate)));
    analysisRate_ = double(sampleRate) / factor_;
    taps_ = DecimationTaps(factor_);
    // The FIR is centred on each output: the first looks back into silence.
    const auto half = taps_.size() / 2;
    mono_.assign(half, 0.0f);
    monoFirst_ = -std::int64_t(half);
    nextOutput_ = 0;

    // Even, as qm-dsp's transform wants its half-rate frame of that length.
    onsetStep_ = 2 * std::size_t(std::lround(analysisRate_ * kOnsetStepSeconds / 2));
    // The onset strength is found at half the analysis rate (pairs of
    // samples averaged): the beats are in the drums and the bass, and
    // qm-dsp's detection function, which takes the phase of every bin, costs
    // half as much.
    const std::size_t onsetLength = onsetStep_;
    onsetFft_ = std::make_unique<RealFft<double>>(onsetLength);
    const std::vector<float> hann = HannWindow(onsetLength);
    onsetWindow_.assign(hann.begin(), hann.end());
    onsetReal_.assign(onsetLength / 2 + 1, 0.0);
    onsetImag_.assign(onsetLength / 2 + 1, 0.0);
    DFConfig config{};
    config.stepSize = unsigned(onsetStep_ / 2);
    config.frameLength = unsigned(onsetLength);
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1;
    config.whiteningFloor = -1;
    detection_ = std::make_unique<DetectionFunction>(config);

    const std::size_t spectralLength = analysisRate_ < 14000 ? 4096 : 8192;
    spectralHop_ = spectralLength / 2;
    spectralFft_ = std::make_unique<RealFft<float>>(spectralLength);
    spectralWindow_ = HannWindow(spectralLength);
    binPitchClass_.assign(spectralLength / 2 + 1, -1);
    binBand_.assign(spectralLength / 2 + 1, -1);
    const double bandTop = std::min(kBandHighHz, 0.45 * analysisRate_);
    for (std::size_t k = 1; k <= spectralLength / 2; ++k) {
        const double hz = double(k) * analysisRate_ / double(spectralLength);
        if (hz >= kChromaLowHz && hz <= kChromaHighHz) {
            const long midi = std::lround(69 + 12 * std::log2(hz / 440.0));
            binPitchClass_[k] = std::int8_t(midi % 12);
        }
        if (hz >= kBandLowHz && hz < bandTop) {
            const double where = std::log(hz / kBandLowHz) / std::log(bandTop / kBandLowHz);
            binBand_[k] =
                std::int8_t(std::min<double>(SoundFeatures::kBands - 1, std::floor(where * SoundFeatures::kBands)));
        }
    }

    signal_.clear();
    signalFirst_ = 0;
    nextOnsetFrame_ = 0;
    nextSpectralFrame_ = 0;
    features_ = SoundFeatures{};
    features_.frameSeconds = double(spectralHop_) / analysisRate_;
    features_.firstFrameSeconds = double(spectralLength / 2) / analysisRate_;
    features_.onsetStepSeconds = double(onsetStep_) / analysisRate_;
    features_.onsetFirstSeconds = double(onsetStep_) / analysisRate_;
    decimated_.clear();
    queued_.clear();
    ended_ = false;
    broken_ = false;
    worker_ = std::thread([this] { work(); });
}

void FeatureAnalyzer::process(const float* samples, std::size_t frames) {
    const std::size_t before = mono_.size();
    mono_.resize(before + frames);
    const float scale = 1.0f / float(channels_);
    for (std::size_t i = 0; i < frames; ++i) {
        float sum = 0;
        for (int c = 0; c < channels_; ++c) sum += samples[i * std::size_t(channels_) + std::size_t(c)];
        mono_[before + i] = sum * scale;
    }
    inputFrames_ += frames;
    decimate(false);
    if (decimated_.size() >= kHandOver) handOver(false);
}

void FeatureAnalyzer::handOver(bool end) {
    {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return queued_.size() < kQueueLimit; });
        queued_.insert(queued_.end(), decimated_.begin(), decimated_.end());
        ended_ = ended_ || end;
    }
    changed_.notify_all();
    decimated_.clear();
}

void FeatureAnalyzer::work() {
    std::vector<float> taken;
    for (bool end = false; !end;) {
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return !queued_.empty() || ended_; });
            taken.swap(queued_);
            end = ended_;
        }
        changed_.notify_all();
        if (broken_) continue;
        try {
            signal_.insert(signal_.end(), taken.begin(), taken.end());
            taken.clear();
            analyse();
        } catch (...) {
            // Out of memory: the features end here, the queue is still drained.
            broken_ = true;
        }
    }
}

void FeatureAnalyzer::decimate(bool flush) {
    // mono_[0] is input sample monoFirst_ (negative at first: the silence
    // before the song). Output n is centred on input sample n * factor_ and
    // reads `half` samples either side of it.
    const std::size_t count = taps_.size();
    const auto half = std::int64_t(count / 2);
    const auto factor = std::int64_t(factor_);
    if (flush) mono_.resize(mono_.size() + std::size_t(half), 0.0f);
    const std::int64_t available = monoFirst_ + std::int64_t(mono_.size());
    const float* taps = taps_.data();
    for (;; ++nextOutput_) {
        const std::int64_t centre = std::int64_t(nextOutput_) * factor;
        if (centre + half >= available || (flush && centre >= std::int64_t(inputFrames_))) break;
        const float* from = mono_.data() + (centre - half - monoFirst_);
        float a = 0, b = 0, c = 0, d = 0;
        std::size_t k = 0;
        for (; k + 4 <= count; k += 4) {
            a += taps[k] * from[k];
            b += taps[k + 1] * from[k + 1];
            c += taps[k + 2] * from[k + 2];
            d += taps[k + 3] * from[k + 3];
        }
        for (; k < count; ++k) a += taps[k] * from[k];
        decimated_.push_back((a + b) + (c + d));
    }
    const std::int64_t keepFrom = std::int64_t(nextOutput_) * factor - half;
    if (keepFrom > monoFirst_ + std::int64_t(kSlack)) {
        mono_.erase(mono_.begin(), mono_.begin() + (keepFrom - monoFirst_));
        monoFirst_ = keepFrom;
    }
}

void FeatureAnalyzer::analyse() {
    const std::size_t onsetLength = 2 * onsetStep_;
    const std::size_t spectralLength = spectralFft_->length();
    const std::uint64_t available = signalFirst_ + signal_.size();
    while (nextOnsetFrame_ * onsetStep_ + onsetLength <= available) {
        onsetFrame(signal_.data() + (nextOnsetFrame_ * onsetStep_ - signalFirst_));
        ++nextOnsetFrame_;
    }
    while (nextSpectralFrame_ * spectralHop_ + spectralLength <= available) {
        spectralFrame(signal_.data() + (nextSpectralFrame_ * spectralHop_ - signalFirst_));
        ++nextSpectralFrame_;
    }
    const std::uint64_t keepFrom = std::min(nextOnsetFrame_ * onsetStep_, nextSpectralFrame_ * spectralHop_);
    if (keepFrom > signalFirst_ + kSlack) {
        signal_.erase(signal_.begin(), signal_.begin() + std::ptrdiff_t(keepFrom - signalFirst_));
        signalFirst_ = keepFrom;
    }
}

void FeatureAnalyzer::onsetFrame(const float* samples) {
    const std::size_t length = onsetFft_->length();
    double* in = onsetFft_->input();
    for (std::size_t i = 0; i < length; ++i)
        in[i] = 0.5 * (double(samples[2 * i]) + samples[2 * i + 1]) * onsetWindow_[i];
    onsetFft_->run();
    const fftw_complex* out = onsetFft_->output();
    for (std::size_t k = 0; k < onsetReal_.size(); ++k) {
        onsetReal_[k] = out[k][0];
        onsetImag_[k] = out[k][1];
    }
    features_.onset.push_back(detection_->processFrequencyDomain(onsetReal_.data(), onsetImag_.data()));
}

void FeatureAnalyzer::spectralFrame(const float* samples) {
    const std::size_t length = spectralFft_->length();
    float* in = spectralFft_->input();
    double squares = 0;
    for (std::size_t i = 0; i < length; ++i) {
        squares += double(samples[i]) * samples[i];
        in[i] = samples[i] * spectralWindow_[i];
    }
    spectralFft_->run();
    const fftwf_complex* out = spectralFft_->output();
    SoundFeatures::Chroma chroma{};
    SoundFeatures::Bands bands{};
    for (std::size_t k = 1; k < binBand_.size(); ++k) {
        const std::int8_t pitchClass = binPitchClass_[k];
        const std::int8_t band = binBand_[k];
        if (pitchClass < 0 && band < 0) continue;
        const float power = out[k][0] * out[k][0] + out[k][1] * out[k][1];
        if (pitchClass >= 0) chroma[std::size_t(pitchClass)] += power;
        if (band >= 0) bands[std::size_t(band)] += power;
    }
    for (float& band : bands) band = std::log10(band + 1e-9f);
    features_.chroma.push_back(chroma);
    features_.bands.push_back(bands);
    const double meanSquare = squares / double(length);
    features_.loudnessDb.push_back(meanSquare > 1e-10 ? float(10 * std::log10(meanSquare)) : -100.0f);
}

void FeatureAnalyzer::finalise() {
    if (rate_ <= 0 || !worker_.joinable()) return;
    decimate(true);
    // The last frames reach past the end into silence.
    const std::uint64_t real = nextOutput_;
    const std::uint64_t onsetEnd = (real + onsetStep_ - 1) / onsetStep_ * onsetStep_ + onsetStep_;
    const std::uint64_t spectralEnd =
        (real + spectralHop_ - 1) / spectralHop_ * spectralHop_ + (spectralFft_->length() - spectralHop_);
    decimated_.resize(decimated_.size() + std::size_t(std::max(onsetEnd, spectralEnd) - real), 0.0f);
    handOver(true);
    worker_.join();
    features_.seconds = double(inputFrames_) / rate_;
    signal_ = {};
    mono_ = {};
    decimated_ = {};
}

namespace {

// qm-dsp's tracker over onset values [from, to): the beats, as indices of
// those values.
std::vector<double> TrackPart(const std::vector<double>& onset, std::size_t from, std::size_t to, double rate) {
    std::vector<double> part(onset.begin() + std::ptrdiff_t(from), onset.begin() + std::ptrdiff_t(to));
    std::vector<double> periods(part.size(), 0.0);
    std::vector<double> tempi;
    TempoTrackV2 tracker(float(rate), 1);
    tracker.calculateBeatPeriod(part, periods, tempi);
    std::vector<double> at;
    tracker.calculateBeats(part, periods, at);
    for (double& value : at) value += double(from);
    return at;
}

}  // namespace

std::vector<double> TrackBeats(const SoundFeatures& features) {
    // What qm-dsp's own beat tracker does: the first two values are left
    // out (an onset at the very start is no beat), and so is the silence at
    // the end. Its tempo window is 512 values (6 s) long.
    std::size_t end = features.onset.size();
    while (end > 0 && !(features.onset[end - 1] > 0)) --end;
    constexpr std::size_t kSkip = 2;
    if (end < kSkip + 900 || !(features.onsetStepSeconds > 0)) return {};
    const std::vector<double> onset(features.onset.begin() + kSkip, features.onset.begin() + std::ptrdiff_t(end));
    const double rate = 1.0 / features.onsetStepSeconds;
    const std::size_t n = onset.size();
    // The tracker's time grows with the song and is spent after the song
    // has been decoded, where the proposal waits for it: a song over a
    // minute and a half is tracked in two halves at once, on two cores,
    // which overlap by 24 s and are joined in its middle, where both
    // halves have settled on the beat.
    constexpr std::size_t kOverlap = 2048;
    std::vector<double> at;
    if (n < 4 * kOverlap) {
        at = TrackPart(onset, 0, n, rate);
    } else {
        const std::size_t middle = n / 2;
        std::vector<double> first;
        std::thread other([&] { first = TrackPart(onset, 0, middle + kOverlap / 2, rate); });
        const std::vector<double> second = TrackPart(onset, middle - kOverlap / 2, n, rate);
        other.join();
        for (const double value : first)
            if (value < double(middle)) at.push_back(value);
        // The second half's beats from where the first's would come next.
        const double period = at.size() > 1 ? (at.back() - at.front()) / double(at.size() - 1) : 0;
        for (const double value : second)
            if (value >= double(middle) && (at.empty() || value - at.back() > 0.5 * period)) at.push_back(value);
    }
    std::vector<double> beats;
    beats.reserve(at.size());
    for (const double value : at)
        beats.push_back(features.onsetFirstSeconds + (value + double(kSkip)) * features.onsetStepSeconds);
    return beats;
}

}  // namespace sundrel::analysis
