/* QR factorization and Q: LAPACKE_dgeqrf leaves R and the Householder reflectors in A,
 * LAPACKE_dorgqr forms the first n columns of Q from them.  Checked by ||A - Q*R|| and the
 * orthogonality ||Q'Q - I||, both relative to m*eps. */
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
  const int m = 300, n = 80;
  unsigned seed = 5;
  double* a0 = malloc(sizeof(double) * m * n);
  double* q = malloc(sizeof(double) * m * n);
  double* rr = malloc(sizeof(double) * n * n);
  double* tau = malloc(sizeof(double) * n);
  for (int i = 0; i < m * n; ++i) a0[i] = random_value(&seed);
  memcpy(q, a0, sizeof(double) * m * n);
  int failures = 0;

  const int info_qr = LAPACKE_dgeqrf(ZTR_COL_MAJOR, m, n, q, m, tau);
  /* R is the upper triangle of the factored matrix; keep it before Q overwrites it. */
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) rr[i + j * n] = i <= j ? q[i + j * m] : 0.0;
  const int info_q = LAPACKE_dorgqr(ZTR_COL_MAJOR, m, n, n, q, m, tau);

  double res = 0, anorm = 0, orth = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      double s = 0;
      for (int p = 0; p <= j; ++p) s += q[i + p * m] * rr[p + j * n];
      res = fmax(res, fabs(a0[i + j * m] - s));
      anorm = fmax(anorm, fabs(a0[i + j * m]));
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      double s = i == j ? -1.0 : 0.0;
      for (int p = 0; p < m; ++p) s += q[p + i * m] * q[p + j * m];
      orth = fmax(orth, fabs(s));
    }
  const double res_ratio = res / (anorm * m * DBL_EPSILON);
  const double orth_ratio = orth / (m * DBL_EPSILON);
  printf("LAPACKE_dgeqrf  %dx%d, info %d, max|A - QR| / (max|A| m eps) below 10: %s\n", m, n,
         info_qr, info_qr == 0 && res_ratio < 10 ? "pass" : "FAIL");
  printf("LAPACKE_dorgqr  info %d, max|Q'Q - I| / (m eps) below 10: %s\n", info_q,
         info_q == 0 && orth_ratio < 10 ? "pass" : "FAIL");
  failures += !(info_qr == 0 && res_ratio < 10) + !(info_q == 0 && orth_ratio < 10);

  free(a0);
  free(q);
  free(rr);
  free(tau);
  return failures == 0 ? 0 : 1;
}
