#include "lapack/tridiagonal/dsteqr.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "blas/level1/level1.h"
#include "lapack/auxiliary/dlaev2.h"
#include "lapack/auxiliary/dlapy2.h"
#include "lapack/auxiliary/dlartg.h"
#include "lapack/auxiliary/dlasr.h"
#include "lapack/auxiliary/dlaset.h"
#include "lapack/auxiliary/dlasrt.h"
#include "lapack/dlamch.h"
#include "lapack/tridiagonal/compz.h"
#include "lapack/tridiagonal/tridiagonal_scaling.h"
#include "service/error.h"

namespace ztr {

void dsteqr(const char* compz, const int* n, double* d_arg, double* e_arg, double* z,
            const int* ldz, double* work_arg, int* info) {
  const int nn = *n;
  int icompz = 0;
  int bad = check_compz(compz, nn, *ldz, &icompz);
  *info = -bad;
  if (bad != 0) {
    xerbla_dispatch("DSTEQR", &bad, 6);
    return;
  }
  if (nn == 0) return;
  if (nn == 1) {
    if (icompz == 2) z[0] = 1.0;
    return;
  }
  const std::ptrdiff_t ld = *ldz;
  // One-based views for the index arithmetic of the published algorithm.
  double* d = d_arg - 1;
  double* e = e_arg - 1;
  double* work = work_arg - 1;
  auto zcol = [&](int j) { return z + (j - 1) * ld; };

  UnreducedBlocks blocks(nn);
  const double eps2 = blocks.eps * blocks.eps;
  const double safmin = dlamch("S");
  if (icompz == 2) {
    const double zero = 0.0, one = 1.0;
    dlaset("Full", n, n, &zero, &one, z, ldz);
  }
  const int nmaxit = blocks.max_iterations();
  int jtot = 0;
  // Applies the rotations saved in work[l..l+count-2] (cosines) and work[n-1+l..] (sines) to
  // columns l..l+count-1 of z.
  auto rotate_columns = [&](const char* direct, int l, int count) {
    dlasr("R", "V", direct, n, &count, &work[l], &work[nn - 1 + l], zcol(l), ldz);
  };

  int lsv = 0, lendsv = 0;
  while (blocks.next(d, e, &lsv, &lendsv)) {
    int l = lsv;
    int lend = lendsv;

    if (std::fabs(d[lend]) < std::fabs(d[l])) {
      lend = lsv;
      l = lendsv;
    }
    if (lend > l) {
      // QL iteration.
      while (l <= lend) {
        int mm = l;
        for (; mm < lend; ++mm) {
          const double tst = std::fabs(e[mm]) * std::fabs(e[mm]);
          if (tst <= (eps2 * std::fabs(d[mm])) * std::fabs(d[mm + 1]) + safmin) break;
        }
        if (mm < lend) e[mm] = 0.0;
        double p = d[l];
        if (mm == l) {
          ++l;
          continue;
        }
        if (mm == l + 1) {
          double rt1, rt2, c, s;
          if (icompz > 0) {
            dlaev2(d[l], e[l], d[l + 1], &rt1, &rt2, &c, &s);
            work[l] = c;
            work[nn - 1 + l] = s;
            rotate_columns("B", l, 2);
          } else {
            dlae2(d[l], e[l], d[l + 1], &rt1, &rt2);
          }
          d[l] = rt1;
          d[l + 1] = rt2;
          e[l] = 0.0;
          l += 2;
          continue;
        }
        if (jtot == nmaxit) break;
        ++jtot;
        double g = (d[l + 1] - p) / (2.0 * e[l]);
        double r = dlapy2(g, 1.0);
        g = d[mm] - p + (e[l] / (g + std::copysign(r, g)));
        double s = 1.0, c = 1.0;
        p = 0.0;
        for (int i = mm - 1; i >= l; --i) {
          const double f = s * e[i];
          const double b = c * e[i];
          dlartg(g, f, &c, &s, &r);
          if (i != mm - 1) e[i + 1] = r;
          g = d[i + 1] - p;
          r = (d[i] - g) * s + 2.0 * c * b;
          p = s * r;
          d[i + 1] = g + p;
          g = c * r - b;
          if (icompz > 0) {
            work[i] = c;
            work[nn - 1 + i] = -s;
          }
        }
        if (icompz > 0) rotate_columns("B", l, mm - l + 1);
        d[l] -= p;
        e[l] = g;
      }
    } else {
      // QR iteration.
      while (l >= lend) {
        int mm = l;
        for (; mm > lend; --mm) {
          const double tst = std::fabs(e[mm - 1]) * std::fabs(e[mm - 1]);
          if (tst <= (eps2 * std::fabs(d[mm])) * std::fabs(d[mm - 1]) + safmin) break;
        }
        if (mm > lend) e[mm - 1] = 0.0;
        double p = d[l];
        if (mm == l) {
          --l;
          continue;
        }
        if (mm == l - 1) {
          double rt1, rt2, c, s;
          if (icompz > 0) {
            dlaev2(d[l - 1], e[l - 1], d[l], &rt1, &rt2, &c, &s);
            work[mm] = c;
            work[nn - 1 + mm] = s;
            rotate_columns("F", l - 1, 2);
          } else {
            dlae2(d[l - 1], e[l - 1], d[l], &rt1, &rt2);
          }
          d[l - 1] = rt1;
          d[l] = rt2;
          e[l - 1] = 0.0;
          l -= 2;
          continue;
        }
        if (jtot == nmaxit) break;
        ++jtot;
        double g = (d[l - 1] - p) / (2.0 * e[l - 1]);
        double r = dlapy2(g, 1.0);
        g = d[mm] - p + (e[l - 1] / (g + std::copysign(r, g)));
        double s = 1.0, c = 1.0;
        p = 0.0;
        for (int i = mm; i <= l - 1; ++i) {
          const double f = s * e[i];
          const double b = c * e[i];
          dlartg(g, f, &c, &s, &r);
          if (i != mm) e[i - 1] = r;
          g = d[i] - p;
          r = (d[i + 1] - g) * s + 2.0 * c * b;
          p = s * r;
          d[i] = g + p;
          g = c * r - b;
          if (icompz > 0) {
            work[i] = c;
            work[nn - 1 + i] = s;
          }
        }
        if (icompz > 0) rotate_columns("F", mm, l - mm + 1);
        d[l] -= p;
        e[l - 1] = g;
      }
    }
    blocks.scaling.unscale(lendsv - lsv + 1, d + lsv, std::max(lendsv - lsv, 0), e + lsv);
    if (jtot >= nmaxit) {
      for (int i = 1; i < nn; ++i)
        if (e[i] != 0.0) ++*info;
      if (*info != 0) return;
      break;
    }
  }
  if (icompz == 0) {
    dlasrt("I", n, d_arg, info);
    return;
  }
  // Selection sort, which moves each eigenvector at most once.
  const int inc1 = 1;
  for (int ii = 2; ii <= nn; ++ii) {
    const int i = ii - 1;
    int k = i;
    double p = d[i];
    for (int j = ii; j <= nn; ++j) {
      if (d[j] < p) {
        k = j;
        p = d[j];
      }
    }
    if (k != i) {
      d[k] = d[i];
      d[i] = p;
      blas_dswap(n, zcol(i), &inc1, zcol(k), &inc1);
    }
  }
}

}  // namespace ztr
