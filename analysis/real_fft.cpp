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

template <typename Real>
typename Fftw<Real>::Plan PlanOf(std::size_t length, Real* in, typename Fftw<Real>::Complex* out) {
    static std::map<std::size_t, typename Fftw<Real>::Plan> plans;
    const std::lock_guard guard(PlannerLock());
    auto [at, fresh] = plans.try_emplace(length, nullptr);
    if (fresh) at->second = Fftw<Real>::PlanR2c(int(length), in, out, FFTW_ESTIMATE);
    return at->second;
}

template <typename Real, typename T>
T* Allocate(std::size_t count) {
    void* memory = nullptr;
    {
        const std::lock_guard guard(PlannerLock());
        memory = Fftw<Real>::Malloc(count * sizeof(T));
    }
    if (!memory) throw std::bad_alloc();
    return static_cast<T*>(memory);
}

}  // namespace

// Every buffer from FFTW's allocator is aligned as the plan's were, which
// the new-array execute in run() requires.
template <typename Real>
RealFft<Real>::RealFft(std::size_t length)
    : length_(length),
      in_(Allocate<Real, Real>(length)),
      out_(Allocate<Real, Complex>(length / 2 + 1)),
      plan_(PlanOf<Real>(length, in_, out_)) {}

template <typename Real>
RealFft<Real>::~RealFft() {
    Fftw<Real>::Free(in_);
    Fftw<Real>::Free(out_);
}

template <typename Real>
void RealFft<Real>::run() {
    Fftw<Real>::ExecuteR2c(plan_, in_, out_);
}

template class RealFft<float>;
template class RealFft<double>;

}  // namespace sundrel::analysis
