// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sundrel {

// How loud a song is along its length: the peak and the RMS of its samples
// (0 to 1, all channels together) in bins of equal time, about 6 ms each,
// fine enough for a view zoomed in to 10 ms a pixel. Four bytes a bin and
// never more than PeakBinsMax bins: at most 1 MB, which holds 25 minutes at
// 44.1 kHz before bins double in length.
struct Peaks {
    // Levels kept as 16-bit fractions of full scale: half the memory of a
    // float, far finer than a pixel of height.
    struct Bin {
        std::uint16_t peak = 0;
        std::uint16_t rms = 0;
    };
    static constexpr float kFull = 65535.0f;

    double binSeconds = 0;
    std::vector<Bin> bins;
    // How far decoding has come, and whether it has ended (the whole song
    // is in the bins) or failed (what is there is all there will be).
    double decodedSeconds = 0;
    bool finished = false;
    bool failed = false;

    float peak(std::size_t i) const { return float(bins[i].peak) / kFull; }
    float rms(std::size_t i) const { return float(bins[i].rms) / kFull; }

    // Adds a bin of the decoder's own length, fineSeconds long. Once the
    // song has outgrown PeakBinsMax, neighbouring bins merge into one.
    void addFine(float finePeak, float fineRms, double fineSeconds);
    // The bin still being filled joins the others, however short: the end.
    void closeOpenBin();

private:
    // Fine bins in each bin, and the bin still being filled.
    std::size_t fineInBin_ = 1;
    std::size_t openCount_ = 0;
    float openPeak_ = 0;
    double openSquares_ = 0;
};

inline constexpr std::size_t PeakBinsMax = 262144;

// The finest bin, in sample frames at the song's own rate: 5.8 ms at
// 44.1 kHz.
inline constexpr std::size_t PeakFineBinFrames = 256;

// The sound onset nearest a moment, within `radius` seconds either side:
// the start of a bin that clearly rises above the quieter stretch just
// before it (the start of a beat or a word). Nothing when there is none.
std::optional<double> OnsetNear(const Peaks& peaks, double seconds, double radius);

}  // namespace sundrel
