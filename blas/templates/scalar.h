// Scalar-type helpers of the templated BLAS: real or complex, single or double.
#pragma once

#include <cmath>
#include <complex>
#include <type_traits>

#include "blas/templates/isa_namespace.h"

namespace ztr::tblas {
ZTR_ISA_NS_BEGIN

template <typename T>
struct ScalarTraits {
  using Real = T;
  static constexpr bool kComplex = false;
};
template <typename R>
struct ScalarTraits<std::complex<R>> {
  using Real = R;
  static constexpr bool kComplex = true;
};
template <typename T>
using RealOf = typename ScalarTraits<T>::Real;
template <typename T>
inline constexpr bool kIsComplex = ScalarTraits<T>::kComplex;

template <typename T>
inline T conj_of(T x) {
  if constexpr (kIsComplex<T>) return std::conj(x);
  else return x;
}
template <typename T>
inline T conj_if(bool c, T x) {
  if constexpr (kIsComplex<T>) return c ? std::conj(x) : x;
  else return x;
}
template <typename T>
inline RealOf<T> real_of(T x) {
  if constexpr (kIsComplex<T>) return x.real();
  else return x;
}
// |re| + |im|: the magnitude the BLAS uses to choose a pivot among complex entries.
template <typename T>
inline RealOf<T> abs1(T x) {
  if constexpr (kIsComplex<T>) return std::fabs(x.real()) + std::fabs(x.imag());
  else return std::fabs(x);
}

// Products of complex numbers written out, so that the compiler neither calls the library
// routine that repairs infinities nor keeps the loops from vectorising.
template <typename T>
inline T mul(T a, T b) {
  if constexpr (kIsComplex<T>)
    return T(a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real());
  else return a * b;
}

inline bool is_letter(char c, char upper) { return c == upper || c == upper + ('a' - 'A'); }

// Transpose options: 'N' none, 'T' transpose, 'C' conjugate transpose (same as 'T' for real
// types).
struct Op {
  bool trans;
  bool conj;
};
template <typename T>
inline Op op_of(char t) {
  const bool tr = !is_letter(t, 'N');
  return {tr, kIsComplex<T> && is_letter(t, 'C')};
}

ZTR_ISA_NS_END
}  // namespace ztr::tblas
