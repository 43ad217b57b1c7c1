// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp3_fixture.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <span>
#include <utility>
#include <vector>

// Cross-correlation through the FFT, block by block (overlap-save), so that
// a second of sound is found in minutes of song in a few milliseconds.

namespace sundrel::test {
namespace {

using Complex = std::complex<double>;

void Fft(std::vector<Complex>& a, bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = 2 * std::numbers::pi / double(length) * (inverse ? 1 : -1);
        const Complex step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += length) {
            Complex w(1);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const Complex u = a[i + k];
                const Complex v = a[i + k + length / 2] * w;
                a[i + k] = u + v;
                a[i + k + length / 2] = u - v;
                w *= step;
            }
        }
    }
    if (inverse) {
        for (Complex& x : a) {
            x /= double(n);
        }
    }
}

}  // namespace

std::optional<std::size_t> LocateExcerpt(std::span<const std::int16_t> song, std::span<const std::int16_t> excerpt) {
    const std::size_t m = excerpt.size();
    if (m == 0 || m > song.size()) {
        return std::nullopt;
    }
    std::size_t size = 1 << 16;
    while (size < 2 * m) {
        size <<= 1;
    }
    std::vector<Complex> pattern(size);
    double excerptEnergy = 0;
    for (std::size_t i = 0; i < m; ++i) {
        pattern[i] = excerpt[i];
        excerptEnergy += double(excerpt[i]) * excerpt[i];
    }
    if (excerptEnergy == 0) {
        return std::nullopt;
    }
    Fft(pattern, false);

    // Energy of every window of the song, from running sums.
    std::vector<double> sums(song.size() + 1, 0.0);
    for (std::size_t i = 0; i < song.size(); ++i) {
        sums[i + 1] = sums[i] + double(song[i]) * song[i];
    }

    const std::size_t lags = song.size() - m + 1;
    const std::size_t hop = size - m + 1;
    std::optional<std::size_t> best;
    double bestScore = 0;
    std::vector<Complex> block(size);
    for (std::size_t start = 0; start < lags; start += hop) {
        for (std::size_t i = 0; i < size; ++i) {
            block[i] = start + i < song.size() ? double(song[start + i]) : 0.0;
        }
        Fft(block, false);
        for (std::size_t i = 0; i < size; ++i) {
            block[i] *= std::conj(pattern[i]);
        }
        Fft(block, true);
        for (std::size_t k = 0; k < hop && start + k < lags; ++k) {
            const std::size_t lag = start + k;
            const double energy = sums[lag + m] - sums[lag];
            if (energy <= 0) {
                continue;
            }
            const double score = block[k].real() / std::sqrt(energy * excerptEnergy);
            if (!best || score > bestScore) {
                best = lag;
                bestScore = score;
            }
        }
    }
    return best;
}

double Correlation(std::span<const std::int16_t> a, std::span<const std::int16_t> b) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

int Loudest(std::span<const std::int16_t> samples) {
    int loudest = 0;
    for (const std::int16_t v : samples) loudest = std::max(loudest, std::abs(int(v)));
    return loudest;
}

}  // namespace sundrel::test
