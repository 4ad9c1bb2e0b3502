/* Selected eigenpairs of a symmetric matrix by relatively robust representations,
 * LAPACKE_dsyevr: the ten smallest by index, then all of those in an interval.  The
 * matrix is built with known eigenvalues 1, 2, ..., n (Q*diag*Q' with Q a product of
 * reflectors), so both selections can be checked exactly. */
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

/* A := H*A*H for the reflector H = I - 2uu'/(u'u). */
static void reflect(int n, double* a, const double* u) {
  double uu = 0;
  for (int i = 0; i < n; ++i) uu += u[i] * u[i];
  for (int side = 0; side < 2; ++side)
    for (int j = 0; j < n; ++j) {
      /* side 0: columns (H*A), side 1: rows (A*H), by symmetry of the result. */
      double s = 0;
      for (int i = 0; i < n; ++i) s += u[i] * (side == 0 ? a[i + j * n] : a[j + i * n]);
      s *= 2 / uu;
      for (int i = 0; i < n; ++i) *(side == 0 ? &a[i + j * n] : &a[j + i * n]) -= s * u[i];
    }
}

int main(void) {
  const int n = 150, wanted = 10;
  unsigned seed = 13;
  double* a0 = calloc((size_t)n * n, sizeof(double));
  double* a = malloc(sizeof(double) * n * n);
  double* z = malloc(sizeof(double) * n * n);
  double* w = malloc(sizeof(double) * n);
  double* u = malloc(sizeof(double) * n);
  int* isuppz = malloc(sizeof(int) * 2 * n);
  for (int i = 0; i < n; ++i) a0[i + i * n] = i + 1;
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < n; ++i) u[i] = random_value(&seed);
    reflect(n, a0, u);
  }
  int failures = 0;

  /* The ten smallest: indices 1..10 (one-based), eigenvalues 1..10. */
  memcpy(a, a0, sizeof(double) * n * n);
  int m = 0;
  int info = LAPACKE_dsyevr(ZTR_COL_MAJOR, 'V', 'I', 'L', n, a, n, 0, 0, 1, wanted, 0.0, &m, w, z,
                            n, isuppz);
  double err = 0, res = 0;
  for (int k = 0; k < m; ++k) {
    err = fmax(err, fabs(w[k] - (k + 1)));
    for (int i = 0; i < n; ++i) {
      double s = -w[k] * z[i + k * n];
      for (int p = 0; p < n; ++p) s += a0[i + p * n] * z[p + k * n];
      res = fmax(res, fabs(s));
    }
  }
  const int by_index =
      info == 0 && m == wanted && err < 100 * n * DBL_EPSILON && res < 100 * n * n * DBL_EPSILON;
  printf(
      "LAPACKE_dsyevr  range 'I' 1..%d: %d found, eigenvalues and residuals within n eps "
      "bounds: %s\n",
      wanted, m, by_index ? "pass" : "FAIL");
  failures += !by_index;

  /* Those in (20.5, 30.5]: exactly 21..30. */
  memcpy(a, a0, sizeof(double) * n * n);
  info = LAPACKE_dsyevr(ZTR_COL_MAJOR, 'N', 'V', 'L', n, a, n, 20.5, 30.5, 0, 0, 0.0, &m, w, z, n,
                        isuppz);
  err = 0;
  for (int k = 0; k < m; ++k) err = fmax(err, fabs(w[k] - (21 + k)));
  const int by_value = info == 0 && m == 10 && err < 100 * n * DBL_EPSILON;
  printf("LAPACKE_dsyevr  range 'V' (20.5, 30.5]: %d found (expected 10), values match: %s\n", m,
         by_value ? "pass" : "FAIL");
  failures += !by_value;

  free(a0);
  free(a);
  free(z);
  free(w);
  free(u);
  free(isuppz);
  return failures == 0 ? 0 : 1;
}
