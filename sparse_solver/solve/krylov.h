// Preconditioned Krylov iterations for one right-hand side, the solver's alternative to
// iterative refinement: conjugate gradients for symmetric positive definite matrices and
// conjugate gradients squared (Sonneveld's CGS) otherwise, both preconditioned by a held
// factorization, which may belong to a nearby matrix.  The matrix and the preconditioner
// are callables: apply(v, out) computes out = A*v, precondition(v, out) out = M^-1*v.
#pragma once

#include <cmath>

#include "sparse_solver/common/value_types.h"

namespace ztr {

// Failure codes of an iteration (its result is then code - 10 * iterations).
inline constexpr int kKrylovLimit = -1;       // the iteration limit was reached
inline constexpr int kKrylovStagnation = -2;  // no better residual for `patience` iterations
inline constexpr int kKrylovBreakdown = -3;   // a recurrence divided by zero (or lost finiteness)

struct KrylovResult {
  int iterations = 0;
  int failure = 0;  // 0 when the relative residual reached the tolerance
};

namespace krylov_detail {

// sum conj(a_i) * b_i in double precision (the conjugation does nothing for real values).
template <typename T>
WideOf<T> dot(int n, const T* a, const T* b) {
  using W = WideOf<T>;
  W s = 0;
  for (int i = 0; i < n; ++i) s += conj_value(convert_value<W>(a[i])) * convert_value<W>(b[i]);
  return s;
}

template <typename W>
double squared_magnitude(W r) {
  if constexpr (kIsComplex<W>)
    return r.real() * r.real() + r.imag() * r.imag();
  else
    return r * r;
}

// Keeps the iterate of the smallest residual and tells when to stop.  It judges by the true
// residual b - A*x: the recurrences' own residual keeps shrinking long after rounding has
// stopped the true one.
template <typename T, typename Apply>
struct Tracker {
  int n;
  Apply& apply;
  const T* b;
  double target;  // tolerance * ||b||
  int patience;
  T* best_x;
  T* scratch;
  double best = INFINITY;
  int since_best = 0;
  // After an iteration with iterate x: 1 converged, -1 stagnated, 0 go on.
  int check(const T* x) {
    apply(x, scratch);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      const WideOf<T> r = convert_value<WideOf<T>>(b[i]) - convert_value<WideOf<T>>(scratch[i]);
      sum += squared_magnitude(r);
    }
    const double norm = std::sqrt(sum);
    if (!(norm < best)) {
      if (!std::isfinite(norm) || ++since_best >= patience) return -1;
      return 0;
    }
    best = norm;
    since_best = 0;
    for (int i = 0; i < n; ++i) best_x[i] = x[i];
    return norm <= target ? 1 : 0;
  }
};

}  // namespace krylov_detail

// Solves A*x = b from the initial x (overwritten by the best iterate found) with at most
// `limit` iterations, giving up after `patience` iterations without a smaller residual.
// Stopping test: ||b - A*x||_2 <= tolerance * ||b||_2.  Work: 6 * n values.
template <typename T, typename Apply, typename Precondition>
KrylovResult preconditioned_cg(int n, Apply apply, Precondition precondition, const T* b, T* x,
                               double tolerance, int limit, int patience, T* work) {
  using krylov_detail::dot;
  T *r = work, *z = work + n, *p = work + 2 * n, *q = work + 3 * n;
  krylov_detail::Tracker<T, Apply> track{
      n,        apply,        b,           tolerance * std::sqrt(real_part(dot(n, b, b))),
      patience, work + 4 * n, work + 5 * n};
  KrylovResult res;
  for (int i = 0; i < n; ++i) track.best_x[i] = x[i];
  apply(x, q);
  for (int i = 0; i < n; ++i) r[i] = b[i] - q[i];
  if (track.check(x) == 1) return res;
  precondition(r, z);
  for (int i = 0; i < n; ++i) p[i] = z[i];
  using W = WideOf<T>;
  W rho = dot(n, r, z);
  for (;;) {
    if (res.iterations >= limit) {
      res.failure = kKrylovLimit;
      break;
    }
    apply(p, q);
    const W pq = dot(n, p, q);
    if (!(real_part(pq) > 0) || !is_finite_value(rho)) {  // not positive definite, or lost
      res.failure = kKrylovBreakdown;
      break;
    }
    ++res.iterations;
    const T alpha = convert_value<T>(rho / pq);
    for (int i = 0; i < n; ++i) {
      x[i] += alpha * p[i];
      r[i] -= alpha * q[i];
    }
    const int verdict = track.check(x);
    if (verdict != 0) {
      res.failure = verdict == 1 ? 0 : kKrylovStagnation;
      break;
    }
    precondition(r, z);
    const W next = dot(n, r, z);
    const T beta = convert_value<T>(next / rho);
    rho = next;
    for (int i = 0; i < n; ++i) p[i] = z[i] + beta * p[i];
  }
  for (int i = 0; i < n; ++i) x[i] = track.best_x[i];
  return res;
}

// The same contract for any nonsingular A, by CGS.  Work: 9 * n values.
template <typename T, typename Apply, typename Precondition>
KrylovResult preconditioned_cgs(int n, Apply apply, Precondition precondition, const T* b, T* x,
                                double tolerance, int limit, int patience, T* work) {
  using krylov_detail::dot;
  T *r = work, *shadow = work + n, *u = work + 2 * n, *p = work + 3 * n, *q = work + 4 * n;
  T *v = work + 5 * n, *w = work + 6 * n;
  krylov_detail::Tracker<T, Apply> track{
      n,        apply,        b,           tolerance * std::sqrt(real_part(dot(n, b, b))),
      patience, work + 7 * n, work + 8 * n};
  KrylovResult res;
  for (int i = 0; i < n; ++i) track.best_x[i] = x[i];
  apply(x, v);
  for (int i = 0; i < n; ++i) shadow[i] = r[i] = b[i] - v[i];
  if (track.check(x) == 1) return res;
  using W = WideOf<T>;
  W rho_prev = 1;
  for (;;) {
    if (res.iterations >= limit) {
      res.failure = kKrylovLimit;
      break;
    }
    const W rho = dot(n, shadow, r);
    if (rho == W(0) || !is_finite_value(rho)) {
      res.failure = kKrylovBreakdown;
      break;
    }
    if (res.iterations == 0) {
      for (int i = 0; i < n; ++i) u[i] = p[i] = r[i];
    } else {
      const T beta = convert_value<T>(rho / rho_prev);
      for (int i = 0; i < n; ++i) {
        u[i] = r[i] + beta * q[i];
        p[i] = u[i] + beta * (q[i] + beta * p[i]);
      }
    }
    precondition(p, w);
    apply(w, v);
    const W sv = dot(n, shadow, v);
    if (sv == W(0) || !is_finite_value(sv)) {
      res.failure = kKrylovBreakdown;
      break;
    }
    ++res.iterations;
    const T alpha = convert_value<T>(rho / sv);
    for (int i = 0; i < n; ++i) {
      q[i] = u[i] - alpha * v[i];
      v[i] = u[i] + q[i];
    }
    precondition(v, w);
    apply(w, v);
    for (int i = 0; i < n; ++i) {
      x[i] += alpha * w[i];
      r[i] -= alpha * v[i];
    }
    rho_prev = rho;
    const int verdict = track.check(x);
    if (verdict != 0) {
      res.failure = verdict == 1 ? 0 : kKrylovStagnation;
      break;
    }
  }
  for (int i = 0; i < n; ++i) x[i] = track.best_x[i];
  return res;
}

}  // namespace ztr
