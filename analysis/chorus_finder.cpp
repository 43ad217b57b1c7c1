// SPDX-License-Identifier: GPL-3.0-or-later
#include "chorus_finder.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace sundrel::analysis {

namespace {

// Beats of a bar, and the span of music compared at once: four bars, the
// length of a phrase of most songs, over which a section sounds alike.
constexpr int kBar = 4;
constexpr int kSpan = 4 * kBar;
// A section repeats when the music at two places is more alike than this
// share of all pairs of places in the song.
constexpr double kRepeatQuantile = 0.9;
// The longest stretch scored as one section: eight bars.
// Two places play the same section only when they lie a section apart at
// least: within eight bars, a section repeating its own phrase, or a part
// that keeps one sound throughout (a loud bridge), is no repetition.
constexpr std::size_t kShortestLag = 8 * kBar;
// How much more alike a repetition is than the same music a beat and a
// half out of step.
constexpr std::size_t kOffBeat = 3;
constexpr float kStandOut = 0.05f;
constexpr double kLeastSpread = 0.03;
// Beats of one song whose chroma are this alike on average hold one chord.
constexpr double kOneChord = 0.95;
constexpr double kFallbackBeatSeconds = 0.5;

struct BeatFeatures {
    std::vector<double> starts;  // seconds; one more than there are beats (the end)
    std::vector<std::array<float, 12>> chroma;
    std::vector<std::array<float, SoundFeatures::kBands>> timbre;
    std::vector<float> loudnessDb;
    std::size_t size() const { return chroma.size(); }
};

// To length 1; a vector shorter than `least` is only divided by `least`,
// so that what is next to nothing stays so.
template <std::size_t N>
void Normalise(std::array<float, N>& v, double least = 1e-6) {
    double sum = 0;
    for (float x : v) sum += double(x) * x;
    const float scale = float(1.0 / std::max(least, std::sqrt(sum)));
    for (float& x : v) x *= scale;
}

template <std::size_t N>
float Dot(const std::array<float, N>& a, const std::array<float, N>& b) {
    float sum = 0;
    for (std::size_t i = 0; i < N; ++i) sum += a[i] * b[i];
    return sum;
}

// The beats the features are summed over; a steady grid when the tracker
// found none (no beat in the sound, or a song too short).
std::vector<double> BeatGrid(const SoundFeatures& features) {
    std::vector<double> grid = features.beats;
    if (grid.size() < 2 * kSpan) {
        grid.clear();
        for (double at = 0; at < features.seconds; at += kFallbackBeatSeconds) grid.push_back(at);
    }
    grid.push_back(features.seconds);
    return grid;
}

BeatFeatures SumOverBeats(const SoundFeatures& features) {
    BeatFeatures beats;
    beats.starts = BeatGrid(features);
    const std::size_t count = beats.starts.size() - 1;
    const std::size_t frames = features.chroma.size();
    if (frames == 0 || count == 0) return beats;
    beats.chroma.assign(count, {});
    beats.timbre.assign(count, {});
    beats.loudnessDb.assign(count, -100.0f);
    const auto frameAt = [&](double seconds) {
        const double at = std::round((seconds - features.firstFrameSeconds) / features.frameSeconds);
        return std::size_t(std::clamp(at, 0.0, double(frames - 1)));
    };
    for (std::size_t b = 0; b < count; ++b) {
        const std::size_t from = frameAt(beats.starts[b]);
        const std::size_t to = std::max(from + 1, frameAt(beats.starts[b + 1]));
        double power = 0;
        for (std::size_t f = from; f < to && f < frames; ++f) {
            for (std::size_t k = 0; k < 12; ++k) beats.chroma[b][k] += features.chroma[f][k];
            for (std::size_t k = 0; k < SoundFeatures::kBands; ++k) beats.timbre[b][k] += features.bands[f][k];
            power += std::pow(10.0, features.loudnessDb[f] / 10.0);
        }
        const double n = double(std::min(to, frames) - from);
        beats.loudnessDb[b] = power > 0 ? float(10 * std::log10(power / n)) : -100.0f;
        // Chroma compressed as the ear hears it, then only its shape kept.
        float top = *std::max_element(beats.chroma[b].begin(), beats.chroma[b].end());
        for (float& x : beats.chroma[b]) x = top > 0 ? std::log1p(100.0f * x / top) : 0.0f;
        Normalise(beats.chroma[b]);
        // Timbre: the shape of the spectrum, not its level.
        float mean = 0;
        for (float& x : beats.timbre[b]) mean += (x /= float(n));
        mean /= float(SoundFeatures::kBands);
        for (float& x : beats.timbre[b]) x -= mean;
    }
    // Each band measured against its own spread over the song.
    for (std::size_t k = 0; k < SoundFeatures::kBands; ++k) {
        double sum = 0, squares = 0;
        for (const auto& t : beats.timbre) {
            sum += t[k];
            squares += double(t[k]) * t[k];
        }
        const double mean = sum / double(count);
        // At least 1 dB: a band that stays put (a steady tone) is not made
        // to tell its coding noise as if it were a change of sound.
        const double spread = std::sqrt(std::max(0.01, squares / double(count) - mean * mean));
        for (auto& t : beats.timbre) t[k] = float((t[k] - mean) / spread);
    }
    for (auto& t : beats.timbre) Normalise(t, 1.0);
    return beats;
}

// A sound with one chord from end to end (a tone, a drone) has no
// sections, whatever its coding noise may suggest.
bool OneChordThroughout(const BeatFeatures& beats) {
    double sum = 0;
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < beats.size(); i += 2)
        for (std::size_t j = i + 1; j < beats.size(); j += 2, ++pairs) sum += Dot(beats.chroma[i], beats.chroma[j]);
    return pairs > 0 && sum / double(pairs) > kOneChord;
}

