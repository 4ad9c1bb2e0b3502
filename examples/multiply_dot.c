/* Matrix multiply and dot product: DGEMM (Fortran style, every argument by address),
 * cblas_dgemm (C style, row-major here) and cblas_ddot, each checked against a plain loop.
 * A product computed in any order differs from the loop by at most k*eps*(|A||B|) per entry
 * (k the inner dimension), so that is the bound each result must meet. */
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <ztr.h>

static double random_value(unsigned* state) {
  *state = *state * 1664525u + 1013904223u;
  return (double)(*state >> 8) / (double)(1u << 24) * 2.0 - 1.0;
}

/* Largest |C - reference| measured against k*eps*(|A||B|) entry by entry; layouts given by
 * element strides so both column- and row-major matrices can be checked. */
static double product_error(int m, int n, int k, const double* a, int ars, int acs, const double* b,
                            int brs, int bcs, double alpha, const double* c0, double beta,
                            const double* c, int crs, int ccs) {
  double worst = 0;
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) {
      double exact = 0, size = fabs(beta * c0[i * crs + j * ccs]);
      for (int p = 0; p < k; ++p) {
        exact += a[i * ars + p * acs] * b[p * brs + j * bcs];
        size += fabs(alpha * a[i * ars + p * acs] * b[p * brs + j * bcs]);
      }
      exact = alpha * exact + beta * c0[i * crs + j * ccs];
      const double err = fabs(c[i * crs + j * ccs] - exact) / ((k + 2) * DBL_EPSILON * size);
      if (err > worst) worst = err;
    }
  return worst;
}

int main(void) {
  const int m = 70, n = 50, k = 90;
  unsigned seed = 1;
  double *a = malloc(sizeof(double) * m * k), *b = malloc(sizeof(double) * k * n);
  double *c0 = malloc(sizeof(double) * m * n), *c = malloc(sizeof(double) * m * n);
  for (int i = 0; i < m * k; ++i) a[i] = random_value(&seed);
  for (int i = 0; i < k * n; ++i) b[i] = random_value(&seed);
  for (int i = 0; i < m * n; ++i) c0[i] = c[i] = random_value(&seed);
  int failures = 0;

  /* C := 2*A*B - C, all column-major: A is m x k with leading dimension m. */
  const double alpha = 2.0, beta = -1.0;
  DGEMM("N", "N", &m, &n, &k, &alpha, a, &m, b, &k, &beta, c, &m);
  double e = product_error(m, n, k, a, 1, m, b, 1, k, alpha, c0, beta, c, 1, m);
  printf("DGEMM        C = 2AB - C, %dx%dx%d, error within the rounding bound: %s\n", m, n, k,
         e < 1 ? "pass" : "FAIL");
  failures += e >= 1;

  /* The same product row-major through the C interface: A is m x k with lda = k. */
  for (int i = 0; i < m * n; ++i) c[i] = c0[i];
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, m, n, k, alpha, a, k, b, n, beta, c, n);
  e = product_error(m, n, k, a, k, 1, b, n, 1, alpha, c0, beta, c, n, 1);
  printf("cblas_dgemm  row-major, error within the rounding bound: %s\n", e < 1 ? "pass" : "FAIL");
  failures += e >= 1;

  /* A dot product with a stride: every second element of a against b. */
  const int len = k / 2;
  double exact = 0, size = 0;
  for (int i = 0; i < len; ++i) {
    exact += a[2 * i] * b[i];
    size += fabs(a[2 * i] * b[i]);
  }
  const double dot = cblas_ddot(len, a, 2, b, 1);
  const int dot_ok = fabs(dot - exact) <= len * DBL_EPSILON * size;
  printf("cblas_ddot   strided, error within the rounding bound: %s\n", dot_ok ? "pass" : "FAIL");
  failures += !dot_ok;

  free(a);
  free(b);
  free(c0);
  free(c);
  return failures == 0 ? 0 : 1;
}
