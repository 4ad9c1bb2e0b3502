#include "lapack/tridiagonal/dsterf.h"

#include <cmath>

#include "lapack/auxiliary/dlaev2.h"
#include "lapack/auxiliary/dlapy2.h"
#include "lapack/auxiliary/dlasrt.h"
#include "lapack/dlamch.h"
#include "lapack/tridiagonal/tridiagonal_scaling.h"
#include "service/error.h"

namespace ztr {

void dsterf(const int* n, double* d_arg, double* e_arg, int* info) {
  const int nn = *n;
  *info = 0;
  if (nn < 0) {
    const int bad = 1;
    *info = -1;
    xerbla_dispatch("DSTERF", &bad, 6);
    return;
  }
  if (nn <= 1) return;
  // One-based views, so that the index arithmetic reads as in the published algorithm.
  double* d = d_arg - 1;
  double* e = e_arg - 1;
  UnreducedBlocks blocks(nn);
  const double eps2 = blocks.eps * blocks.eps;
  const int nmaxit = blocks.max_iterations();
  int jtot = 0;

  int lsv = 0, lendsv = 0;
  while (blocks.next(d, e, &lsv, &lendsv)) {
    int l = lsv;
    int lend = lendsv;
    for (int i = l; i < lend; ++i) e[i] *= e[i];

    // QL when the larger end is at the bottom, QR otherwise.
    if (std::fabs(d[lend]) < std::fabs(d[l])) {
      lend = lsv;
      l = lendsv;
    }
    if (lend >= l) {
      // QL iteration: look for small subdiagonal entries from the top.
      while (l <= lend) {
        int mm = l;
        for (; mm < lend; ++mm)
          if (std::fabs(e[mm]) <= eps2 * std::fabs(d[mm] * d[mm + 1])) break;
        if (mm < lend) e[mm] = 0.0;
        double p = d[l];
        if (mm == l) {
          d[l] = p;
          ++l;
          continue;
        }
        if (mm == l + 1) {
          double rt1, rt2;
          dlae2(d[l], std::sqrt(e[l]), d[l + 1], &rt1, &rt2);
          d[l] = rt1;
          d[l + 1] = rt2;
          e[l] = 0.0;
          l += 2;
          continue;
        }
        if (jtot == nmaxit) break;
        ++jtot;
        // Shift from the leading 2 x 2 block.
        const double rte = std::sqrt(e[l]);
        double sigma = (d[l + 1] - p) / (2.0 * rte);
        double r = dlapy2(sigma, 1.0);
        sigma = p - rte / (sigma + std::copysign(r, sigma));
        double c = 1.0, s = 0.0;
        double gamma = d[mm] - sigma;
        p = gamma * gamma;
        for (int i = mm - 1; i >= l; --i) {
          const double bb = e[i];
          r = p + bb;
          if (i != mm - 1) e[i + 1] = s * r;
          const double oldc = c;
          c = p / r;
          s = bb / r;
          const double oldgam = gamma;
          const double alpha = d[i];
          gamma = c * (alpha - sigma) - s * oldgam;
          d[i + 1] = oldgam + (alpha - gamma);
          p = c != 0.0 ? (gamma * gamma) / c : oldc * bb;
        }
        e[l] = s * p;
        d[l] = sigma + gamma;
      }
    } else {
      // QR iteration: look for small superdiagonal entries from the bottom.
      while (l >= lend) {
        int mm = l;
        for (; mm > lend; --mm)
          if (std::fabs(e[mm - 1]) <= eps2 * std::fabs(d[mm] * d[mm - 1])) break;
        if (mm > lend) e[mm - 1] = 0.0;
        double p = d[l];
        if (mm == l) {
          d[l] = p;
          --l;
          continue;
        }
        if (mm == l - 1) {
          double rt1, rt2;
          dlae2(d[l], std::sqrt(e[l - 1]), d[l - 1], &rt1, &rt2);
          d[l] = rt1;
          d[l - 1] = rt2;
          e[l - 1] = 0.0;
          l -= 2;
          continue;
        }
        if (jtot == nmaxit) break;
        ++jtot;
        const double rte = std::sqrt(e[l - 1]);
        double sigma = (d[l - 1] - p) / (2.0 * rte);
        double r = dlapy2(sigma, 1.0);
        sigma = p - rte / (sigma + std::copysign(r, sigma));
        double c = 1.0, s = 0.0;
        double gamma = d[mm] - sigma;
        p = gamma * gamma;
        for (int i = mm; i <= l - 1; ++i) {
          const double bb = e[i];
          r = p + bb;
          if (i != mm) e[i - 1] = s * r;
          const double oldc = c;
          c = p / r;
          s = bb / r;
          const double oldgam = gamma;
          const double alpha = d[i + 1];
          gamma = c * (alpha - sigma) - s * oldgam;
          d[i] = oldgam + (alpha - gamma);
          p = c != 0.0 ? (gamma * gamma) / c : oldc * bb;
        }
        e[l - 1] = s * p;
        d[l] = sigma + gamma;
      }
    }
    // Only d is scaled back: e holds squares here and is not part of the result.
    blocks.scaling.unscale(lendsv - lsv + 1, d + lsv, 0, nullptr);
    if (jtot >= nmaxit) {
      for (int i = 1; i < nn; ++i)
        if (e[i] != 0.0) ++*info;
      if (*info != 0) return;
      break;
    }
  }
  dlasrt("I", n, d_arg, info);
}

}  // namespace ztr