// How alike beats i and j sound: in harmony and in timbre together.
float Alike(const BeatFeatures& beats, std::size_t i, std::size_t j) {
    return Dot(beats.chroma[i], beats.chroma[j]) * std::max(0.0f, Dot(beats.timbre[i], beats.timbre[j]));
}

// Foote's novelty: a checkerboard kernel (tapered by a Gaussian) slid along
// the diagonal, high where the music before a beat is unlike the music after
// it. Only the band of similarities the kernel reaches is worked out.
std::vector<float> Novelty(const BeatFeatures& beats) {
    const std::size_t n = beats.size();
    const int half = kSpan;
    const int width = 2 * half;  // |i - j| < width within the kernel
    std::vector<float> band(n * std::size_t(2 * width + 1), 0.0f);
    const auto at = [&](long i, long j) -> float& {
        return band[std::size_t(i) * std::size_t(2 * width + 1) + std::size_t(j - i + width)];
    };
    for (long i = 0; i < long(n); ++i)
        for (long j = std::max(0L, i - width); j <= std::min(long(n) - 1, i + width); ++j)
            at(i, j) = Alike(beats, std::size_t(i), std::size_t(j));
    std::vector<double> taper(std::size_t(2 * half));
    for (int a = -half; a < half; ++a)
        taper[std::size_t(a + half)] = std::exp(-0.5 * std::pow((a + 0.5) / (0.5 * half), 2));
    std::vector<float> novelty(n, 0.0f);
    for (long c = 0; c < long(n); ++c) {
        double sum = 0, weights = 0;
        for (int a = -half; a < half; ++a)
            for (int b = -half; b < half; ++b) {
                const long i = c + a, j = c + b;
                if (i < 0 || j < 0 || i >= long(n) || j >= long(n)) continue;
                const double weight = taper[std::size_t(a + half)] * taper[std::size_t(b + half)];
                sum += ((a < 0) == (b < 0) ? weight : -weight) * at(i, j);
                weights += weight;
            }
        novelty[std::size_t(c)] = weights > 0 ? float(std::max(0.0, sum / weights)) : 0.0f;
    }
    return novelty;
}

// One diagonal of the similarity, `lag` beats off the main one, four bars
// of it averaged around each beat t >= lag (a stripe, not a chance match);
// 0 before the lag.
void Stripes(const BeatFeatures& beats, std::size_t lag, std::vector<float>& row, std::vector<double>& sums) {
    const std::size_t n = beats.size();
    row.assign(n, 0.0f);
    sums.assign(n + 1, 0.0);
    for (std::size_t i = lag; i < n; ++i) sums[i + 1] = sums[i] + Alike(beats, i, i - lag);
    for (std::size_t t = lag; t < n; ++t) {
        const std::size_t from = std::max(lag, t - std::min(t, std::size_t(kSpan / 2)));
        const std::size_t to = std::min(n, t + kSpan / 2);
        row[t] = float((sums[to] - sums[from]) / double(to - from));
    }
}

