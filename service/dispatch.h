// Kernel dispatch.  Every performance kernel exists in six variants, one per CpuType 2..7,
// each compiled in its own translation unit with that instruction-set level's flags.  A
// DispatchSlot holds the six variants and a process-wide pointer that its first call fills
// from detect_cpu_type(); every later call costs one load, one test and one indirect call,
// and takes no lock.  Two threads racing on an empty slot store the same variant.
//
//   ztr::DispatchSlot<double(int, const double*, const double*)> g_dot{{
//       kernels::t2::dot, kernels::t3::dot, ..., kernels::t7::dot}};
//   double r = g_dot(n, x, y);
//   ZTR_REGISTER_DISPATCH_SLOT(g_dot);   // lets the completeness test find the slot
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
  Fn variant(int cpu_type) const {
    return variants_[static_cast<unsigned>(cpu_type - kCpuTypeMin)];
  }
  const Variants& variants() const { return variants_; }

 private:
  Fn fill() {
    const int type = detect_cpu_type();
    if (type < kCpuTypeMin || type > kCpuTypeMax) fatal_unsupported_cpu_type(type);
    Fn f = variants_[static_cast<unsigned>(type - kCpuTypeMin)];
    // A type without a variant is the same fatal condition as a type out of range: there is
    // no code to run, and guessing another level could execute instructions the processor lacks.
    if (f == nullptr) fatal_unsupported_cpu_type(type);
    target_.store(f, std::memory_order_relaxed);
    return f;
  }

  std::atomic<Fn> target_{nullptr};
  const Variants variants_;
};

// Every slot of the library is listed here (by ZTR_REGISTER_DISPATCH_SLOT at its definition),
// so that a test can check that no slot lacks a variant for any CpuType.  The list is an
// intrusive chain of static records: registering allocates nothing.
class SlotRegistration {
 public:
  template <typename Slot>
  SlotRegistration(const char* name, const Slot& slot)
      : name_(name), slot_(&slot), missing_(&missing_variants<Slot>), next_(head()) {
    head() = this;
  }
  const char* name() const { return name_; }
  // Number of CpuTypes without a variant.
  int missing() const { return missing_(slot_); }
  const SlotRegistration* next() const { return next_; }
  static const SlotRegistration* first() { return head(); }

 private:
  template <typename Slot>
  static int missing_variants(const void* slot) {
    int n = 0;
    for (auto f : static_cast<const Slot*>(slot)->variants()) n += f == nullptr ? 1 : 0;
    return n;
  }
  static SlotRegistration*& head() {
    static SlotRegistration* h = nullptr;
    return h;
  }
  const char* name_;
  const void* slot_;
  int (*missing_)(const void*);
  const SlotRegistration* next_;
};

#define ZTR_DISPATCH_CONCAT2(a, b) a##b
#define ZTR_DISPATCH_CONCAT(a, b) ZTR_DISPATCH_CONCAT2(a, b)
#define ZTR_REGISTER_DISPATCH_SLOT(slot)                                                      \
  static const ::ztr::SlotRegistration ZTR_DISPATCH_CONCAT(ztr_slot_registration_, __LINE__)( \
      #slot, slot)

}  // namespace ztr
