#include <algorithm>
#include <cmath>
#include <functional>

#include "lapack/dlamch.h"
#include "lapack/syevr/tridiagonal.h"
#include "service/error.h"

namespace ztr {
namespace {

// An off-diagonal below (kDeflateUlps * eps)^2 times the eigenvalue it touches is dropped.
constexpr double kDeflateUlps = 100.0;
// Iterations allowed per eigenvalue before the routine gives up.
constexpr int kIterationsPerEigenvalue = 30;
// A rejected shift is cut to this fraction before the next attempt; the last resort is 0.
constexpr double kShiftRetreat = 0.25;
constexpr int kShiftAttempts = 3;
// The array is turned upside down when its first q is this much smaller than its last, so
// that the small eigenvalues gather at the bottom where they deflate.
constexpr double kFlipBias = 1.5;
// The bottom off-diagonal below this fraction of the bottom q counts as settling.
constexpr double kSettled = 1e-2;

// One dqds transform with shift tau of q(0..n-1), e(0..n-2) into qn, en.  Fails (returns
// false) when a pivot is not positive, that is when tau exceeds the smallest eigenvalue.
// On success `bound` is a lower bound of the smallest eigenvalue of the new array: the
// inverse of the trace of its inverse, ||B^-1||_F^-2 for the bidiagonal B of the array, from
// the column recurrence c(j) = (1 + e(j-1) c(j-1)) / q(j); it tends to the eigenvalue
// quadratically as the shifts approach it, and is 0 when the array is (nearly) singular.
bool dqds_step(int n, const double* q, const double* e, double tau, double* qn, double* en,
               double* bound) {
  double d = q[0] - tau;
  double c = 0, trace = 0;
  for (int i = 0; i + 1 < n; ++i) {
    if (d < 0) return false;
    const double qhat = d + e[i];
    if (qhat == 0.0) {
      // d = e(i) = 0 with no shift: an exact zero eigenvalue splits the array here.
      qn[i] = 0.0;
      en[i] = 0.0;
      d = q[i + 1] - tau;
      trace = HUGE_VAL;
    } else {
      const double t = q[i + 1] / qhat;
      qn[i] = qhat;
      c = (1.0 + (i > 0 ? en[i - 1] * c : 0.0)) / qhat;
      trace += c;
      en[i] = e[i] * t;
      d = d * t - tau;
    }
  }
  if (d < 0 || std::isnan(d)) return false;
  qn[n - 1] = d;
  if (d > 0) {
    c = (1.0 + (n > 1 ? en[n - 2] * c : 0.0)) / d;
    trace += c;
  } else {
    trace = HUGE_VAL;
  }
  *bound = (trace < HUGE_VAL && trace > 0) ? 1.0 / trace : 0.0;
  return true;
}

// The same bound for an array no transform has produced yet.
double smallest_lower_bound(int n, const double* q, const double* e) {
  double c = 0, trace = 0;
  for (int j = 0; j < n; ++j) {
    if (q[j] <= 0) return 0.0;
    c = (1.0 + (j > 0 ? e[j - 1] * c : 0.0)) / q[j];
    trace += c;
  }
  if (!(trace < HUGE_VAL) || trace <= 0) return 0.0;
  return 1.0 / trace;
}

}  // namespace

void dlasq2(const int* n, double* z, int* info) {
  const int nn = *n;
  *info = 0;
  if (nn < 0) {
    *info = -1;
    const int pos = 1;
    xerbla_dispatch("DLASQ2", &pos, 6);
    return;
  }
  if (nn == 0) return;
  for (int i = 0; i < 2 * nn - 1; ++i) {
    if (z[i] < 0 || std::isnan(z[i])) {
      *info = -2;
      const int pos = 2;
      xerbla_dispatch("DLASQ2", &pos, 6);
      return;
    }
  }
  // Two slabs of (q, e) that the transforms alternate between; an eigenvalue is written
  // into both at the row it deflates from, so that the first slab ends up with all of them.
  double* q = z;
  double* e = z + nn;
  double* qn = z + 2 * nn;
  double* en = z + 3 * nn;
  // Unpack the interleaved input (q(i) = z(2i-1), e(i) = z(2i)).
  for (int i = 0; i < nn; ++i) {
    qn[i] = z[2 * i];
    en[i] = i + 1 < nn ? z[2 * i + 1] : 0.0;
  }
  double trace = 0;
  for (int i = 0; i < nn; ++i) {
    q[i] = qn[i];
    e[i] = en[i];
    trace += q[i] + e[i];
  }
  if (nn > 1 && kFlipBias * q[0] < q[nn - 1]) {
    std::reverse(q, q + nn);
    std::reverse(e, e + nn - 1);
  }
  const double eps = dlamch("P");
  const double tol2 = (kDeflateUlps * eps) * (kDeflateUlps * eps);
  double sigma = 0;
  int active = nn;  // rows 0..active-1 are still iterated; q(active..) holds eigenvalues
  // The current segment is rows top..active-1.  Rows above it form segments of their own
  // that split off earlier: the e entry just above each holds minus the shift it had then
  // (a split is an e entry <= 0).  Both slabs agree on those rows.
  int top = 0;
  int iterations = 0;
  const int max_iterations = kIterationsPerEigenvalue * nn;
  auto segment_bound = [&] { return smallest_lower_bound(active - top, q + top, e + top); };
  double bound = segment_bound();
  auto store = [&](int row, double value) { z[row] = z[2 * nn + row] = value; };
  while (active > 0) {
    if (active == top) {
      // This segment is done: go on with the one above it, at its own shift.
      sigma = -e[top - 1];
      int t = top - 1;
      while (t > 0 && e[t - 1] > 0) --t;
      top = t;
      bound = segment_bound();
      continue;
    }
    const int b = active - 1, rows = active - top;
    if (rows == 1 || e[b - 1] <= tol2 * (sigma + q[b]) || e[b - 1] <= tol2 * q[b - 1]) {
      store(b, q[b] + sigma);
      --active;
      if (active > top) bound = segment_bound();
      continue;
    }
    if (rows == 2 || e[b - 2] <= tol2 * (sigma + q[b - 1])) {
      // The bottom 2x2 on its own: trace t = q1 + e + q2, determinant q1*q2; the
      // discriminant is a sum of non-negative terms, so nothing cancels.
      const double q1 = q[b - 1], ee = e[b - 1], q22 = q[b];
      const double diff = q1 + ee - q22;
      const double big = 0.5 * (q1 + ee + q22 + std::sqrt(diff * diff + 4.0 * ee * q22));
      const double small = big > 0 ? q1 * q22 / big : 0.0;
      store(b - 1, big + sigma);
      store(b, small + sigma);
      active -= 2;
      if (active > top) bound = segment_bound();
      continue;
    }
    // A negligible off-diagonal inside the segment cuts it; the part below goes on alone, so
    // its shifts are bounded by its own smallest eigenvalue, not by one far above.
    for (int i = b - 3; i >= top; --i) {
      if (e[i] <= tol2 * (sigma + std::min(q[i], q[i + 1]))) {
        e[i] = -sigma;
        std::copy(q + top, q + i + 1, qn + top);
        std::copy(e + top, e + i + 1, en + top);
        top = i + 1;
        break;
      }
    }
    if (top != active - rows) {
      bound = segment_bound();
      continue;
    }
    if (++iterations > max_iterations) {
      *info = 1;
      break;
    }
    bool ok = false;
    double tau = 0, next_bound = 0;
    if (e[b - 1] < kSettled * q[b]) {
      // The bottom has settled: try the smaller root of the trailing 2x2 less its coupling
      // to the row above.  It converges fast from here but may overshoot; the guaranteed
      // lower bound takes over when it does.
      const double q1 = q[b - 1], ee = e[b - 1], q22 = q[b];
      const double diff = q1 + ee - q22;
      const double big = 0.5 * (q1 + ee + q22 + std::sqrt(diff * diff + 4.0 * ee * q22));
      tau = q1 * q22 / big - std::sqrt(q1 * e[b - 2]);
      if (tau > bound) ok = dqds_step(rows, q + top, e + top, tau, qn + top, en + top, &next_bound);
    }
    if (!ok) tau = bound;
    for (int attempt = 0; attempt <= kShiftAttempts && !ok; ++attempt) {
      if (attempt == kShiftAttempts) tau = 0.0;
      ok = dqds_step(rows, q + top, e + top, tau, qn + top, en + top, &next_bound);
      if (!ok) tau *= kShiftRetreat;
    }
    if (!ok) {
      *info = 3;
      break;
    }
    sigma += tau;
    bound = next_bound;
    std::swap(q, qn);
    std::swap(e, en);
  }
  // After a failure the rows still active are reported at their current approximations.
  for (int i = 0; i < active; ++i) z[i] = q[i] + sigma;
  q = z;
  double sum = 0;
  for (int i = 0; i < nn; ++i) sum += q[i];
  std::sort(z, z + nn, std::greater<double>());
  z[2 * nn] = trace;
  z[2 * nn + 1] = sum;
}

}  // namespace ztr