// Of every beat, how many other places in the song play the same music:
// along each diagonal of the similarity (each lag), the four-bar stretches
// alike beyond the song's own threshold, counted once per lag at its peak.
// The diagonals are worked out twice rather than kept: a 10-minute song
// has some 1,300 beats, whose whole table would take 7 MB.
std::vector<float> Repetition(const BeatFeatures& beats) {
    const std::size_t n = beats.size();
    std::vector<float> count(n, 0.0f);
    if (n < kShortestLag + 2 * kSpan) return count;
    std::vector<float> row;
    std::vector<double> sums;
    // The song's threshold: the share kRepeatQuantile of all stripes, from
    // a histogram of them (all lie between 0 and 1).
    constexpr std::size_t kBins = 4096;
    std::vector<std::size_t> histogram(kBins, 0);
    double total = 0, squares = 0;
    std::size_t values = 0;
    for (std::size_t lag = kShortestLag; lag < n; ++lag) {
        Stripes(beats, lag, row, sums);
        for (std::size_t t = lag; t < n; ++t) {
            const float v = std::clamp(row[t], 0.0f, 1.0f);
            ++histogram[std::min(kBins - 1, std::size_t(v * float(kBins)))];
            total += v;
            squares += double(v) * v;
            ++values;
        }
    }
    if (values < 16) return count;
    const double mean = total / double(values);
    const double spread = std::sqrt(std::max(0.0, squares / double(values) - mean * mean));
    float threshold = 1.0f;
    for (std::size_t b = 0, seen = 0; b < kBins; ++b) {
        seen += histogram[b];
        if (double(seen) >= kRepeatQuantile * double(values)) {
            threshold = float(b + 1) / float(kBins);
            break;
        }
    }
    // A sound alike everywhere (a tone) has no stripes to find: what
    // differs between its places is coding noise.
    if (spread < kLeastSpread || threshold - float(mean) < 0.02f) return count;

    // The diagonals kOffBeat either side of the one looked at, in a ring.
    constexpr std::size_t kRing = 2 * kOffBeat + 1;
    std::vector<std::vector<float>> ring(kRing);
    const auto diagonal = [&](std::size_t lag) -> const std::vector<float>& { return ring[lag % kRing]; };
    for (std::size_t lag = kShortestLag; lag < std::min(n, kShortestLag + kOffBeat); ++lag)
        Stripes(beats, lag, ring[lag % kRing], sums);
    for (std::size_t lag = kShortestLag; lag < n; ++lag) {
        if (lag + kOffBeat < n) Stripes(beats, lag + kOffBeat, ring[(lag + kOffBeat) % kRing], sums);
        const std::vector<float>& d = diagonal(lag);
        for (std::size_t t = lag; t < n; ++t) {
            const float v = d[t];
            if (v <= threshold) continue;
            const float below = lag > kShortestLag ? diagonal(lag - 1)[t] : 0.0f;
            const float above = lag + 1 < n ? diagonal(lag + 1)[t] : 0.0f;
            if (v < below || v < above) continue;
            // A stripe stands out from the lags beside it, where the same
            // music is heard out of step; a sound alike throughout (noise,
            // a drone) is alike at every lag and repeats nothing.
            const float aside = 0.5f * ((lag >= kShortestLag + kOffBeat ? diagonal(lag - kOffBeat)[t] : v) +
                                        (lag + kOffBeat < n ? diagonal(lag + kOffBeat)[t] : v));
            if (v - aside < kStandOut) continue;
            count[t] += 1;
            count[t - lag] += 1;
        }
    }
    return count;
}

std::vector<float> Smooth(const std::vector<float>& v, int radius) {
    std::vector<float> out(v.size(), 0.0f);
    for (std::size_t i = 0; i < v.size(); ++i) {
        double sum = 0;
        int m = 0;
        for (int k = -radius; k <= radius; ++k) {
            const long j = long(i) + k;
            if (j >= 0 && j < long(v.size())) {
                sum += v[std::size_t(j)];
                ++m;
            }
        }
        out[i] = float(sum / m);
    }
    return out;
}

// How full each beat sounds, 0 (the quietest tenth) to 1 (the loudest).
std::vector<float> Fullness(const BeatFeatures& beats) {
    std::vector<float> sorted = beats.loudnessDb;
    std::sort(sorted.begin(), sorted.end());
    const float low = sorted[sorted.size() / 10];
    const float high = sorted[sorted.size() - 1 - sorted.size() / 20];
    std::vector<float> full(beats.size());
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const float x = high > low ? (beats.loudnessDb[i] - low) / (high - low) : 1.0f;
        full[i] = std::clamp(x, 0.0f, 1.0f);
    }
    return Smooth(full, kBar / 2);
}

struct Section {
    std::size_t start = 0, end = 0;
    double score = 0;
};

std::vector<ChorusCandidate> LoudestStretch(const BeatFeatures& beats, double seconds) {
    const std::size_t n = beats.size();
    const float loudest = *std::max_element(beats.loudnessDb.begin(), beats.loudnessDb.end());
    if (loudest <= -90.0f) return {};
    const auto span = std::size_t(std::max<long>(1, std::lround(double(n) * std::min(1.0, 20.0 / seconds))));
    double best = -1e30, sum = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += beats.loudnessDb[i];
        if (i >= span) sum -= beats.loudnessDb[i - span];
        if (i + 1 >= span && sum > best) {
            best = sum;
            at = i + 1 - span;
        }
    }
    return {{beats.starts[at], beats.starts[std::min(at + span, n)], 0.1}};
}

