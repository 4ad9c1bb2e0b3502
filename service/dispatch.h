// Kernel dispatch.  Every performance kernel exists in six variants, one per CpuType 2..7,
// each compiled in its own translation unit with that instruction-set level's flags.  A
// DispatchSlot holds the six variants and a process-wide pointer that its first call fills
// from detect_cpu_type(); every later call costs one load, one test and one indirect call,
// and takes no lock.  Two threads racing on an empty slot store the same variant.
//
//   ztr::DispatchSlot<double(int, const double*, const double*)> g_dot{{
//       kernels::t2::dot, kernels::t3::dot, ..., kernels::t7::dot}};
//   double r = g_dot(n, x, y);
#pragma once

#include <array>
#include <atomic>

#include "service/cpu.h"
#include "service/error.h"

namespace ztr {

template <typename Signature>
class DispatchSlot;

template <typename R, typename... Args>
class DispatchSlot<R(Args...)> {
 public:
  using Fn = R (*)(Args...);
  // variants[i] is the variant for CpuType 2 + i.
  using Variants = std::array<Fn, kCpuTypeCount>;

  constexpr explicit DispatchSlot(const Variants& variants) : variants_(variants) {}

  R operator()(Args... args) {
    Fn f = target_.load(std::memory_order_relaxed);
    if (__builtin_expect(f == nullptr, 0)) f = fill();
    return f(args...);
  }

  // The variant of one CpuType, for tests that run every variant in one process.
  Fn variant(int cpu_type) const { return variants_[static_cast<unsigned>(cpu_type - kCpuTypeMin)]; }
  const Variants& variants() const { return variants_; }

 private:
  Fn fill() {
    const int type = detect_cpu_type();
    if (type < kCpuTypeMin || type > kCpuTypeMax) fatal_unsupported_cpu_type(type);
    Fn f = variants_[static_cast<unsigned>(type - kCpuTypeMin)];
    target_.store(f, std::memory_order_relaxed);
    return f;
  }

  std::atomic<Fn> target_{nullptr};
  const Variants variants_;
};

}  // namespace ztr
