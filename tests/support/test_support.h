// What the tests share: one random generator, the NaN and rounding constants, the Fortran
// vector layout, a long-double product with the magnitude of its terms, and the
// child-process helper.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string_view>
#include <vector>

#include "service/cpu.h"
#include "tests/support/child.h"

namespace ztr::test {

using LD = long double;
inline constexpr double kEps = std::numeric_limits<double>::epsilon();
// The unit roundoff: the largest relative error of one rounding.
inline constexpr double kUnitRoundoff = kEps / 2;
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The tests' one random generator, always seeded, so that every run tests the same data.
using Rng = std::mt19937;

inline double uniform(Rng& gen, double lo = -1, double hi = 1) {
  return std::uniform_real_distribution<double>(lo, hi)(gen);
}
// 0 .. k-1.
inline int below(Rng& gen, int k) {
  return std::uniform_int_distribution<int>(0, k - 1)(gen);
}
inline std::vector<double> random_vector(std::size_t n, Rng& gen, double lo = -1, double hi = 1) {
  std::vector<double> v(n);
  for (double& x : v) x = uniform(gen, lo, hi);
  return v;
}

// True when s is a non-empty run of letters, digits and underscores (and spaces if allowed):
// how the library spells routine and array names in its messages.
inline bool name_like(std::string_view s, bool spaces = false) {
  if (s.empty()) return false;
  for (const char c : s) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && c != '_' && !(spaces && c == ' ')) return false;
  }
  return true;
}

// Equal sizes and equal bits (NaNs and signed zeros included).
template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Position of element i of a Fortran vector of n entries with increment inc.
inline std::ptrdiff_t at(int i, int n, int inc) {
  return inc >= 0 ? static_cast<std::ptrdiff_t>(i) * inc
                  : static_cast<std::ptrdiff_t>(n - 1 - i) * -inc;
}
// Storage a vector of n entries with increment inc needs (at least 1).
inline std::size_t span(int n, int inc) {
  const int a = inc < 0 ? -inc : inc;
  return n <= 0 ? 1 : static_cast<std::size_t>(n - 1) * (a ? a : 1) + 1;
}

// Kernel variants this processor can run: CpuType 2 up to what the hardware supports.
inline int runnable_variants() {
  const int n = hardware_cpu_type() - kCpuTypeMin + 1;
  return n < kCpuTypeCount ? n : kCpuTypeCount;
}

inline bool notrans(char t) {
  return t == 'N' || t == 'n';
}
// op(X)(i, j) of a column-major matrix with leading dimension ld.
inline double op_at(const double* x, int ld, char t, int i, int j) {
  return notrans(t) ? x[i + static_cast<std::size_t>(j) * ld]
                    : x[j + static_cast<std::size_t>(i) * ld];
}

// Entry (i, j) of op(A)*op(B) (inner dimension k) accumulated in long double, with the sum of
// the magnitudes of its terms, which bounds the rounding error of any order of summation.
struct RefEntry {
  LD value, magnitude;
};
inline RefEntry ref_product(char ta, const double* a, int lda, char tb, const double* b, int ldb,
                            int k, int i, int j) {
  RefEntry r{0, 0};
  for (int l = 0; l < k; ++l) {
    const LD t = static_cast<LD>(op_at(a, lda, ta, i, l)) * op_at(b, ldb, tb, l, j);
    r.value += t;
    r.magnitude += std::fabs(t);
  }
  return r;
}

}  // namespace ztr::test
