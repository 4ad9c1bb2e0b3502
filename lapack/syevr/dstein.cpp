#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "lapack/dlamch.h"
#include "lapack/syevr/tridiagonal.h"
#include "service/error.h"

namespace ztr {
namespace {

constexpr int kMaxIterations = 5;          // inverse iterations before a vector is given up
constexpr int kExtraIterations = 2;        // iterations after the growth test is passed
constexpr double kClusterFraction = 1e-3;  // eigenvalues this close (relative to ||T||_1)
                                           // have their vectors orthogonalised together
constexpr double kSeparationUlps = 10.0;   // nearly equal shifts are pushed this far apart
constexpr double kCancellation = 0.25;     // a Gram-Schmidt pass that leaves less of the
                                           // squared norm than this is repeated

// LU factorization with partial pivoting of the tridiagonal T - shift*I of order k
// (diagonal d, off-diagonal e): U has the diagonals u0, u1, u2; l holds the multipliers and
// swapped(i) says whether rows i and i+1 were exchanged.  The pivot is chosen by the entries'
// size relative to their rows (as DLAGTF does), so that a row of tiny entries is not
// mistaken for a small pivot.
void factor_shifted(int k, const double* d, const double* e, double shift, double* u0, double* u1,
                    double* u2, double* l, int* swapped) {
  double diag = d[0] - shift;
  double sup = k > 1 ? e[0] : 0.0;
  double scale1 = std::fabs(diag) + std::fabs(sup);
  for (int i = 0; i + 1 < k; ++i) {
    const double sub = e[i];
    const double next_diag = d[i + 1] - shift;
    const double next_sup = i + 2 < k ? e[i + 1] : 0.0;
    const double scale2 = std::fabs(sub) + std::fabs(next_diag) + std::fabs(next_sup);
    const double piv1 = diag == 0.0 ? 0.0 : std::fabs(diag) / scale1;
    const double piv2 = sub == 0.0 ? 0.0 : std::fabs(sub) / scale2;
    if (sub == 0.0 || piv2 <= piv1) {
      const double mult = sub == 0.0 ? 0.0 : sub / diag;
      swapped[i] = 0;
      l[i] = mult;
      u0[i] = diag;
      u1[i] = sup;
      u2[i] = 0.0;
      diag = next_diag - mult * sup;
      sup = next_sup;
      scale1 = scale2;
    } else {
      const double mult = diag / sub;
      swapped[i] = 1;
      l[i] = mult;
      u0[i] = sub;
      u1[i] = next_diag;
      u2[i] = next_sup;
      diag = sup - mult * next_diag;
      sup = -mult * next_sup;
    }
  }
  u0[k - 1] = diag;
}

// Solves (T - shift*I) x = b in place from the factorization (DLAGTS with its perturbation):
// a small pivot is used as it is, since inverse iteration wants the growth it gives; only a
// pivot that is zero, or so small that the quotient would overflow, is pushed away from zero
// by tol = eps * (largest entry of U), doubled until the quotient is representable.
void solve_shifted(int k, const double* u0, const double* u1, const double* u2, const double* l,
                   const int* swapped, double eps, double* b) {
  const double sfmin = dlamch("S");
  const double bignum = 1.0 / sfmin;
  double tol = std::fabs(u0[0]);
  for (int i = 1; i < k; ++i) tol = std::max({tol, std::fabs(u0[i]), std::fabs(u1[i - 1])});
  for (int i = 2; i < k; ++i) tol = std::max(tol, std::fabs(u2[i - 2]));
  tol *= eps;
  if (tol == 0.0) tol = eps;
  for (int i = 0; i + 1 < k; ++i) {
    if (swapped[i]) std::swap(b[i], b[i + 1]);
    b[i + 1] -= l[i] * b[i];
  }
  for (int i = k - 1; i >= 0; --i) {
    double s = b[i];
    if (i + 1 < k) s -= u1[i] * b[i + 1];
    if (i + 2 < k) s -= u2[i] * b[i + 2];
    double p = u0[i];
    double pert = std::copysign(tol, p);
    for (;;) {
      const double ap = std::fabs(p);
      if (ap >= 1.0) break;
      if (ap < sfmin) {
        if (ap == 0.0 || std::fabs(s) * sfmin > ap) {
          p += pert;
          pert *= 2;
          continue;
        }
        s *= bignum;
        p *= bignum;
        break;
      }
      if (std::fabs(s) > ap * bignum) {
        p += pert;
        pert *= 2;
        continue;
      }
      break;
    }
    b[i] = s / p;
  }
}

double sum_of_squares(int k, const double* b) {
  double s = 0;
  for (int r = 0; r < k; ++r) s += b[r] * b[r];
  return s;
}

// One pass of modified Gram-Schmidt of b against the count columns of z (leading dim ld).
void orthogonalize(int k, const double* z, int ld, int count, double* b) {
  for (int i = 0; i < count; ++i) {
    const double* zi = z + static_cast<std::ptrdiff_t>(i) * ld;
    double dot = 0;
    for (int r = 0; r < k; ++r) dot += zi[r] * b[r];
    for (int r = 0; r < k; ++r) b[r] -= dot * zi[r];
  }
}

// Deterministic uniform(-1, 1) start vectors.
double next_uniform(std::uint64_t* state) {
  *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(*state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

}  // namespace

void dstein(const int* n, const double* d, const double* e, const int* m, const double* w,
            const int* iblock, const int* isplit, double* z, const int* ldz, double* work,
            int* iwork, int* ifail, int* info) {
  const int nn = *n, mm = *m, ld = *ldz;
  *info = 0;
  for (int j = 0; j < mm; ++j) ifail[j] = 0;
  if (nn < 0) {
    *info = -1;
  } else if (mm < 0 || mm > nn) {
    *info = -4;
  } else if (ld < std::max(1, nn)) {
    *info = -9;
  } else {
    for (int j = 1; j < mm; ++j) {
      if (iblock[j] < iblock[j - 1]) {
        *info = -6;
        break;
      }
      if (iblock[j] == iblock[j - 1] && w[j] < w[j - 1]) {
        *info = -5;
        break;
      }
    }
  }
  if (*info != 0) {
    const int pos = -*info;
    xerbla_dispatch("DSTEIN", &pos, 6);
    return;
  }
  if (nn == 0 || mm == 0) return;
  auto col = [&](int j) { return z + static_cast<std::ptrdiff_t>(j) * ld; };
  if (nn == 1) {
    col(0)[0] = 1.0;
    return;
  }
  const double eps = dlamch("P");
  double* b = work;
  double* u0 = work + nn;
  double* u1 = work + 2 * nn;
  double* u2 = work + 3 * nn;
  double* l = work + 4 * nn;
  int* swapped = iwork;
  std::uint64_t seed = 0x2545F4914F6CDD1DULL;
  int failures = 0;

  int j = 0;
  for (int nblk = 1; nblk <= iblock[mm - 1]; ++nblk) {
    const int first = nblk == 1 ? 0 : isplit[nblk - 2];
    const int last = isplit[nblk - 1] - 1;
    const int size = last - first + 1;
    if (size == 1) {
      for (; j < mm && iblock[j] == nblk; ++j) {
        double* zj = col(j);
        std::fill(zj, zj + nn, 0.0);
        zj[first] = 1.0;
      }
      continue;
    }
    double onenrm = std::fabs(d[first]) + std::fabs(e[first]);
    onenrm = std::max(onenrm, std::fabs(d[last]) + std::fabs(e[last - 1]));
    for (int i = first + 1; i < last; ++i)
      onenrm = std::max(onenrm, std::fabs(d[i]) + std::fabs(e[i - 1]) + std::fabs(e[i]));
    const double ortol = kClusterFraction * onenrm;
    const double growth = std::sqrt(0.1 / size);
    int cluster_start = j;
    double xjm = 0;
    for (int jb = j; j < mm && iblock[j] == nblk; ++j) {
      double xj = w[j];
      if (j > jb) {
        const double pertol = kSeparationUlps * std::fabs(eps * xj);
        if (xj - xjm < pertol) xj = xjm + pertol;
        if (xj - xjm > ortol) cluster_start = j;
      }
      for (int i = 0; i < size; ++i) b[i] = next_uniform(&seed);
      factor_shifted(size, d + first, e + first, xj, u0, u1, u2, l, swapped);
      const double unn = std::fabs(u0[size - 1]);
      int extra = 0;
      bool converged = false;
      for (int its = 0; its < kMaxIterations; ++its) {
        // Scaled by the largest entry, not by a norm that grows with the order: the solve
        // must see a right-hand side of the pivot's size, or with clustered tiny
        // eigenvalues the growth test is missed and the vector reported as unconverged.
        double bmax = 0;
        for (int i = 0; i < size; ++i) bmax = std::max(bmax, std::fabs(b[i]));
        if (bmax == 0.0) {
          // Gram-Schmidt took everything (more vectors asked for than the cluster holds
          // to working precision): start again from another vector rather than divide by 0.
          for (int i = 0; i < size; ++i) b[i] = next_uniform(&seed);
          continue;
        }
        const double scale = size * onenrm * std::max(eps, unn) / bmax;
        for (int i = 0; i < size; ++i) b[i] *= scale;
        solve_shifted(size, u0, u1, u2, l, swapped, eps, b);
        // Modified Gram-Schmidt against the earlier vectors of the cluster, repeated once
        // when it cancelled most of the vector ("twice is enough"): in a cluster at rounding
        // level the solve leaves the earlier directions dominant, and one pass then keeps
        // their rounding errors at the size of what remains.
        if (cluster_start < j) {
          const double before = sum_of_squares(size, b);
          orthogonalize(size, col(cluster_start) + first, ld, j - cluster_start, b);
          if (sum_of_squares(size, b) < kCancellation * before)
            orthogonalize(size, col(cluster_start) + first, ld, j - cluster_start, b);
        }
        double nrmmax = 0;
        for (int i = 0; i < size; ++i) nrmmax = std::max(nrmmax, std::fabs(b[i]));
        if (nrmmax >= growth) {
          if (++extra > kExtraIterations) {
            converged = true;
            break;
          }
        }
      }
      if (!converged) ifail[failures++] = j + 1;
      double nrm = 0;
      int jmax = 0;
      for (int i = 0; i < size; ++i) {
        nrm += b[i] * b[i];
        if (std::fabs(b[i]) > std::fabs(b[jmax])) jmax = i;
      }
      const double scl = (b[jmax] < 0 ? -1.0 : 1.0) / std::sqrt(nrm);
      double* zj = col(j);
      std::fill(zj, zj + nn, 0.0);
      for (int i = 0; i < size; ++i) zj[first + i] = b[i] * scl;
      xjm = xj;
    }
  }
  *info = failures;
}

}  // namespace ztr
