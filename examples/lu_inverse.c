/* LU factorization and inverse: LAPACKE_dgetrf factors P*A = L*U, LAPACKE_dgetri forms
 * inv(A) from the factors.  Both are judged by residuals relative to n*eps: a backward
 * stable LU on a random matrix leaves ||P*A - L*U|| / (||A|| n eps) of order one. */
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

/* Largest column sum of |x| for an n x n column-major matrix. */
static double norm1(int n, const double* x) {
  double worst = 0;
  for (int j = 0; j < n; ++j) {
    double s = 0;
    for (int i = 0; i < n; ++i) s += fabs(x[i + j * n]);
    if (s > worst) worst = s;
  }
  return worst;
}

int main(void) {
  const int n = 150;
  unsigned seed = 3;
  double* a0 = malloc(sizeof(double) * n * n);
  double* lu = malloc(sizeof(double) * n * n);
  double* r = malloc(sizeof(double) * n * n);
  int* ipiv = malloc(sizeof(int) * n);
  for (int i = 0; i < n * n; ++i) a0[i] = random_value(&seed);
  memcpy(lu, a0, sizeof(double) * n * n);
  int failures = 0;

  int info = LAPACKE_dgetrf(ZTR_COL_MAJOR, n, n, lu, n, ipiv);
  /* P*A - L*U: apply the row interchanges to a copy of A, then subtract L*U. */
  memcpy(r, a0, sizeof(double) * n * n);
  for (int i = 0; i < n; ++i)
    if (ipiv[i] - 1 != i)
      for (int j = 0; j < n; ++j) {
        const double t = r[i + j * n];
        r[i + j * n] = r[ipiv[i] - 1 + j * n];
        r[ipiv[i] - 1 + j * n] = t;
      }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int p = 0; p <= (i < j ? i : j); ++p)
        s += (p == i ? 1.0 : lu[i + p * n]) * lu[p + j * n];
      r[i + j * n] -= s;
    }
  const double lu_res = norm1(n, r) / (norm1(n, a0) * n * DBL_EPSILON);
  printf("LAPACKE_dgetrf  info %d, ||PA - LU|| / (||A|| n eps) below 10: %s\n", info,
         info == 0 && lu_res < 10 ? "pass" : "FAIL");
  failures += !(info == 0 && lu_res < 10);

  info = LAPACKE_dgetri(ZTR_COL_MAJOR, n, lu, n, ipiv);
  /* A*inv(A) - I relative to ||A|| ||inv(A)|| n eps. */
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (int p = 0; p < n; ++p) s += a0[i + p * n] * lu[p + j * n];
      r[i + j * n] = s;
    }
  const double inv_res = norm1(n, r) / (norm1(n, a0) * norm1(n, lu) * n * DBL_EPSILON);
  printf("LAPACKE_dgetri  info %d, ||A inv(A) - I|| / (||A|| ||inv(A)|| n eps) below 10: %s\n",
         info, info == 0 && inv_res < 10 ? "pass" : "FAIL");
  failures += !(info == 0 && inv_res < 10);

  /* A singular matrix: the first exactly zero pivot is reported, not a failure code. */
  double singular[4] = {1, 2, 2, 4};
  int piv2[2];
  info = LAPACKE_dgetrf(ZTR_COL_MAJOR, 2, 2, singular, 2, piv2);
  printf("LAPACKE_dgetrf  singular 2x2 reports info 2: %s\n", info == 2 ? "pass" : "FAIL");
  failures += info != 2;

  free(a0);
  free(lu);
  free(r);
  free(ipiv);
  return failures == 0 ? 0 : 1;
}
