/* A C program that declares the multiply as a Fortran caller sees it (with the hidden
 * lengths of the two character arguments) and as the standard C interface declares it (with
 * enumerations), without the library's header: both must link and compute. */
#include <stddef.h>
#include <stdio.h>

enum Order { RowMajor = 101, ColMajor = 102 };
enum Transpose { NoTrans = 111, Trans = 112, ConjTrans = 113 };

void DGEMM(const char* transa, const char* transb, const int* m, const int* n, const int* k,
           const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
           const double* beta, double* c, const int* ldc, size_t transa_len, size_t transb_len);
void cblas_dgemm(enum Order order, enum Transpose ta, enum Transpose tb, const int m, const int n,
                 const int k, const double alpha, const double* a, const int lda, const double* b,
                 const int ldb, const double beta, double* c, const int ldc);

int main(void) {
  /* A = [1 2; 3 4] (column-major), B = I: C = A' with 'T'. */
  const double a[4] = {1, 3, 2, 4}, b[4] = {1, 0, 0, 1};
  double c[4] = {0, 0, 0, 0};
  const int two = 2;
  const double one = 1.0, zero = 0.0;
  DGEMM("TRANSPOSE", "N", &two, &two, &two, &one, a, &two, b, &two, &zero, c, &two, 9, 1);
  if (c[0] != 1 || c[1] != 2 || c[2] != 3 || c[3] != 4) return 1;
  double d[4] = {0, 0, 0, 0};
  /* Row-major: the same array read by rows is A'; A' * I. */
  cblas_dgemm(RowMajor, NoTrans, NoTrans, 2, 2, 2, 1.0, a, 2, b, 2, 0.0, d, 2);
  if (d[0] != 1 || d[1] != 3 || d[2] != 2 || d[3] != 4) return 2;
  printf("fortran and cblas callers ok\n");
  return 0;
}
