// Flushes denormal results to zero and treats denormal operands as zero for as
// long as it lives, then puts the floating-point control state back exactly as
// it found it. Decaying tails in the spectra and the meters otherwise drift
// into the denormal range, where every operation costs a hundred cycles.
// The host owns the thread, so the previous state must be restored on the way
// out: wrap each audio callback in one of these.
#pragma once

#include <cstdint>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define VELDRANA_DENORMAL_GUARD_SSE 1
#endif

class DenormalGuard {
 public:
#if defined(VELDRANA_DENORMAL_GUARD_SSE)
  // MXCSR bit 15 flushes results to zero, bit 6 treats inputs as zero.
  static constexpr uint32_t kFlushBits = 0x8040u;

  DenormalGuard() : saved_(_mm_getcsr()) {
    _mm_setcsr(saved_ | kFlushBits);
  }
  ~DenormalGuard() {
    _mm_setcsr(saved_);
  }
#elif defined(__aarch64__)
  // FPCR.FZ (bit 24) covers both inputs and results on AArch64.
  static constexpr uint64_t kFlushBits = uint64_t{1} << 24;

  DenormalGuard() : saved_(readFpcr()) {
    writeFpcr(saved_ | kFlushBits);
  }
  ~DenormalGuard() {
    writeFpcr(saved_);
  }
#else
  DenormalGuard() = default;
  ~DenormalGuard() = default;
#endif

  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
#if defined(VELDRANA_DENORMAL_GUARD_SSE)
  const uint32_t saved_;
#elif defined(__aarch64__)
  static uint64_t readFpcr() {
    uint64_t value;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(value));
    return value;
  }
  static void writeFpcr(uint64_t value) {
    __asm__ __volatile__("msr fpcr, %0" : : "r"(value));
  }
  const uint64_t saved_;
#endif
};
