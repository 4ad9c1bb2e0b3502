/* Cholesky factorization with complete pivoting of a positive semidefinite matrix:
 * LAPACKE_dpstrf finds P'*A*P = L*L' and the numerical rank.  A = G*G' with G of rank r
 * must give rank r and a small residual. */
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ztr.h>

static double random_value(unsigned* state) {
  *state = *state * 1664525u + 1013904223u;
  return (double)(*state >> 8) / (double)(1u << 24) * 2.0 - 1.0;
}

int main(void) {
  const int n = 120, r = 70;
  unsigned seed = 7;
  double* g = malloc(sizeof(double) * n * r);
  double* a0 = malloc(sizeof(double) * n * n);
  double* a = malloc(sizeof(double) * n * n);
  int* piv = malloc(sizeof(int) * n);
  for (int i = 0; i < n * r; ++i) g[i] = random_value(&seed);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int p = 0; p < r; ++p) s += g[i + p * n] * g[j + p * n];
      a0[i + j * n] = s;
    }
  memcpy(a, a0, sizeof(double) * n * n);

  int rank = 0;
  const int info = LAPACKE_dpstrf(ZTR_COL_MAJOR, 'L', n, a, n, piv, &rank, -1.0);
  /* (L*L')(i,j) against A(piv(i), piv(j)), with the first `rank` columns of L. */
  double res = 0, anorm = 0;
  for (int j = 0; j < n; ++j)
    for (int i = j; i < n; ++i) {
      double s = 0;
      for (int p = 0; p <= j && p < rank; ++p) s += a[i + p * n] * a[j + p * n];
      const double aij = a0[(piv[i] - 1) + (piv[j] - 1) * n];
      res = fmax(res, fabs(aij - s));
      anorm = fmax(anorm, fabs(aij));
    }
  const double ratio = res / (anorm * n * DBL_EPSILON);
  printf("LAPACKE_dpstrf  n %d, rank %d found (expected %d), return %d (1: rank deficient): %s\n",
         n, rank, r, info, rank == r && info == 1 ? "pass" : "FAIL");
  printf("LAPACKE_dpstrf  max|P'AP - LL'| / (max|A| n eps) below 100: %s\n",
         ratio < 100 ? "pass" : "FAIL");
  const int failures = !(rank == r && info == 1) + !(ratio < 100);

  free(g);
  free(a0);
  free(a);
  free(piv);
  return failures == 0 ? 0 : 1;
}
