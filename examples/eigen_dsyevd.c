/* All eigenvalues and eigenvectors of a symmetric matrix by divide and conquer,
 * LAPACKE_dsyevd.  Checked by ||A*V - V*diag(w)|| relative to ||A|| n eps, the orthogonality
 * of V, and the eigenvalues' order. */
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
  const int n = 200;
  unsigned seed = 11;
  double* a0 = malloc(sizeof(double) * n * n);
  double* v = malloc(sizeof(double) * n * n);
  double* w = malloc(sizeof(double) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) a0[i + j * n] = a0[j + i * n] = random_value(&seed);
  memcpy(v, a0, sizeof(double) * n * n);

  /* jobz 'V': eigenvectors overwrite the matrix; only its upper triangle is read. */
  const int info = LAPACKE_dsyevd(ZTR_COL_MAJOR, 'V', 'U', n, v, n, w);
  double res = 0, orth = 0, anorm = 0;
  int ascending = 1;
  for (int i = 0; i < n; ++i) {
    double row = 0;
    for (int j = 0; j < n; ++j) row += fabs(a0[i + j * n]);
    anorm = fmax(anorm, row);
    if (i > 0 && w[i] < w[i - 1]) ascending = 0;
  }
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < n; ++i) {
      double s = -w[k] * v[i + k * n], g = i == k ? -1.0 : 0.0;
      for (int p = 0; p < n; ++p) {
        s += a0[i + p * n] * v[p + k * n];
        g += v[p + i * n] * v[p + k * n];
      }
      res = fmax(res, fabs(s));
      orth = fmax(orth, fabs(g));
    }
  const double rr = res / (anorm * n * DBL_EPSILON), oo = orth / (n * DBL_EPSILON);
  printf("LAPACKE_dsyevd  n %d, info %d, eigenvalues ascending: %s\n", n, info,
         info == 0 && ascending ? "pass" : "FAIL");
  printf("LAPACKE_dsyevd  max|AV - VW| / (||A|| n eps) below 10: %s\n", rr < 10 ? "pass" : "FAIL");
  printf("LAPACKE_dsyevd  max|V'V - I| / (n eps) below 10: %s\n", oo < 10 ? "pass" : "FAIL");
  const int failures = !(info == 0 && ascending) + !(rr < 10) + !(oo < 10);

  free(a0);
  free(v);
  free(w);
  return failures == 0 ? 0 : 1;
}
