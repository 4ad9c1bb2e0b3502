#include "lapack/tridiagonal/dlaed4.h"

#include <cmath>

#include "lapack/dlamch.h"

namespace ztr {

namespace {

// Bisection halves the bracket; with the interpolation steps convergence takes a handful of
// iterations, so this limit is only reached on nonsense input.
constexpr int kMaxIterations = 400;

// The secular function g(tau) = 1/rho + psi + phi on the shifted poles dd (the eigenvalue is
// origin + tau), split at the root's lower pole: psi sums i <= split, phi the rest.
struct SecularValue {
  double g, psi, dpsi, phi, dphi, abs_sum;
};

SecularValue evaluate(int n, int split, const double* dd, const double* z, double rho_inv,
                      double tau) {
  SecularValue v{0, 0, 0, 0, 0, 0};
  for (int i = 0; i <= split; ++i) {
    const double t = z[i] / (dd[i] - tau);
    v.psi += z[i] * t;
    v.dpsi += t * t;
  }
  for (int i = split + 1; i < n; ++i) {
    const double t = z[i] / (dd[i] - tau);
    v.phi += z[i] * t;
    v.dphi += t * t;
  }
  v.g = rho_inv + v.psi + v.phi;
  v.abs_sum = rho_inv - v.psi + v.phi;
  return v;
}

}  // namespace

void dlaed4(int n, int j, const double* d, const double* z, double* delta, double rho, double* dlam,
            int* info) {
  *info = 0;
  if (n == 1) {
    *dlam = d[0] + rho * z[0] * z[0];
    delta[0] = 1.0;
    return;
  }
  const double eps = dlamch("E");
  const double rho_inv = 1.0 / rho;
  const int k = j - 1;  // zero-based index of the lower pole
  const bool last = k == n - 1;

  // Origin: the pole nearer the root, so that d(i) - lambda = (d(i) - d(origin)) - tau keeps
  // its relative accuracy for the two poles that bracket the root.
  int origin = k;
  double lo = 0.0, hi = 0.0;
  if (last) {
    double zz = 0.0;
    for (int i = 0; i < n; ++i) zz += z[i] * z[i];
    hi = rho * zz;
  } else {
    const double width = d[k + 1] - d[k];
    for (int i = 0; i < n; ++i) delta[i] = d[i] - d[k];
    const SecularValue mid = evaluate(n, k, delta, z, rho_inv, width / 2);
    if (mid.g >= 0.0) {
      hi = width / 2;
    } else {
      origin = k + 1;
      lo = -width / 2;
    }
  }
  for (int i = 0; i < n; ++i) delta[i] = d[i] - d[origin];

  double tau = (lo + hi) / 2;
  bool converged = false;
  for (int iter = 0; iter < kMaxIterations && !converged; ++iter) {
    const SecularValue v = evaluate(n, k, delta, z, rho_inv, tau);
    const double tol = eps * (8.0 * v.abs_sum + std::fabs(tau) * (v.dpsi + v.dphi));
    if (std::fabs(v.g) <= tol) {
      converged = true;
      break;
    }
    // g increases with tau: the root lies below tau where g > 0.
    if (v.g > 0.0) {
      hi = tau;
    } else {
      lo = tau;
    }
    // Interpolate psi by a + b/(p - x) and phi by a' + b'/(q - x) through the value and the
    // slope at tau, and take the model's root between its poles.
    double eta;
    const double dp = delta[k] - tau;
    const double b1 = v.dpsi * dp * dp;
    if (last) {
      const double c = v.g - b1 / dp;
      eta = c > 0.0 ? dp + b1 / c : hi - tau;
    } else {
      const double dq = delta[k + 1] - tau;
      const double b2 = v.dphi * dq * dq;
      const double c = v.g - b1 / dp - b2 / dq;
      const double b = c * (dp + dq) + b1 + b2;
      const double cc = dp * dq * v.g;
      if (c == 0.0) {
        eta = cc / b;
      } else {
        const double disc = std::sqrt(std::fmax(b * b - 4.0 * c * cc, 0.0));
        const double big = b >= 0.0 ? b + disc : b - disc;
        const double small_root = 2.0 * cc / big;
        const double large_root = big / (2.0 * c);
        const double t1 = tau + small_root;
        eta = (t1 > lo && t1 < hi) ? small_root : large_root;
      }
    }
    double next = tau + eta;
    if (!(next > lo && next < hi)) next = lo + (hi - lo) / 2;
    // The bracket cannot shrink any further: tau is as good as the arithmetic allows.
    if (next == tau || hi - lo <= 2.0 * eps * std::fmax(std::fabs(lo), std::fabs(hi))) {
      converged = true;
    }
    tau = next;
  }
  if (!converged) *info = 1;
  for (int i = 0; i < n; ++i) delta[i] -= tau;
  *dlam = d[origin] + tau;
  if (n == 2) {
    // The eigenvector of a 2 x 2 problem is z ./ (d - lambda), normalised.
    const double v0 = z[0] / delta[0], v1 = z[1] / delta[1];
    const double norm = std::hypot(v0, v1);
    delta[0] = v0 / norm;
    delta[1] = v1 / norm;
  }
}

}  // namespace ztr
