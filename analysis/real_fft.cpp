// SPDX-License-Identifier: GPL-3.0-or-later
#include "real_fft.h"

#include <map>
#include <mutex>
#include <new>

namespace sundrel::analysis {

namespace {

// FFTW's planner, and its memory allocator's alignment check, are not
// thread-safe: every plan is made here, once, and kept until the process
// ends (a handful of lengths, a few KB each).
std::mutex& PlannerLock() {
    static std::mutex lock;
    return lock;
}

fftwf_plan FloatPlan(std::size_t length, float* in, fftwf_complex* out) {
    static std::map<std::size_t, fftwf_plan> plans;
    const std::lock_guard guard(PlannerLock());
    auto [at, fresh] = plans.try_emplace(length, nullptr);
    if (fresh) at->second = fftwf_plan_dft_r2c_1d(int(length), in, out, FFTW_ESTIMATE);
    return at->second;
}

fftw_plan DoublePlan(std::size_t length, double* in, fftw_complex* out) {
    static std::map<std::size_t, fftw_plan> plans;
    const std::lock_guard guard(PlannerLock());
    auto [at, fresh] = plans.try_emplace(length, nullptr);
    if (fresh) at->second = fftw_plan_dft_r2c_1d(int(length), in, out, FFTW_ESTIMATE);
    return at->second;
}

template <typename T>
T* Allocate(std::size_t count, void* (*allocate)(std::size_t)) {
    void* memory = nullptr;
    {
        const std::lock_guard guard(PlannerLock());
        memory = allocate(count * sizeof(T));
    }
    if (!memory) throw std::bad_alloc();
    return static_cast<T*>(memory);
}

}  // namespace

RealFft<float>::RealFft(std::size_t length)
    : length_(length),
      in_(Allocate<float>(length, &fftwf_malloc)),
      out_(Allocate<fftwf_complex>(length / 2 + 1, &fftwf_malloc)),
      plan_(FloatPlan(length, in_, out_)) {
    // Every buffer from fftwf_malloc is aligned as the plan's were, which
    // the new-array execute below requires.
}

RealFft<float>::~RealFft() {
    fftwf_free(in_);
    fftwf_free(out_);
}

void RealFft<float>::run() { fftwf_execute_dft_r2c(plan_, in_, out_); }

RealFft<double>::RealFft(std::size_t length)
    : length_(length),
      in_(Allocate<double>(length, &fftw_malloc)),
      out_(Allocate<fftw_complex>(length / 2 + 1, &fftw_malloc)),
      plan_(DoublePlan(length, in_, out_)) {}

RealFft<double>::~RealFft() {
    fftw_free(in_);
    fftw_free(out_);
}

void RealFft<double>::run() { fftw_execute_dft_r2c(plan_, in_, out_); }

}  // namespace sundrel::analysis
