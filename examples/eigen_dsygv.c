/* The generalized symmetric-definite eigenproblem A*x = lambda*B*x with LAPACKE_dsygv
 * (QL/QR iteration) and LAPACKE_dsygvd (divide and conquer).  Checked by the residual
 * ||A*X - B*X*diag(w)|| and the B-orthonormality X'*B*X = I; both drivers must agree. */
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

/* Residual and B-orthonormality of the eigenvectors x (columns) relative to n eps. */
static void judge(int n, const double* a, const double* b, const double* x, const double* w,
                  double* res, double* orth) {
  *res = *orth = 0;
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < n; ++i) {
      double s = 0;
      for (int p = 0; p < n; ++p) s += (a[i + p * n] - w[k] * b[i + p * n]) * x[p + k * n];
      *res = fmax(*res, fabs(s) / (n * DBL_EPSILON * (1 + fabs(w[k]))));
    }
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j) {
      double s = j == k ? -1.0 : 0.0;
      for (int i = 0; i < n; ++i) {
        double bx = 0;
        for (int p = 0; p < n; ++p) bx += b[i + p * n] * x[p + k * n];
        s += x[i + j * n] * bx;
      }
      *orth = fmax(*orth, fabs(s) / (n * DBL_EPSILON));
    }
}

int main(void) {
  const int n = 60;
  unsigned seed = 17;
  double* a0 = malloc(sizeof(double) * n * n);
  double* b0 = malloc(sizeof(double) * n * n);
  double* x = malloc(sizeof(double) * n * n);
  double* bw = malloc(sizeof(double) * n * n);
  double* w1 = malloc(sizeof(double) * n);
  double* w2 = malloc(sizeof(double) * n);
  /* A symmetric; B = I*n + a small symmetric perturbation, well conditioned and definite. */
  for (int j = 0; j < n; ++j)
    for (int i = 0; i <= j; ++i) {
      a0[i + j * n] = a0[j + i * n] = random_value(&seed);
      b0[i + j * n] = b0[j + i * n] = (i == j ? 2.0 : 0.0) + 0.5 * random_value(&seed) / n;
    }
  int failures = 0;
  double res, orth;

  memcpy(x, a0, sizeof(double) * n * n);
  memcpy(bw, b0, sizeof(double) * n * n);
  int info = LAPACKE_dsygv(ZTR_COL_MAJOR, 1, 'V', 'U', n, x, n, bw, n, w1);
  judge(n, a0, b0, x, w1, &res, &orth);
  int ok = info == 0 && res < 10 && orth < 10;
  printf("LAPACKE_dsygv   n %d, info %d, residual and X'BX = I within n eps bounds: %s\n", n, info,
         ok ? "pass" : "FAIL");
  failures += !ok;

  memcpy(x, a0, sizeof(double) * n * n);
  memcpy(bw, b0, sizeof(double) * n * n);
  info = LAPACKE_dsygvd(ZTR_COL_MAJOR, 1, 'V', 'U', n, x, n, bw, n, w2);
  judge(n, a0, b0, x, w2, &res, &orth);
  double diff = 0, wmax = 0;
  for (int k = 0; k < n; ++k) {
    diff = fmax(diff, fabs(w1[k] - w2[k]));
    wmax = fmax(wmax, fabs(w1[k]));
  }
  ok = info == 0 && res < 10 && orth < 10 && diff <= 10 * n * DBL_EPSILON * wmax;
  printf("LAPACKE_dsygvd  info %d, residuals within bounds and eigenvalues agree with dsygv: %s\n",
         info, ok ? "pass" : "FAIL");
  failures += !ok;

  /* B not positive definite: the leading minor of order 1 fails, reported as n + 1. */
  memcpy(x, a0, sizeof(double) * n * n);
  memcpy(bw, b0, sizeof(double) * n * n);
  bw[0] = -1.0;
  info = LAPACKE_dsygv(ZTR_COL_MAJOR, 1, 'N', 'U', n, x, n, bw, n, w1);
  printf("LAPACKE_dsygv   indefinite B reports info n + 1 = %d: %s\n", n + 1,
         info == n + 1 ? "pass" : "FAIL");
  failures += info != n + 1;

  free(a0);
  free(b0);
  free(x);
  free(bw);
  free(w1);
  free(w2);
  return failures == 0 ? 0 : 1;
}
