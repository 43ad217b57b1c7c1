// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fftw3.h>

#include <cstddef>

namespace sundrel::analysis {

// FFTW's names for one precision.
template <typename Real>
struct Fftw;

template <>
struct Fftw<float> {
    using Complex = fftwf_complex;
    using Plan = fftwf_plan;
    static constexpr auto PlanR2c = &fftwf_plan_dft_r2c_1d;
    static constexpr auto ExecuteR2c = &fftwf_execute_dft_r2c;
    static constexpr auto Malloc = &fftwf_malloc;
    static constexpr auto Free = &fftwf_free;
};

template <>
struct Fftw<double> {
    using Complex = fftw_complex;
    using Plan = fftw_plan;
    static constexpr auto PlanR2c = &fftw_plan_dft_r2c_1d;
    static constexpr auto ExecuteR2c = &fftw_execute_dft_r2c;
    static constexpr auto Malloc = &fftw_malloc;
    static constexpr auto Free = &fftw_free;
};

// A real-to-complex FFT of one length with buffers of its own. The FFTW plan
// for each length and precision is made once in the process, under a lock
// (FFTW's planner may run on one thread at a time), and then executed by
// every transform of that length, on any thread.
template <typename Real>
class RealFft {
public:
    using Complex = typename Fftw<Real>::Complex;

    explicit RealFft(std::size_t length);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    std::size_t length() const { return length_; }
    Real* input() { return in_; }
    // length / 2 + 1 values, each {real, imaginary}.
    const Complex* output() const { return out_; }
    void run();

private:
    std::size_t length_;
    Real* in_;
    Complex* out_;
    typename Fftw<Real>::Plan plan_;
};

extern template class RealFft<float>;
extern template class RealFft<double>;

}  // namespace sundrel::analysis