// Repetition as a share of what most repeated beats have: 1 for the top
// tenth of the song.
std::vector<float> Scaled(const std::vector<float>& count) {
    std::vector<float> sorted = count;
    std::sort(sorted.begin(), sorted.end());
    const float high = sorted[sorted.size() * 9 / 10];
    std::vector<float> out(count.size(), 0.0f);
    if (high > 0)
        for (std::size_t i = 0; i < count.size(); ++i) out[i] = std::min(1.0f, count[i] / high);
    return Smooth(out, 1);
}

// The stretches of the song that are clearly more chorus-like than the rest:
// above halfway from the song's median to its most chorus-like beat, at
// least two bars long. Each scores its mean chorus-likeness, less when it
// is shorter than four bars.
std::vector<Section> Stretches(const std::vector<float>& chorusness) {
    std::vector<float> sorted = chorusness;
    std::sort(sorted.begin(), sorted.end());
    const float threshold = 0.5f * (sorted[sorted.size() / 2] + sorted.back());
    std::vector<Section> found;
    for (std::size_t i = 0; i < chorusness.size();) {
        if (chorusness[i] < threshold) {
            ++i;
            continue;
        }
        std::size_t end = i;
        double sum = 0;
        while (end < chorusness.size() && chorusness[end] >= threshold) sum += chorusness[end++];
        const std::size_t length = end - i;
        if (length >= std::size_t(2 * kBar))
            found.push_back({i, end, sum / double(length) * std::min(1.0, double(length) / kSpan)});
        i = end;
    }
    return found;
}

// Where a chorus-like stretch really begins. Its repetition is measured
// over four bars, so it is found above the threshold up to six bars late:
// from there back, the beat where the sound changes most at once (drums, a
// crash, voices coming in, or a loud bridge giving way), the music's
// novelty breaking ties.
std::size_t SectionStart(const BeatFeatures& beats, const std::vector<float>& novelty, std::size_t found) {
    const auto mean = [&](long from, long to) {
        double sum = 0;
        long m = 0;
        for (long i = std::max(0L, from); i < std::min(long(beats.size()), to); ++i, ++m)
            sum += beats.loudnessDb[std::size_t(i)];
        return m ? sum / double(m) : -100.0;
    };
    const float topNovelty = std::max(1e-6f, *std::max_element(novelty.begin(), novelty.end()));
    std::size_t best = found;
    double bestScore = -1e30;
    for (long t = long(found) - kSpan - 2 * kBar; t <= long(found) + kBar; ++t) {
        if (t < 1 || t >= long(beats.size())) continue;
        // A section's change of level lasts (two bars either side); a beat's
        // own puts it on the beat.
        const double change =
            std::abs(mean(t, t + 2 * kBar) - mean(t - 2 * kBar, t)) + 0.5 * std::abs(mean(t, t + 2) - mean(t - 2, t));
        const double score = change + novelty[std::size_t(t)] / topNovelty;
        if (score > bestScore) {
            bestScore = score;
            best = std::size_t(t);
        }
    }
    return best;
}

}  // namespace

std::vector<ChorusCandidate> FindChorus(const SoundFeatures& features) {
    const BeatFeatures beats = SumOverBeats(features);
    const std::size_t n = beats.size();
    if (n < 2 * kSpan) return n ? LoudestStretch(beats, features.seconds) : std::vector<ChorusCandidate>{};
    if (OneChordThroughout(beats)) return LoudestStretch(beats, features.seconds);
    const std::vector<float> repeated = Scaled(Repetition(beats));
    if (*std::max_element(repeated.begin(), repeated.end()) <= 0) return LoudestStretch(beats, features.seconds);
    const std::vector<float> fullness = Fullness(beats);
    std::vector<float> chorusness(n);
    for (std::size_t i = 0; i < n; ++i) chorusness[i] = repeated[i] * (0.25f + 0.75f * fullness[i]);
    chorusness = Smooth(chorusness, kBar / 2);
    const std::vector<float> novelty = Novelty(beats);

    std::vector<Section> sections = Stretches(chorusness);
    if (sections.empty()) return LoudestStretch(beats, features.seconds);
    for (Section& section : sections) section.start = SectionStart(beats, novelty, section.start);
    std::sort(sections.begin(), sections.end(), [](const Section& a, const Section& b) { return a.score > b.score; });
    const double top = sections.front().score;
    std::vector<ChorusCandidate> candidates;
    for (const Section& section : sections)
        candidates.push_back({beats.starts[section.start], beats.starts[section.end], section.score / top});
    return candidates;
}

}  // namespace sundrel::analysis
