// The value types of the solver: real and complex, single and double precision.  Every
// template of the stages is instantiated for the list below, and every test of precision,
// magnitude, order or conjugation goes through these traits, so that a complex value is never
// taken for a real one of twice the size.
#pragma once

#include <cmath>
#include <complex>
#include <type_traits>

namespace ztr {

// Invokes X(type) for each value type of the solver.
#define ZTR_FOR_EACH_SOLVER_VALUE(X) \
  X(float)                           \
  X(double)                          \
  X(std::complex<float>)             \
  X(std::complex<double>)

template <typename T>
struct ValueTraits;

template <>
struct ValueTraits<float> {
  using Real = float;
  using Wide = double;  // the type of the same field in double precision
  static constexpr bool kComplex = false;
  static constexpr bool kSingle = true;
};
template <>
struct ValueTraits<double> {
  using Real = double;
  using Wide = double;
  static constexpr bool kComplex = false;
  static constexpr bool kSingle = false;
};
template <typename R>
struct ValueTraits<std::complex<R>> {
  using Real = R;
  using Wide = std::complex<double>;
  static constexpr bool kComplex = true;
  static constexpr bool kSingle = std::is_same_v<R, float>;
};
// Extended-precision accumulators of the refinement.
template <>
struct ValueTraits<long double> {
  using Real = long double;
  using Wide = long double;
  static constexpr bool kComplex = false;
  static constexpr bool kSingle = false;
};
template <>
struct ValueTraits<std::complex<long double>> {
  using Real = long double;
  using Wide = std::complex<long double>;
  static constexpr bool kComplex = true;
  static constexpr bool kSingle = false;
};

template <typename T>
using RealOf = typename ValueTraits<T>::Real;
template <typename T>
using WideOf = typename ValueTraits<T>::Wide;
template <typename T>
inline constexpr bool kIsComplex = ValueTraits<T>::kComplex;
template <typename T>
inline constexpr bool kIsSingle = ValueTraits<T>::kSingle;

// The value type with the field of T and the precision of the real type R.
template <typename T, typename R>
using WithReal = std::conditional_t<kIsComplex<T>, std::complex<R>, R>;

// The run-time name of a value type, for what is chosen per call (the analysis, which is not
// a template) and dispatched to the templates.
enum class ValueKind { kFloat, kDouble, kComplexFloat, kComplexDouble };
template <typename T>
inline constexpr ValueKind kValueKind = kIsComplex<T> ? (kIsSingle<T> ? ValueKind::kComplexFloat
                                                                      : ValueKind::kComplexDouble)
                                                      : (kIsSingle<T> ? ValueKind::kFloat
                                                                      : ValueKind::kDouble);
inline ValueKind value_kind(bool complex, bool single) {
  return complex ? (single ? ValueKind::kComplexFloat : ValueKind::kComplexDouble)
                 : (single ? ValueKind::kFloat : ValueKind::kDouble);
}
inline bool is_single(ValueKind v) {
  return v == ValueKind::kFloat || v == ValueKind::kComplexFloat;
}
// f(T{}) for the value type named by v.
template <typename F>
decltype(auto) with_value_kind(ValueKind v, F&& f) {
  switch (v) {
    case ValueKind::kFloat:
      return f(float{});
    case ValueKind::kComplexFloat:
      return f(std::complex<float>{});
    case ValueKind::kComplexDouble:
      return f(std::complex<double>{});
    case ValueKind::kDouble:
    default:
      return f(double{});
  }
}

// |x| (the modulus of a complex value).
template <typename T>
inline RealOf<T> abs_value(T x) {
  return std::abs(x);
}
template <typename T>
inline RealOf<T> real_part(T x) {
  if constexpr (kIsComplex<T>)
    return x.real();
  else
    return x;
}
template <typename T>
inline T conj_value(T x) {
  if constexpr (kIsComplex<T>)
    return std::conj(x);
  else
    return x;
}
// conj(x) when `c`, else x (always x for real values).
template <typename T>
inline T conj_if(bool c, T x) {
  if constexpr (kIsComplex<T>)
    return c ? std::conj(x) : x;
  else
    return x;
}
template <typename T>
inline bool is_finite_value(T x) {
  if constexpr (kIsComplex<T>)
    return std::isfinite(x.real()) && std::isfinite(x.imag());
  else
    return std::isfinite(x);
}
// A value of magnitude m in the direction of x (m itself for x = 0): the sign of a real value.
template <typename T>
inline T with_magnitude(T x, RealOf<T> m) {
  if constexpr (kIsComplex<T>) {
    const RealOf<T> a = std::abs(x);
    return a == 0 ? T(m) : x * (m / a);
  } else {
    return x < T(0) ? -m : m;
  }
}
// x converted to the value type U of the same field (a real part read as real).
template <typename U, typename T>
inline U convert_value(T x) {
  if constexpr (kIsComplex<U> && kIsComplex<T>)
    return U(static_cast<RealOf<U>>(x.real()), static_cast<RealOf<U>>(x.imag()));
  else if constexpr (kIsComplex<U>)
    return U(static_cast<RealOf<U>>(x));
  else if constexpr (kIsComplex<T>)
    return static_cast<U>(x.real());
  else
    return static_cast<U>(x);
}
// x * s rounded to T, the product formed in double (scaling factors stay real).
template <typename T>
inline T scaled_value(T x, double s) {
  if constexpr (kIsComplex<T>)
    return T(static_cast<RealOf<T>>(x.real() * s), static_cast<RealOf<T>>(x.imag() * s));
  else
    return static_cast<T>(x * s);
}

}  // namespace ztr
