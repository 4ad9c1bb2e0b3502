// Short vectors of doubles for kernels written once for every CpuType: the compiler's vector
// types give each variant registers of its instruction-set level, two doubles up to SSE4.2 and
// four from AVX on.  Include inside a variant's translation unit (ZTR_KERNEL_CPU_TYPE set); the
// helpers live in that variant's namespace, so no two levels share a symbol.
#pragma once

#include <cstddef>
#include <cstring>

#include "service/kernel_variant.h"

namespace ztr::kernels::ZTR_VARIANT_NS {
namespace {

#if ZTR_KERNEL_CPU_TYPE >= 6
constexpr int kLanes = 4;
#else
constexpr int kLanes = 2;
#endif
using Pack = double __attribute__((vector_size(kLanes * sizeof(double))));
using Index = std::ptrdiff_t;

// Unaligned loads and stores (byte copies, which the compiler turns into vector moves).
inline Pack load(const double* p) {
  Pack v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store(double* p, Pack v) {
  std::memcpy(p, &v, sizeof v);
}
inline Pack splat(double x) {
  return Pack{} + x;
}
// Lanes added in lane order.
inline double lane_sum(Pack v) {
  double s = 0.0;
  for (int l = 0; l < kLanes; ++l) s += v[l];
  return s;
}

}  // namespace
}  // namespace ztr::kernels::ZTR_VARIANT_NS
