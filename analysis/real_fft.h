// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fftw3.h>

#include <cstddef>

namespace sundrel::analysis {

// A real-to-complex FFT of one length with buffers of its own. The FFTW plan
// for each length and precision is made once in the process, under a lock
// (FFTW's planner may run on one thread at a time), and then executed by
// every transform of that length, on any thread.
template <typename Real>
class RealFft;

template <>
class RealFft<float> {
public:
    explicit RealFft(std::size_t length);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    std::size_t length() const { return length_; }
    float* input() { return in_; }
    // length / 2 + 1 values, each {real, imaginary}.
    const fftwf_complex* output() const { return out_; }
    void run();

private:
    std::size_t length_;
    float* in_;
    fftwf_complex* out_;
    fftwf_plan plan_;
};

template <>
class RealFft<double> {
public:
    explicit RealFft(std::size_t length);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    std::size_t length() const { return length_; }
    double* input() { return in_; }
    const fftw_complex* output() const { return out_; }
    void run();

private:
    std::size_t length_;
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
};

}  // namespace sundrel::analysis
